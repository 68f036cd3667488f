// The area editor driven by mouse events with exact screen positions, on a shown parent.

#include "controls/AreaEditor.h"

#include "common/MouseDrag.h"

#include <gtest/gtest.h>

#include <QTest>

namespace {

class AreaEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        parent.resize(400, 300);
        parent.setStyleSheet(QStringLiteral("background: #808080;"));
        parent.setAutoFillBackground(true);
        frame.SetArea(QRect(10, 10, 300, 200)); // edges 10 … 310 × 10 … 210
        frame.setGeometry(50, 50, 100, 80);     // BorderFrameSize 4: the smallest side is 24
        parent.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    }

    void Send(QEvent::Type type, const QPoint& local, const QPoint& global, Qt::MouseButtons held) {
        SendMouse(&frame, type, local, global, held);
    }
    void Drag(const QPoint& at, const QPoint& by) { DragBy(&frame, at, by); }
    QPoint Where(TAreaEditor::TGrabbedPart part) const {
        const int w = frame.width(), h = frame.height();
        switch (part) {
        case TAreaEditor::gpTopLeft: return {1, 1};
        case TAreaEditor::gpBottomLeft: return {1, h - 1};
        case TAreaEditor::gpLeft: return {1, h / 2};
        case TAreaEditor::gpTopRight: return {w - 1, 1};
        case TAreaEditor::gpBottomRight: return {w - 1, h - 1};
        case TAreaEditor::gpRight: return {w - 1, h / 2};
        case TAreaEditor::gpTop: return {w / 2, 1};
        case TAreaEditor::gpBottom: return {w / 2, h - 1};
        case TAreaEditor::gpBody: break;
        }
        return {w / 2, h / 2};
    }

    QWidget parent;
    TAreaEditor frame{&parent};
};

} // namespace

TEST_F(AreaEditorTest, PressPositionsGrabThePartsOfTheTable) {
    using P = TAreaEditor;
    const struct {
        int x, y;
        TAreaEditor::TGrabbedPart part;
        Qt::CursorShape cursor;
    } cases[] = {
        {0, 0, P::gpTopLeft, Qt::SizeFDiagCursor},
        {5, 75, P::gpBottomLeft, Qt::SizeBDiagCursor},
        {0, 35, P::gpLeft, Qt::SizeHorCursor},
        {95, 5, P::gpTopRight, Qt::SizeBDiagCursor},
        {100, 80, P::gpBottomRight, Qt::SizeFDiagCursor},
        {99, 45, P::gpRight, Qt::SizeHorCursor},
        {45, 0, P::gpTop, Qt::SizeVerCursor},
        {55, 78, P::gpBottom, Qt::SizeVerCursor},
        {50, 40, P::gpBody, Qt::SizeAllCursor},
        // Edge bands outside the middle zone are the body; zones ignore BorderFrameSize.
        {0, 20, P::gpBody, Qt::SizeAllCursor},
        {30, 0, P::gpBody, Qt::SizeAllCursor},
        {6, 6, P::gpBody, Qt::SizeAllCursor},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TAreaEditor::PartAt(c.x, c.y, 100, 80), c.part) << c.x << "," << c.y;
        EXPECT_EQ(TAreaEditor::CursorOf(c.part), c.cursor) << c.x << "," << c.y;
    }
    // The pointer follows the part under it without a press.
    Send(QEvent::MouseMove, {0, 0}, frame.mapToGlobal(QPoint(0, 0)), Qt::NoButton);
    EXPECT_EQ(frame.cursor().shape(), Qt::SizeFDiagCursor);
    Send(QEvent::MouseMove, {50, 0}, frame.mapToGlobal(QPoint(50, 0)), Qt::NoButton);
    EXPECT_EQ(frame.cursor().shape(), Qt::SizeVerCursor);
}

