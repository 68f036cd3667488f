// The trackbar, driven by QTest mouse and key input on a shown control. With the built-in
// pictures a 400-pixel control has its track from x = 11 (the start mark's width) over 378
// pixels.

#include "controls/MrvTrackbar.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

namespace {

class TrackbarTest : public ::testing::Test {
protected:
    void SetUp() override {
        bar.resize(400, 40);
        bar.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
        Record();
    }

    // Every event of the control goes into `events` as its name.
    void Record() {
        const auto note = [this](const char* name) {
            return [this, name](TMrvTrackbar*) { events.push_back(name); };
        };
        bar.OnTickChange = note("TickChange");
        bar.OnChange = note("Change");
        bar.OnStartChange = note("StartChange");
        bar.OnEndChange = note("EndChange");
        bar.OnTickMouseDown = note("TickMouseDown");
        bar.OnTickMouseUp = note("TickMouseUp");
        bar.OnSegStartMouseDown = note("SegStartMouseDown");
        bar.OnSegStartMouseUp = note("SegStartMouseUp");
        bar.OnSegendMouseDown = note("SegEndMouseDown");
        bar.OnSegEndMouseUp = note("SegEndMouseUp");
        bar.OnMouseDown = [this](TMrvTrackbar*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
            events.push_back("MouseDown");
        };
        bar.OnMouseUp = [this](TMrvTrackbar* sender, Qt::MouseButton, Qt::KeyboardModifiers, int,
                               int) {
            events.push_back("MouseUp at " + std::to_string(sender->Position()));
        };
    }
    // Paints now: hit tests use the places last painted.
    void Paint() { bar.repaint(); }
    void Press(int x, int y = 25) {
        Paint();
        QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(x, y));
    }
    void Move(int x, int y = 25) { QTest::mouseMove(&bar, QPoint(x, y)); }
    void Release(int x, int y = 25) { QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(x, y)); }
    std::vector<std::string> Take() { return std::exchange(events, {}); }
    QColor ColourAt(const QPoint& at) {
        return bar.grab().toImage().pixelColor(at * bar.devicePixelRatioF());
    }

    TMrvTrackbar bar;
    std::vector<std::string> events;
};

using Events = std::vector<std::string>;

} // namespace

TEST_F(TrackbarTest, DefaultsAndLayout) {
    TMrvTrackbar fresh;
    EXPECT_EQ(fresh.size(), QSize(400, 40));
    EXPECT_EQ(fresh.Min(), 0);
    EXPECT_EQ(fresh.Max(), 100);
    EXPECT_EQ(fresh.SegEndPos(), 100);
    EXPECT_TRUE(fresh.ShowTick() && fresh.ShowSegment() && fresh.ShowCut());
    EXPECT_EQ(fresh.BGColor(), 0xFFFFFFu);
    EXPECT_EQ(fresh.LeftBrushColor(), 0x653DF72Du);
    EXPECT_EQ(fresh.RightBrushColor(), 0x65F5BCDAu);
    EXPECT_EQ(fresh.StartCutTransparency(), 0xE7E7E7u);
    EXPECT_EQ(fresh.TickOffsetY, 20);
    const std::pair<TMrvTrackbar::TPicture, QSize> sizes[] = {
        {TMrvTrackbar::pTickUp, {10, 17}},     {TMrvTrackbar::pTickDisable, {11, 18}},
        {TMrvTrackbar::pTrack, {120, 7}},      {TMrvTrackbar::pSegmentStart, {11, 19}},
        {TMrvTrackbar::pSegmentEnd, {11, 19}}, {TMrvTrackbar::pStartCut, {11, 9}},
        {TMrvTrackbar::pEndCut, {11, 9}},
    };
    for (const auto& [picture, size] : sizes)
        EXPECT_EQ(fresh.Picture(picture).deviceIndependentSize().toSize(), size) << picture;
    EXPECT_TRUE(fresh.Picture(TMrvTrackbar::pBGImage).isNull());

    EXPECT_EQ(bar.TrackOffsetX(), 11);
    EXPECT_EQ(bar.TrackRect(), QRect(11, 20, 378, 7));
    EXPECT_EQ(bar.TickX(), 16) << "track left + half the thumb";
    bar.SetMarginOffsetX(5);
    EXPECT_EQ(bar.TrackRect(), QRect(16, 20, 368, 7));
}

