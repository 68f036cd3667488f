#include "controls/AreaEditor.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int kGrabZone = 5; // pixels around corners and edge middles

} // namespace

TAreaEditor::TAreaEditor(QWidget* parent) : QWidget(parent) {
    resize(105, 105);
    setMinimumSize(10, 10);
    setMouseTracking(true); // the pointer shape follows the part under it, pressed or not
    setCursor(Qt::SizeAllCursor);
}

void TAreaEditor::SetArea(const QRect& area) {
    AreaLeft = area.left();
    AreaTop = area.top();
    AreaRight = area.left() + area.width();
    AreaBottom = area.top() + area.height();
}

TAreaEditor::TGrabbedPart TAreaEditor::PartAt(int x, int y, int width, int height) {
    const bool left = x <= kGrabZone;
    const bool right = x >= width - kGrabZone;
    const bool top = y <= kGrabZone;
    const bool bottom = y >= height - kGrabZone;
    const bool middleY = std::abs(y - height / 2) <= kGrabZone;
    const bool middleX = std::abs(x - width / 2) <= kGrabZone;
    if (left && top)
        return gpTopLeft;
    if (left && bottom)
        return gpBottomLeft;
    if (left && middleY)
        return gpLeft;
    if (right && top)
        return gpTopRight;
    if (right && bottom)
        return gpBottomRight;
    if (right && middleY)
        return gpRight;
    if (top && middleX)
        return gpTop;
    if (bottom && middleX)
        return gpBottom;
    return gpBody;
}

Qt::CursorShape TAreaEditor::CursorOf(TGrabbedPart part) {
    switch (part) {
    case gpTopLeft:
    case gpBottomRight: return Qt::SizeFDiagCursor;
    case gpBottomLeft:
    case gpTopRight: return Qt::SizeBDiagCursor;
    case gpLeft:
    case gpRight: return Qt::SizeHorCursor;
    case gpTop:
    case gpBottom: return Qt::SizeVerCursor;
    case gpBody: break;
    }
    return Qt::SizeAllCursor;
}

// --- Dragging ----------------------------------------------------------------------------------

void TAreaEditor::DragLeft(int dx, QRect& bounds) const {
    const int right = bounds.left() + bounds.width(); // stays
    int left = std::max(FPressBounds.left() + dx, AreaLeft);
    left = std::min(left, right - MinimumSide());
    bounds.setLeft(left);
    bounds.setWidth(right - left);
}

void TAreaEditor::DragRight(int dx, QRect& bounds) const {
    int width = std::min(FPressBounds.width() + dx, AreaRight - FPressBounds.left());
    bounds.setWidth(std::max(width, MinimumSide()));
}

void TAreaEditor::DragTop(int dy, QRect& bounds) const {
    const int bottom = bounds.top() + bounds.height(); // stays
    int top = std::max(FPressBounds.top() + dy, AreaTop);
    top = std::min(top, AreaBottom - 2 * BorderFrameSize - 2);
    top = std::min(top, bottom - MinimumSide());
    bounds.setTop(top);
    bounds.setHeight(bottom - top);
}

void TAreaEditor::DragBottom(int dy, QRect& bounds) const {
    int height = std::min(FPressBounds.height() + dy, AreaBottom - FPressBounds.top());
    bounds.setHeight(std::max(height, MinimumSide()));
}

void TAreaEditor::Drag(const QPoint& screenPosition) {
    // Screen coordinates: the control itself moves under the pointer while it is dragged.
    const int dx = screenPosition.x() - FPressScreen.x();
    const int dy = screenPosition.y() - FPressScreen.y();
    QRect bounds = geometry();
    const TGrabbedPart part = Resizable ? FPart : gpBody;
    switch (part) {
    case gpLeft: DragLeft(dx, bounds); break;
    case gpRight: DragRight(dx, bounds); break;
    case gpTop: DragTop(dy, bounds); break;
    case gpBottom: DragBottom(dy, bounds); break;
    case gpTopLeft:
        DragLeft(dx, bounds);
        DragTop(dy, bounds);
        break;
    case gpTopRight:
        DragRight(dx, bounds);
        DragTop(dy, bounds);
        break;
    case gpBottomLeft:
        DragLeft(dx, bounds);
        DragBottom(dy, bounds);
        break;
    case gpBottomRight:
        DragRight(dx, bounds);
        DragBottom(dy, bounds);
        break;
    case gpBody: {
        int left = FPressBounds.left() + dx;
        if (left < AreaLeft)
            left = AreaLeft;
        else if (left + bounds.width() > AreaRight)
            left = AreaRight - bounds.width();
        int top = FPressBounds.top() + dy;
        if (top < AreaTop)
            top = AreaTop;
        else if (top + bounds.height() > AreaBottom)
            top = AreaBottom - bounds.height();
        bounds.moveTo(left, top);
        break;
    }
    }
    if (bounds != geometry())
        setGeometry(bounds);
}

// --- Events ------------------------------------------------------------------------------------

void TAreaEditor::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (OnMouseDown)
        OnMouseDown(this, event->button(), event->modifiers(), at.x(), at.y());
    if (event->button() != Qt::LeftButton)
        return;
    FPressScreen = event->globalPosition().toPoint();
    FPressBounds = geometry();
    FPart = PartAt(at.x(), at.y(), width(), height());
    FDragging = true;
}

void TAreaEditor::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (FDragging) {
        Drag(event->globalPosition().toPoint());
    } else {
        setCursor(Resizable ? CursorOf(PartAt(at.x(), at.y(), width(), height()))
                            : Qt::SizeAllCursor);
    }
    if (OnMouseMove)
        OnMouseMove(this, event->buttons() & Qt::LeftButton ? Qt::LeftButton : Qt::NoButton,
                    event->modifiers(), at.x(), at.y());
}

void TAreaEditor::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (OnMouseUp)
        OnMouseUp(this, event->button(), event->modifiers(), at.x(), at.y());
    if (event->button() == Qt::LeftButton)
        FDragging = false;
}

void TAreaEditor::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (OnResize)
        OnResize(this);
}

void TAreaEditor::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect outline(0, 0, width() - 1, height() - 1);
    // Black under white dots: the frame shows on dark and on light pictures alike.
    painter.setPen(QPen(Qt::black, 1, Qt::SolidLine));
    painter.drawRect(outline);
    painter.setPen(QPen(Qt::white, 1, Qt::DotLine));
    painter.drawRect(outline);
    if (!isEnabled())
        return;
    const int b = BorderFrameSize;
    const int side = 2 * b;
    const int w = width();
    const int h = height();
    const QPoint corners[] = {
        {0, 0},         {w - side, 0},         {0, h - side},  {w - side, h - side},
        {0, h / 2 - b}, {w - side, h / 2 - b}, {w / 2 - b, 0}, {w / 2 - b, h - side}};
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(Qt::black);
    for (const QPoint& corner : corners)
        painter.drawRect(QRect(corner, QSize(side - 1, side - 1)));
}