TEST_F(AreaEditorTest, DragsMoveAndResizeInsideTheAreaAndAboveTheMinimum) {
    using P = TAreaEditor;
    const struct {
        const char* what;
        TAreaEditor::TGrabbedPart part;
        QPoint by;
        QRect bounds;
    } cases[] = {
        {"left edge outwards stops at the area", P::gpLeft, {-100, 0}, {10, 50, 140, 80}},
        {"left edge past the right edge", P::gpLeft, {200, 0}, {126, 50, 24, 80}},
        {"right edge outwards", P::gpRight, {300, 0}, {50, 50, 260, 80}},
        {"right edge past the left edge", P::gpRight, {-200, 0}, {50, 50, 24, 80}},
        {"top edge outwards", P::gpTop, {0, -100}, {50, 10, 100, 120}},
        {"top edge past the bottom edge", P::gpTop, {0, 200}, {50, 106, 100, 24}},
        {"bottom edge outwards", P::gpBottom, {0, 300}, {50, 50, 100, 160}},
        {"bottom edge past the top edge", P::gpBottom, {0, -300}, {50, 50, 100, 24}},
        {"top-left corner", P::gpTopLeft, {-100, -100}, {10, 10, 140, 120}},
        {"top-right corner", P::gpTopRight, {20, 10}, {50, 60, 120, 70}},
        {"bottom-left corner", P::gpBottomLeft, {10, 20}, {60, 50, 90, 100}},
        {"bottom-right corner", P::gpBottomRight, {500, 500}, {50, 50, 260, 160}},
        {"body by a little", P::gpBody, {7, -3}, {57, 47, 100, 80}},
        {"body past the right", P::gpBody, {500, 0}, {210, 50, 100, 80}},
        {"body past left and top", P::gpBody, {-500, -500}, {10, 10, 100, 80}},
        {"body past right and bottom", P::gpBody, {500, 500}, {210, 130, 100, 80}},
    };
    for (const auto& c : cases) {
        frame.setGeometry(50, 50, 100, 80);
        Drag(Where(c.part), c.by);
        EXPECT_EQ(frame.geometry(), c.bounds) << c.what;
        EXPECT_FALSE(frame.Dragging()) << c.what;
    }
}

TEST_F(AreaEditorTest, WithoutResizingEveryPartMoves) {
    frame.Resizable = false;
    for (const auto part : {TAreaEditor::gpTopLeft, TAreaEditor::gpRight, TAreaEditor::gpBottom}) {
        frame.setGeometry(50, 50, 100, 80);
        Drag(Where(part), {20, 20});
        EXPECT_EQ(frame.geometry(), QRect(70, 70, 100, 80)) << part;
    }
    // Nor does the pointer offer to resize.
    Send(QEvent::MouseMove, {0, 0}, frame.mapToGlobal(QPoint(0, 0)), Qt::NoButton);
    EXPECT_EQ(frame.cursor().shape(), Qt::SizeAllCursor);
}

TEST_F(AreaEditorTest, EventsComeInTheirOrder) {
    QStringList events;
    frame.OnMouseDown = [&](TAreaEditor* sender, Qt::MouseButton, Qt::KeyboardModifiers, int x,
                            int y) {
        events << QStringLiteral("down %1,%2 dragging=%3").arg(x).arg(y).arg(sender->Dragging());
    };
    frame.OnMouseMove = [&](TAreaEditor* sender, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
        events << QStringLiteral("move left=%1").arg(sender->x());
    };
    frame.OnMouseUp = [&](TAreaEditor* sender, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
        events << QStringLiteral("up dragging=%1").arg(sender->Dragging());
    };
    frame.OnResize = [&](TAreaEditor* sender) {
        events << QStringLiteral("resize %1").arg(sender->width());
    };
    Drag({50, 40}, {10, 0});
    // The press is told before the drag starts, the move after the bounds changed.
    EXPECT_EQ(events, QStringList({"down 50,40 dragging=0", "move left=60", "up dragging=1"}));
    events.clear();
    Drag(Where(TAreaEditor::gpRight), {-20, 0});
    EXPECT_EQ(events.mid(1, 2), QStringList({"resize 80", "move left=60"}));
}

TEST_F(AreaEditorTest, HandlesShowOnlyWhileEnabledTheFrameAlways) {
    const auto grabbed = [this] {
        QTest::qWait(0);
        return frame.grab().toImage();
    };
    const QImage enabled = grabbed();
    frame.setEnabled(false);
    const QImage disabled = grabbed();
    const qreal density = enabled.devicePixelRatio();
    const auto at = [density](const QImage& picture, int x, int y) {
        return QColor(picture.pixel(int(x * density), int(y * density)));
    };
    // Inside the top-left handle (side 8): black fill; with the control disabled the picture
    // underneath.
    EXPECT_EQ(at(enabled, 3, 3), QColor(Qt::black));
    EXPECT_NE(at(disabled, 3, 3), QColor(Qt::black));
    EXPECT_NE(at(disabled, 3, 3), QColor(Qt::white));
    // The outline along the edge, between the handles, in both states.
    const QColor grey(0x80, 0x80, 0x80);
    for (const QImage* picture : {&enabled, &disabled}) {
        bool outlined = false;
        for (int x = 20; x < 30; ++x)
            outlined = outlined || at(*picture, x, 0) != grey;
        EXPECT_TRUE(outlined);
        EXPECT_EQ(at(*picture, 50, 40), grey) << "the middle shows what lies underneath";
    }
}