// pixel(v) = (v − Min) × usable ÷ span + left, value(x) the other way, both rounded half to even.
TEST_F(TrackbarTest, ValuesMapToPixelsAndBackWithTiesToEven) {
    struct Case {
        int64_t Min, Max;
        int LeftDead, RightDead;
        int64_t Value;
        int Pixel;
    };
    const Case toPixel[] = {
        {0, 756, 0, 0, 0, 11},    {0, 756, 0, 0, 1, 12}, // 11.5 → 12
        {0, 756, 0, 0, 3, 12},    {0, 756, 0, 0, 5, 14}, // 12.5 → 12, 13.5 → 14
        {0, 756, 0, 0, 756, 389}, {-378, 378, 0, 0, 0, 200},
        {0, 720, 10, 8, 1, 22}, // (1 × 360 ÷ 720) + 21 = 21.5 → 22
        {0, 720, 10, 8, 3, 22}, // 22.5 → 22
        {0, 0, 0, 0, 5, 11},    // no span: the track's start
    };
    for (const Case& c : toPixel) {
        bar.SetMax(c.Max);
        bar.SetMin(c.Min);
        bar.TrackLeftOffset = c.LeftDead;
        bar.TrackRightOffset = c.RightDead;
        EXPECT_EQ(bar.PixelOf(c.Value), c.Pixel) << c.Min << ".." << c.Max << " v=" << c.Value;
    }
    const Case toValue[] = {
        {0, 189, 0, 0, 0, 12}, // 0.5 → 0
        {0, 189, 0, 0, 2, 14}, // 1.5 → 2
        {0, 189, 0, 0, 2, 16}, // 2.5 → 2
        {0, 378, 0, 0, 378, 389},  {100, 478, 0, 0, 100, 11},
        {0, 1000000, 0, 0, 0, 10}, // left of the track: below Min, unclamped
        {0, 0, 0, 0, 0, 200},      // no span: Min
    };
    for (const Case& c : toValue) {
        bar.SetMin(c.Min);
        bar.SetMax(c.Max);
        bar.TrackLeftOffset = c.LeftDead;
        bar.TrackRightOffset = c.RightDead;
        const int64_t expected = c.Pixel == 10 ? -2646 : c.Value;
        EXPECT_EQ(bar.ValueOf(c.Pixel), expected) << c.Min << ".." << c.Max << " x=" << c.Pixel;
    }
}

TEST_F(TrackbarTest, PositionIsClampedIntoTheRangeAndWhileShownTheSegment) {
    bar.SetMax(1000);
    bar.SetSegEndPos(600);
    bar.SetSegStartPos(200);
    struct Case {
        bool Segment;
        int64_t Asked, Stored;
    };
    const Case cases[] = {
        {true, 100, 200}, {true, 700, 600}, {true, 400, 400}, {true, -5, 200}, {true, 5000, 600}};
    for (const Case& c : cases) {
        bar.SetPosition(c.Asked);
        EXPECT_EQ(bar.Position(), c.Stored) << c.Asked;
    }
    // Without the segment shown every value of [Min, Max] is taken (the setter for the
    // look resets the segment; a narrower one set afterwards is not a limit either).
    bar.SetShowSegment(false);
    EXPECT_EQ(bar.SegStartPos(), 0);
    EXPECT_EQ(bar.SegEndPos(), 1000);
    bar.SetSegEndPos(600);
    for (const Case& c : {Case{false, 900, 900}, Case{false, 5000, 1000}, Case{false, -1, 0}}) {
        bar.SetPosition(c.Asked);
        EXPECT_EQ(bar.Position(), c.Stored) << c.Asked;
    }
}

TEST_F(TrackbarTest, SettersAndTheirEvents) {
    bar.SetMax(1000);
    bar.SetShowSegment(true); // the segment over the whole new range
    Take();
    bar.SetPosition(500);
    bar.SetPosition(500);
    EXPECT_EQ(Take(), (Events{"TickChange", "TickChange"})) << "also when unchanged";
    EXPECT_EQ(bar.TickX(), bar.PixelOf(500));

    bar.SetSegEndPos(300); // below Position: Position follows with its event
    EXPECT_EQ(bar.Position(), 300);
    EXPECT_EQ(Take(), (Events{"TickChange"}));
    bar.SetSegStartPos(800); // above the end: stored as the end
    EXPECT_EQ(bar.SegStartPos(), 300);
    bar.SetSegEndPos(100); // below the start: stored as the start
    EXPECT_EQ(bar.SegEndPos(), 300);
    Take();
    bar.SetSegStartPos(100);
    EXPECT_TRUE(Take().empty()) << "segment setters fire no event of their own";

    bar.SetShowSegment(true);
    EXPECT_EQ(bar.SegStartPos(), 0);
    EXPECT_EQ(bar.SegEndPos(), 1000);

    bar.SetPosition(700);
    Take();
    bar.SetMax(400);
    EXPECT_EQ(bar.Position(), 700) << "lowering Max leaves Position until it is assigned";
    bar.SetMin(900);
    EXPECT_EQ(bar.Position(), 900) << "raising Min moves Position silently";
    EXPECT_TRUE(Take().empty());
}

