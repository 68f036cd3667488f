#include "controls/MrvTrackbar.h"

#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

const char* const kBuiltInNames[] = {"TickUp",      "TickDown", "TickHot",
                                     "TickDisable", "Track",    "SegmentStart",
                                     "SegmentEnd",  "StartCut", "EndCut"};

constexpr qreal kMarkOpacity = 0.8;
constexpr QRgb kCutLineColor = 0xFF930000;

QColor FromColorRef(TColorRef color) {
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

QRgb KeyRgb(TColorRef color) {
    return qRgb(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

// Nearest integer, ties to even (the default rounding mode).
int64_t RoundToEven(long double value) {
    return static_cast<int64_t>(std::nearbyint(value));
}

// The built-in picture for a screen of `density`: the double-density file from 1.5 on.
QImage BuiltInPicture(const char* name, qreal density) {
    const QString base = QStringLiteral(":/trackbar/%1").arg(QLatin1String(name));
    if (density >= 1.5) {
        QImage sharp(base + QStringLiteral("@2x.png"));
        if (!sharp.isNull()) {
            sharp.setDevicePixelRatio(2.0);
            return sharp;
        }
    }
    return QImage(base + QStringLiteral(".png"));
}

} // namespace

TMrvTrackbar::TMrvTrackbar(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true); // hover looks
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(400, 40);
    LoadBuiltInPictures();
    Layout();
}

TMrvTrackbar::~TMrvTrackbar() = default;

// --- Values ------------------------------------------------------------------------------------

void TMrvTrackbar::SetMin(int64_t value) {
    FMin = value;
    if (FPosition < value)
        FPosition = value;
}

void TMrvTrackbar::SetMax(int64_t value) {
    FMax = value;
}

void TMrvTrackbar::SetPosition(int64_t value) {
    if (value > FMax)
        value = FMax;
    if (value < FMin)
        value = FMin;
    if (FShowSegment) {
        if (value < FSegStartPos)
            value = FSegStartPos;
        if (value > FSegEndPos)
            value = FSegEndPos;
    }
    FPosition = value;
    const int pixel = PixelOf(value);
    FTickX = pixel == 0 ? FTrackLeft + TrackLeftOffset : pixel;
    update();
    Changed(OnTickChange);
}

void TMrvTrackbar::SetSegStartPos(int64_t value) {
    FSegStartPos = std::clamp(value, std::min(FMin, FSegEndPos), FSegEndPos);
    if (FPosition < FSegStartPos)
        SetPosition(FSegStartPos);
    FSegStartX = PixelOf(FSegStartPos);
    update();
}

void TMrvTrackbar::SetSegEndPos(int64_t value) {
    FSegEndPos = std::clamp(value, FSegStartPos, std::max(FMax, FSegStartPos));
    if (FPosition > FSegEndPos)
        SetPosition(FSegEndPos);
    FSegEndX = PixelOf(FSegEndPos);
    update();
}

int TMrvTrackbar::PixelOf(int64_t value) const {
    const long double usable = FTrackWidth - TrackLeftOffset - TrackRightOffset;
    const long double span = static_cast<long double>(FMax) - FMin;
    const int left = FTrackLeft + TrackLeftOffset;
    if (usable <= 0 || span == 0)
        return left; // nothing to map onto: everything sits at the track's start
    return static_cast<int>(RoundToEven((value - FMin) * usable / span + left));
}

int64_t TMrvTrackbar::ValueOf(int x) const {
    const long double usable = FTrackWidth - TrackLeftOffset - TrackRightOffset;
    const long double span = static_cast<long double>(FMax) - FMin;
    if (usable <= 0 || span == 0)
        return FMin;
    return RoundToEven((x - FTrackLeft - TrackLeftOffset) / usable * span + FMin);
}

// --- Looks -------------------------------------------------------------------------------------

void TMrvTrackbar::SetShowTick(bool show) {
    FShowTick = show;
    update();
}

void TMrvTrackbar::SetShowSegment(bool show) {
    FShowSegment = show;
    FSegStartPos = FMin;
    FSegEndPos = FMax;
    FSegStartX = PixelOf(FSegStartPos);
    FSegEndX = PixelOf(FSegEndPos);
    update();
}

void TMrvTrackbar::SetShowCut(bool show) {
    FShowCut = show;
    update();
}

void TMrvTrackbar::SetBGColor(TColorRef color) {
    FBGColor = color & 0x00FFFFFF;
    update();
}

void TMrvTrackbar::SetLeftBrushColor(quint32 argb) {
    FLeftBrush = argb;
    update();
}

void TMrvTrackbar::SetRightBrushColor(quint32 argb) {
    FRightBrush = argb;
    update();
}

void TMrvTrackbar::SetTickBrushColor(quint32 argb) {
    FTickBrush = argb;
    update();
}

void TMrvTrackbar::SetTickTransparency(TColorRef color) {
    SetKey(kTickKey, color);
}
void TMrvTrackbar::SetSegStartTransparency(TColorRef color) {
    SetKey(kSegStartKey, color);
}
void TMrvTrackbar::SetSegEndTransparency(TColorRef color) {
    SetKey(kSegEndKey, color);
}
void TMrvTrackbar::SetStartCutTransparency(TColorRef color) {
    SetKey(kStartCutKey, color);
}
void TMrvTrackbar::SetEndCutTransparency(TColorRef color) {
    SetKey(kEndCutKey, color);
}

void TMrvTrackbar::SetKey(TKey key, TColorRef color) {
    FKeys[key] = color & 0x00FFFFFF;
    for (int p = 0; p < kPictureCount; ++p)
        PrepareForDrawing(TPicture(p));
    update();
}

TColorRef TMrvTrackbar::KeyOf(TPicture which) const {
    switch (which) {
    case pTickUp:
    case pTickDown:
    case pTickHot:
    case pTickDisable: return FKeys[kTickKey];
    case pSegmentStart: return FKeys[kSegStartKey];
    case pSegmentEnd: return FKeys[kSegEndKey];
    case pStartCut: return FKeys[kStartCutKey];
    case pEndCut: return FKeys[kEndCutKey];
    default: return 0xFF000000; // no key: never matches an RGB value
    }
}

// --- Geometry ----------------------------------------------------------------------------------

void TMrvTrackbar::SetTrackOffsetY(int y) {
    FTrackOffsetY = y;
    update();
}

void TMrvTrackbar::SetMarginOffsetX(int x) {
    FMarginOffsetX = x;
    Layout();
    update();
}

QRect TMrvTrackbar::TrackRect() const {
    return QRect(FTrackLeft, FTrackOffsetY, FTrackWidth, FTrackHeight);
}

QSize TMrvTrackbar::LogicalSize(TPicture which) const {
    return FPictures[which].Drawn.isNull()
               ? QSize(0, 0)
               : FPictures[which].Drawn.deviceIndependentSize().toSize();
}

void TMrvTrackbar::Layout() {
    const QSize startMark = LogicalSize(pSegmentStart);
    FTrackOffsetX = startMark.width();
    if (!FPictures[pTrack].Drawn.isNull())
        FTrackHeight = LogicalSize(pTrack).height();
    FTrackWidth = width() - 2 * FTrackOffsetX - 2 * FMarginOffsetX;
    FTrackLeft = FMarginOffsetX + startMark.width();
    FTickX = FTrackLeft + LogicalSize(pTickUp).width() / 2;
    FSegStartX = FTrackLeft;
    FSegEndX = FTrackLeft + FTrackWidth;
}

// --- Pictures ----------------------------------------------------------------------------------

QImage TMrvTrackbar::Picture(TPicture which) const {
    return FPictures[which].Given;
}

void TMrvTrackbar::SetPicture(TPicture which, const QImage& picture) {
    TSkinPicture& slot = FPictures[which];
    if (picture.isNull()) {
        slot.BuiltIn = true;
        slot.Given =
            which == pBGImage ? QImage() : BuiltInPicture(kBuiltInNames[which], FBuiltInDensity);
    } else {
        slot.BuiltIn = false;
        // Whatever the file was, it is drawn as an opaque bitmap of its own size.
        slot.Given = picture.convertToFormat(QImage::Format_RGB32);
        slot.Given.setDevicePixelRatio(picture.devicePixelRatio());
    }
    PrepareForDrawing(which);
    Layout();
    update();
}

void TMrvTrackbar::LoadBuiltInPictures() {
    FBuiltInDensity = devicePixelRatioF();
    for (int p = 0; p < pBGImage; ++p) {
        TSkinPicture& slot = FPictures[p];
        if (!slot.BuiltIn)
            continue;
        slot.Given = BuiltInPicture(kBuiltInNames[p], FBuiltInDensity);
        PrepareForDrawing(TPicture(p));
    }
}

void TMrvTrackbar::PrepareForDrawing(TPicture which) {
    TSkinPicture& slot = FPictures[which];
    if (slot.Given.isNull()) {
        slot.Drawn = QImage();
        return;
    }
    QImage drawn = slot.Given.convertToFormat(QImage::Format_ARGB32);
    const TColorRef key = KeyOf(which);
    if ((key & 0xFF000000) == 0) {
        const QRgb clear = KeyRgb(key) & 0x00FFFFFF;
        for (int y = 0; y < drawn.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(drawn.scanLine(y));
            for (int x = 0; x < drawn.width(); ++x) {
                if ((line[x] & 0x00FFFFFF) == clear)
                    line[x] = 0;
            }
        }
    }
    slot.Drawn = drawn.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    slot.Drawn.setDevicePixelRatio(slot.Given.devicePixelRatio());
}

// --- Events ------------------------------------------------------------------------------------

bool TMrvTrackbar::event(QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        // Arrow keys stay with the control: they never move the focus to another one.
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up ||
            key == Qt::Key_Down) {
            keyPressEvent(static_cast<QKeyEvent*>(event));
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

void TMrvTrackbar::keyPressEvent(QKeyEvent* event) {
    if (OnKeyDown)
        OnKeyDown(this, event->key(), event->modifiers());
    event->accept();
}

void TMrvTrackbar::keyReleaseEvent(QKeyEvent* event) {
    if (OnKeyUp)
        OnKeyUp(this, event->key(), event->modifiers());
    event->accept();
}

void TMrvTrackbar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Layout();
    FBuffer = QImage();
}

void TMrvTrackbar::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (OnMouseDown)
        OnMouseDown(this, event->button(), event->modifiers(), at.x(), at.y());
    FButtonHeld = true;
    setFocus(Qt::MouseFocusReason);
    FDrag = TDrag::None;
    if (event->button() == Qt::LeftButton) {
        if (FShowSegment && FSegStartRect.contains(at)) {
            FDrag = TDrag::SegStart;
            Changed(OnSegStartMouseDown);
        } else if (FShowSegment && FSegEndRect.contains(at)) {
            FDrag = TDrag::SegEnd;
            Changed(OnSegendMouseDown);
        } else if (CanDragTick && FTickRect.contains(at)) {
            FDrag = TDrag::Tick;
            FTickLook = TLook::Pressed;
            FTickX = at.x(); // the thumb centres under the pointer; Position waits for a move
            Changed(OnTickMouseDown);
        } else if (TrackRect().contains(at)) {
            FDrag = TDrag::Track;
        }
    }
    update();
}

