#pragma once

// The application's horizontal slider: seek bar of every player, clip segment selector (a start
// and an end mark with the outside shaded), volume and placement slider. Values are 64-bit in
// the caller's units; the control maps them to pixels of its track and back (ties to even),
// keeps the thumb and the marks inside their ranges and tells every change through its events.
//
// Everything it shows comes from opaque pictures whose colour key is not drawn, plus a few
// translucent fills, composed in an off-screen buffer at the screen's density. The built-in
// pictures come in normal and double density; an assigned picture replaces one (an empty one
// gives the built-in back).
//
// Colours given as TColorRef are 0x00BBGGRR; the brush colours are raw 0xAARRGGBB whose alpha
// is used. The events are called on the GUI thread, the mouse events before the control's own
// handling of the same press, move or release.

#include <QColor>
#include <QImage>
#include <QWidget>

#include <cstdint>
#include <functional>

using TColorRef = quint32; // 0x00BBGGRR

inline TColorRef ColorRefOf(const QColor& colour) {
    return TColorRef(colour.red() | colour.green() << 8 | colour.blue() << 16);
}

class TMrvTrackbar : public QWidget {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(TMrvTrackbar* Sender)>;
    using TMouseEvent = std::function<void(TMrvTrackbar* Sender, Qt::MouseButton Button,
                                           Qt::KeyboardModifiers Shift, int X, int Y)>;
    using TKeyEvent =
        std::function<void(TMrvTrackbar* Sender, int Key, Qt::KeyboardModifiers Shift)>;

    // The pictures a caller may replace.
    enum TPicture {
        pTickUp,
        pTickDown,
        pTickHot,
        pTickDisable,
        pTrack,
        pSegmentStart,
        pSegmentEnd,
        pStartCut,
        pEndCut,
        pBGImage,
        kPictureCount
    };

    explicit TMrvTrackbar(QWidget* parent = nullptr);
    ~TMrvTrackbar() override;

    // --- Values -------------------------------------------------------------------------------
    int64_t Min() const { return FMin; }
    int64_t Max() const { return FMax; }
    int64_t Position() const { return FPosition; }
    int64_t SegStartPos() const { return FSegStartPos; }
    int64_t SegEndPos() const { return FSegEndPos; }
    void SetMin(int64_t value);      // pulls Position up silently
    void SetMax(int64_t value);      // stores only
    void SetPosition(int64_t value); // clamps, then OnTickChange (also when unchanged)
    void SetSegStartPos(int64_t value);
    void SetSegEndPos(int64_t value);

    // --- Looks --------------------------------------------------------------------------------
    bool ShowTick() const { return FShowTick; }
    void SetShowTick(bool show);
    bool ShowTickColor = true;
    bool ShowSegment() const { return FShowSegment; }
    void SetShowSegment(bool show); // resets the segment to [Min, Max]
    bool ShowCut() const { return FShowCut; }
    void SetShowCut(bool show);
    bool CanDragTick = true;
    bool UseBGImage = false;

    TColorRef BGColor() const { return FBGColor; }
    void SetBGColor(TColorRef color);
    quint32 LeftBrushColor() const { return FLeftBrush; }
    quint32 RightBrushColor() const { return FRightBrush; }
    quint32 TickBrushColor() const { return FTickBrush; }
    void SetLeftBrushColor(quint32 argb);
    void SetRightBrushColor(quint32 argb);
    void SetTickBrushColor(quint32 argb);

    // Colour keys of the pictures.
    TColorRef TickTransparency() const { return FKeys[kTickKey]; }
    TColorRef SegStartTransparency() const { return FKeys[kSegStartKey]; }
    TColorRef SegEndTransparency() const { return FKeys[kSegEndKey]; }
    TColorRef StartCutTransparency() const { return FKeys[kStartCutKey]; }
    TColorRef EndCutTransparency() const { return FKeys[kEndCutKey]; }
    void SetTickTransparency(TColorRef color);
    void SetSegStartTransparency(TColorRef color);
    void SetSegEndTransparency(TColorRef color);
    void SetStartCutTransparency(TColorRef color);
    void SetEndCutTransparency(TColorRef color);