TEST_F(TrackbarTest, ThumbPressAndReleaseWithoutMovingLeavesThePosition) {
    bar.SetMax(378);
    bar.SetShowSegment(false);
    bar.SetPosition(189);
    Take();
    const int x = bar.TickX();
    Press(x + 2);
    EXPECT_EQ(bar.TickX(), x + 2) << "the thumb centres under the pointer";
    Release(x + 2);
    EXPECT_EQ(Take(), (Events{"MouseDown", "TickMouseDown", "MouseUp at 189", "TickMouseUp"}));
    EXPECT_EQ(bar.Position(), 189);
}

TEST_F(TrackbarTest, DraggingTheThumbMovesThePositionAtEveryMove) {
    bar.SetMax(378);
    bar.SetShowSegment(false);
    bar.SetPosition(100);
    Take();
    Press(bar.TickX());
    Move(200);
    Move(600); // beyond the track: its end
    Release(600);
    EXPECT_EQ(Take(), (Events{"MouseDown", "TickMouseDown", "TickChange", "Change", "TickChange",
                              "Change", "MouseUp at 378", "TickMouseUp"}));
    EXPECT_EQ(bar.Position(), 378);
    EXPECT_EQ(bar.TickX(), 389);

    // Inside the segment, dead zones included.
    bar.TrackLeftOffset = 4;
    bar.SetShowSegment(true);
    bar.SetSegStartPos(100);
    bar.SetSegEndPos(200);
    bar.SetPosition(150);
    Press(bar.TickX());
    Move(0);
    EXPECT_EQ(bar.Position(), 100);
    Move(399);
    EXPECT_EQ(bar.Position(), 200);
    Release(399);
}

// A press on the bare track seeks on release; OnMouseUp still sees the old position.
TEST_F(TrackbarTest, ATrackClickSeeksOnRelease) {
    bar.SetMax(378);
    bar.SetShowSegment(false);
    bar.SetPosition(0);
    Take();
    Press(300, 22);
    EXPECT_EQ(bar.Position(), 0) << "nothing on the press";
    Move(310, 22);
    Release(250, 35); // elsewhere: the thumb goes to the release x
    EXPECT_EQ(Take(), (Events{"MouseDown", "Change", "MouseUp at 0", "TickChange"}));
    EXPECT_EQ(bar.Position(), 239);
    // Outside the track and the thumb: nothing.
    Press(300, 5);
    Release(300, 5);
    EXPECT_EQ(Take(), (Events{"MouseDown", "MouseUp at 239"}));
}

TEST_F(TrackbarTest, DraggingTheMarksPushesTheThumbWithoutItsEvent) {
    bar.SetMax(378);
    bar.SetPosition(100);
    bar.SetSegStartPos(50);
    bar.SetSegEndPos(300);
    Take();
    const QRect start = (Paint(), bar.SegStartRect());
    Press(start.center().x(), start.center().y());
    Move(start.center().x() + 120, start.center().y());
    Release(start.center().x() + 120, start.center().y());
    const Events startDrag = Take();
    ASSERT_GE(startDrag.size(), 3u);
    EXPECT_EQ(startDrag[1], "SegStartMouseDown");
    EXPECT_EQ(startDrag[2], "StartChange");
    EXPECT_EQ(startDrag.back(), "SegStartMouseUp");
    EXPECT_EQ(std::count(startDrag.begin(), startDrag.end(), "TickChange"), 0);
    EXPECT_EQ(bar.SegStartPos(), bar.ValueOf(bar.SegStartX()));
    EXPECT_GT(bar.Position(), 100) << "pushed along";
    EXPECT_EQ(bar.Position(), bar.SegStartPos());

    const QRect end = (Paint(), bar.SegEndRect());
    Press(end.center().x(), end.center().y());
    Move(0, end.center().y()); // past the start: stops there
    Release(0, end.center().y());
    const Events endDrag = Take();
    EXPECT_EQ(endDrag[1], "SegEndMouseDown");
    EXPECT_EQ(endDrag[2], "EndChange");
    EXPECT_EQ(endDrag.back(), "SegEndMouseUp");
    EXPECT_EQ(bar.SegEndPos(), bar.SegStartPos());
    EXPECT_EQ(bar.Position(), bar.SegStartPos());
}