void TMrvTrackbar::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (OnMouseMove)
        OnMouseMove(this, event->button(), event->modifiers(), at.x(), at.y());
    if (!FButtonHeld) {
        UpdateHoverLooks(at);
        update();
        return;
    }
    switch (FDrag) {
    case TDrag::Tick:
        MoveTickTo(at.x());
        Changed(OnTickChange);
        Changed(OnChange);
        break;
    case TDrag::SegStart: DragSegStartTo(at.x()); break;
    case TDrag::SegEnd: DragSegEndTo(at.x()); break;
    case TDrag::Track: Changed(OnChange); break;
    case TDrag::None: break;
    }
    update();
}

void TMrvTrackbar::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (OnMouseUp)
        OnMouseUp(this, event->button(), event->modifiers(), at.x(), at.y());
    FButtonHeld = false;
    switch (FDrag) {
    case TDrag::Tick:
        FTickLook = TLook::Idle;
        Changed(OnTickMouseUp);
        break;
    case TDrag::SegStart: Changed(OnSegStartMouseUp); break;
    case TDrag::SegEnd: Changed(OnSegEndMouseUp); break;
    case TDrag::Track:
        // A click on the track seeks on release.
        MoveTickTo(at.x());
        Changed(OnTickChange);
        break;
    case TDrag::None: break;
    }
    update();
}