    // --- Geometry (pixels) --------------------------------------------------------------------
    int TrackOffsetY() const { return FTrackOffsetY; }
    void SetTrackOffsetY(int y);
    int TickOffsetY = 20;
    int SegOffsetY = 20;
    int TrackOffsetX() const { return FTrackOffsetX; } // the start mark's width after a layout
    void SetTrackOffsetX(int x) { FTrackOffsetX = x; }
    int MarginOffsetX() const { return FMarginOffsetX; }
    void SetMarginOffsetX(int x);
    int TrackLeftOffset = 0; // dead zones at the track's ends, outside the value mapping
    int TrackRightOffset = 0;

    // --- Pictures -----------------------------------------------------------------------------
    // The picture in use (the built-in one unless replaced); BGImage may be empty.
    QImage Picture(TPicture which) const;
    void SetPicture(TPicture which, const QImage& picture);

    // --- Where things are (as last painted) -----------------------------------------------------
    QRect TickRect() const { return FTickRect; }
    QRect TrackRect() const;
    QRect SegStartRect() const { return FSegStartRect; }
    QRect SegEndRect() const { return FSegEndRect; }
    int TickX() const { return FTickX; }
    int SegStartX() const { return FSegStartX; }
    int SegEndX() const { return FSegEndX; }

    // The mapping between values and pixels of the track (rounded, ties to even).
    int PixelOf(int64_t value) const;
    int64_t ValueOf(int x) const;

    // --- Events -------------------------------------------------------------------------------
    TNotifyEvent OnTickChange;
    TNotifyEvent OnChange;
    TNotifyEvent OnStartChange;
    TNotifyEvent OnEndChange;
    TNotifyEvent OnTickMouseDown;
    TNotifyEvent OnTickMouseUp;
    TNotifyEvent OnSegStartMouseDown;
    TNotifyEvent OnSegStartMouseUp;
    TNotifyEvent OnSegendMouseDown;
    TNotifyEvent OnSegEndMouseUp;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseMove;
    TMouseEvent OnMouseUp;
    TNotifyEvent OnMouseLeave;
    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;

    QSize sizeHint() const override { return QSize(400, 40); }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    enum TKey { kTickKey, kSegStartKey, kSegEndKey, kStartCutKey, kEndCutKey, kKeyCount };
    enum class TLook { Idle, Pressed, Hot };
    enum class TDrag { None, Tick, SegStart, SegEnd, Track };

    // A picture as given, and the form it is drawn in: premultiplied, its key made clear.
    struct TSkinPicture {
        QImage Given;
        QImage Drawn;
        bool BuiltIn = true;
    };

    void Layout();
    void LoadBuiltInPictures();
    void PrepareForDrawing(TPicture which);
    TColorRef KeyOf(TPicture which) const;
    void SetKey(TKey key, TColorRef color);
    QSize LogicalSize(TPicture which) const;
    void Changed(const TNotifyEvent& event) {
        if (event)
            event(this);
    }
    void MoveTickTo(int x);
    void DragSegStartTo(int x);
    void DragSegEndTo(int x);
    void UpdateHoverLooks(const QPoint& at);
    void Compose();

    int64_t FMin = 0;
    int64_t FMax = 100;
    int64_t FPosition = 0;
    int64_t FSegStartPos = 0;
    int64_t FSegEndPos = 100;
    bool FShowTick = true;
    bool FShowSegment = true;
    bool FShowCut = true;
    TColorRef FBGColor = 0x00FFFFFF;
    quint32 FLeftBrush = 0x653DF72D;
    quint32 FRightBrush = 0x65F5BCDA;
    quint32 FTickBrush = 0x653DF72D;
    TColorRef FKeys[kKeyCount] = {0x000000, 0x000000, 0x000000, 0xE7E7E7, 0xE7E7E7};
    int FTrackOffsetY = 20;
    int FTrackOffsetX = 0;
    int FMarginOffsetX = 0;

    TSkinPicture FPictures[kPictureCount];
    qreal FBuiltInDensity = 0; // the screen density the built-in pictures were loaded for

    // Pixel positions and layout.
    int FTickX = 0;
    int FSegStartX = 0;
    int FSegEndX = 0;
    int FTrackLeft = 0;
    int FTrackWidth = 0;
    int FTrackHeight = 7;
    QRect FTickRect;
    QRect FSegStartRect;
    QRect FSegEndRect;

    TLook FTickLook = TLook::Idle;
    bool FSegStartHot = false;
    bool FSegEndHot = false;
    TDrag FDrag = TDrag::None;
    bool FButtonHeld = false;
    QImage FBuffer; // the composed control, at the screen's density
};