TEST_F(TrackbarTest, HoverLooksAndTheThumbAtRest) {
    bar.SetMax(378);
    bar.SetShowSegment(false);
    bar.SetPosition(189);
    Paint();
    const QPoint centre(bar.TickX(), bar.TickOffsetY + 8);
    const QImage up = bar.Picture(TMrvTrackbar::pTickUp);
    const QImage hot = bar.Picture(TMrvTrackbar::pTickHot);
    const QPoint inPicture = QPoint(up.width() / 2, int(8 * up.devicePixelRatio()));
    EXPECT_EQ(ColourAt(centre), up.pixelColor(inPicture));
    Move(centre.x(), centre.y());
    EXPECT_EQ(ColourAt(centre), hot.pixelColor(inPicture)) << "hovered";
    Move(30, 5);
    EXPECT_EQ(ColourAt(centre), up.pixelColor(inPicture)) << "idle again";
    Press(centre.x(), centre.y());
    EXPECT_EQ(ColourAt(centre), bar.Picture(TMrvTrackbar::pTickDown).pixelColor(inPicture));
    Release(centre.x(), centre.y());
}

// What a caller assigns replaces the built-in picture; its colour key is not drawn.
TEST_F(TrackbarTest, AssignedPicturesAndTheirColourKeys) {
    QImage thumb(10, 17, QImage::Format_RGB32);
    thumb.fill(Qt::red);
    thumb.setPixelColor(0, 0, QColor(1, 2, 3));
    bar.SetTickTransparency(0x030201); // 0x00BBGGRR
    bar.SetPicture(TMrvTrackbar::pTickUp, thumb);
    bar.SetBGColor(0x00FF0000); // blue
    bar.TickOffsetY = 0;        // above the track: the background shows through the key
    bar.SetShowSegment(false);
    bar.SetPosition(50);
    Paint();
    const QRect tick = bar.TickRect();
    EXPECT_EQ(ColourAt(tick.topLeft()), QColor(Qt::blue)) << "the key shows the background";
    EXPECT_EQ(ColourAt(tick.topLeft() + QPoint(3, 3)), QColor(Qt::red));
    bar.SetPicture(TMrvTrackbar::pTickUp, QImage());
    EXPECT_NE(bar.Picture(TMrvTrackbar::pTickUp).pixelColor(5, 5), QColor(Qt::red))
        << "an empty picture gives the built-in back";

    // The shading left of the segment is translucent over the track.
    bar.SetShowSegment(true);
    bar.SetSegStartPos(60);
    Paint();
    const QColor shaded = ColourAt(QPoint(bar.TrackRect().left() + 20, bar.TrackRect().top() + 3));
    EXPECT_GT(shaded.green(), shaded.red());
    EXPECT_LT(shaded.green(), 0xF7) << "not opaque";
}

TEST_F(TrackbarTest, ArrowKeysStayWithTheControl) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* before = new QLineEdit(&window);
    auto* trackbar = new TMrvTrackbar(&window);
    auto* after = new QLineEdit(&window);
    layout->addWidget(before);
    layout->addWidget(trackbar);
    layout->addWidget(after);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    std::vector<int> keys;
    trackbar->OnKeyDown = [&](TMrvTrackbar*, int key, Qt::KeyboardModifiers) {
        keys.push_back(key);
    };
    trackbar->SetPosition(40);
    QTest::mouseClick(trackbar, Qt::RightButton, {}, QPoint(200, 5)); // a press gives focus
    ASSERT_TRUE(trackbar->hasFocus());
    for (const Qt::Key key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down})
        QTest::keyClick(trackbar, key);
    EXPECT_TRUE(trackbar->hasFocus());
    EXPECT_EQ(trackbar->Position(), 40);
    EXPECT_EQ(keys, (std::vector<int>{Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down}));
}

// The control drawn at the screen's density (run with QT_SCALE_FACTOR=2 to see the double
// one; REELCASTER_SCREENSHOT_DIR keeps the picture).
TEST_F(TrackbarTest, ComposedAtTheScreensDensity) {
    bar.SetBGColor(0x00362F2A);
    bar.SetMax(1000);
    bar.SetSegStartPos(200);
    bar.SetSegEndPos(750);
    bar.SetPosition(450);
    Paint();
    const QImage shot = bar.grab().toImage();
    const qreal density = bar.devicePixelRatioF();
    EXPECT_EQ(shot.size(), (QSizeF(400, 40) * density).toSize());
    const QImage thumb = bar.Picture(TMrvTrackbar::pTickUp);
    EXPECT_EQ(thumb.devicePixelRatio(), density >= 1.5 ? 2.0 : 1.0);
    const QPoint inThumb(thumb.width() / 2, thumb.height() / 3);
    EXPECT_EQ(shot.pixelColor(bar.TickRect().topLeft() * density + inThumb),
              thumb.pixelColor(inThumb))
        << "the thumb at its own resolution";
    const QByteArray folder = qgetenv("REELCASTER_SCREENSHOT_DIR");
    if (!folder.isEmpty())
        shot.save(
            QStringLiteral("%1/trackbar@%2x.png").arg(QString::fromLocal8Bit(folder)).arg(density));
}