void TMrvTrackbar::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (!FButtonHeld) {
        FSegStartHot = FSegEndHot = false;
        if (FTickLook == TLook::Hot)
            FTickLook = TLook::Idle;
        update();
    }
    Changed(OnMouseLeave);
}

void TMrvTrackbar::UpdateHoverLooks(const QPoint& at) {
    FSegStartHot = FShowSegment && FSegStartRect.contains(at);
    FSegEndHot = FShowSegment && FSegEndRect.contains(at);
    FTickLook = FTickRect.contains(at) ? TLook::Hot : TLook::Idle;
}

void TMrvTrackbar::MoveTickTo(int x) {
    const int trackRight = FTrackLeft + FTrackWidth;
    x = std::clamp(x, FTrackLeft + TrackLeftOffset,
                   std::max(FTrackLeft + TrackLeftOffset, trackRight - TrackRightOffset));
    x = std::clamp(x, FSegStartX, std::max(FSegStartX, FSegEndX));
    FTickX = x;
    FPosition = ValueOf(FTickX);
}

void TMrvTrackbar::DragSegStartTo(int x) {
    FSegStartX = std::min(x, FSegEndX);
    if (FTickX < FSegStartX) {
        // The thumb is pushed along without an OnTickChange.
        FTickX = FSegStartX;
        FPosition = ValueOf(FTickX);
    }
    FSegStartX = std::max(FSegStartX, FTrackLeft);
    FSegStartPos = ValueOf(FSegStartX);
    Changed(OnStartChange);
}

void TMrvTrackbar::DragSegEndTo(int x) {
    FSegEndX = std::max(x, FSegStartX);
    if (FTickX > FSegEndX) {
        FTickX = FSegEndX;
        FPosition = ValueOf(FTickX);
    }
    FSegEndX = std::min(FSegEndX, FTrackLeft + FTrackWidth);
    FSegEndPos = ValueOf(FSegEndX);
    Changed(OnEndChange);
}

// --- Painting ----------------------------------------------------------------------------------

void TMrvTrackbar::paintEvent(QPaintEvent*) {
    if (UseBGImage && FPictures[pBGImage].Drawn.isNull())
        return; // nothing to paint on
    if (!qFuzzyCompare(FBuiltInDensity, devicePixelRatioF())) {
        // Moved to a screen of another density: the built-in pictures follow it.
        LoadBuiltInPictures();
        Layout();
        FTickX = PixelOf(FPosition);
        FSegStartX = PixelOf(FSegStartPos);
        FSegEndX = PixelOf(FSegEndPos);
    }
    Compose();
    QPainter screen(this);
    screen.drawImage(QPoint(0, 0), FBuffer);
}

void TMrvTrackbar::Compose() {
    const qreal density = devicePixelRatioF();
    const QSize physical = (QSizeF(size()) * density).toSize();
    if (FBuffer.size() != physical) {
        FBuffer = QImage(physical, QImage::Format_ARGB32_Premultiplied);
        FBuffer.setDevicePixelRatio(density);
    }
    QPainter painter(&FBuffer);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect whole = rect();

    // 1. Background.
    if (UseBGImage)
        painter.drawImage(whole, FPictures[pBGImage].Drawn);
    else
        painter.fillRect(whole, FromColorRef(FBGColor));

    // 2. The track.
    const QRect track = TrackRect();
    if (!FPictures[pTrack].Drawn.isNull())
        painter.drawImage(track, FPictures[pTrack].Drawn);
    const int shadeTop = track.top() + 1;
    const int shadeHeight = track.height() - 2;

    // 3. The thumb and the played part.
    const QSize tick = LogicalSize(pTickUp);
    FTickRect = QRect(FTickX - tick.width() / 2, TickOffsetY, tick.width(), tick.height());
    if (FShowTick) {
        const TPicture look = FTickLook == TLook::Pressed ? pTickDown
                              : FTickLook == TLook::Hot   ? pTickHot
                                                          : pTickUp;
        const QImage& thumb = FPictures[look].Drawn;
        if (!thumb.isNull())
            painter.drawImage(QRect(FTickRect.topLeft(), thumb.deviceIndependentSize().toSize()),
                              thumb);
        if (ShowTickColor && FTickRect.left() > track.left() + 1)
            painter.fillRect(
                QRect(track.left() + 1, shadeTop, FTickRect.left() - track.left() - 1, shadeHeight),
                QColor::fromRgba(FTickBrush));
    }

    // 4. The segment: its marks, cut marks and lines, and the shaded outside.
    if (FShowSegment) {
        const QSize start = LogicalSize(pSegmentStart);
        const QSize end = LogicalSize(pSegmentEnd);
        const int trackRight = track.left() + track.width();
        FSegStartRect =
            FSegStartPos == FMin
                ? QRect(FMarginOffsetX, SegOffsetY, start.width(), start.height())
                : QRect(FSegStartX - start.width(), SegOffsetY, start.width(), start.height());
        FSegEndRect = FSegEndPos == FMax ? QRect(trackRight, SegOffsetY, end.width(), end.height())
                                         : QRect(FSegEndX, SegOffsetY, end.width(), end.height());
        const auto mark = [&painter](const QRect& place, const QImage& picture, bool hot) {
            if (picture.isNull())
                return;
            painter.setOpacity(hot ? 1.0 : kMarkOpacity);
            painter.drawImage(place, picture);
            painter.setOpacity(1.0);
        };
        mark(FSegStartRect, FPictures[pSegmentStart].Drawn, FSegStartHot);
        if (FShowCut) {
            const QSize cut = LogicalSize(pStartCut);
            mark(QRect(FSegStartX - cut.width(), 0, cut.width(), cut.height()),
                 FPictures[pStartCut].Drawn, false);
            painter.fillRect(QRect(FSegStartX - 1, 3, 1, 12), QColor::fromRgba(kCutLineColor));
            const int width = FSegStartX - start.width() - track.left() - 1;
            if (width > 0)
                painter.fillRect(QRect(track.left() + 1, shadeTop, width, shadeHeight),
                                 QColor::fromRgba(FLeftBrush));
        }
        mark(FSegEndRect, FPictures[pSegmentEnd].Drawn, FSegEndHot);
        if (FShowCut) {
            const QSize cut = LogicalSize(pEndCut);
            mark(QRect(FSegEndX, 0, cut.width(), cut.height()), FPictures[pEndCut].Drawn, false);
            painter.fillRect(QRect(FSegEndX, 3, 1, 12), QColor::fromRgba(kCutLineColor));
            const int left = FSegEndX + end.width();
            if (trackRight - 1 > left)
                painter.fillRect(QRect(left, shadeTop, trackRight - 1 - left, shadeHeight),
                                 QColor::fromRgba(FRightBrush));
        }
    } else {
        FSegStartRect = FSegEndRect = QRect();
    }
}
