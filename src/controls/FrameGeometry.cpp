#include "controls/FrameGeometry.h"

#include <algorithm>
#include <cmath>

int Nearest(double x) {
    // std::nearbyint follows the rounding mode, which nothing here changes from to-nearest-even.
    return static_cast<int>(std::nearbyint(x));
}

bool TFrameFit::Valid() const {
    return !Frame.isEmpty() && !Box.isEmpty() && !Display.IsEmpty();
}

TFrameFit FitFrame(const QSize& frame, const QSize& box) {
    TFrameFit fit;
    fit.Frame = frame;
    fit.Box = box;
    if (frame.isEmpty() || box.isEmpty())
        return fit;
    fit.RatioX = double(frame.width()) / box.width();
    fit.RatioY = double(frame.height()) / box.height();
    if (fit.RatioX >= fit.RatioY) {
        const int inset = Nearest((box.height() - frame.height() / fit.RatioX) / 2);
        fit.Display = {0, inset, box.width(), box.height() - inset};
    } else {
        const int inset = Nearest((box.width() - frame.width() / fit.RatioY) / 2);
        fit.Display = {inset, 0, box.width() - inset, box.height()};
    }
    return fit;
}

TEdgeRect FitFrameInto(const QSize& frame, const TEdgeRect& box) {
    const TFrameFit fit = FitFrame(frame, QSize(box.Width(), box.Height()));
    if (!fit.Valid())
        return {box.Left, box.Top, box.Left, box.Top};
    return {fit.Display.Left + box.Left, fit.Display.Top + box.Top, fit.Display.Right + box.Left,
            fit.Display.Bottom + box.Top};
}

TEdgeRect DisplayToFrame(const TFrameFit& fit, const TEdgeRect& display) {
    if (!fit.Valid())
        return {};
    const TEdgeRect& d = fit.Display;
    if (fit.RatioX >= fit.RatioY) {
        const double scaleY = double(fit.Frame.height()) / d.Height();
        return {Nearest(display.Left * fit.RatioX), Nearest((display.Top - d.Top) * scaleY),
                Nearest(display.Right * fit.RatioX), Nearest((display.Bottom - d.Top) * scaleY)};
    }
    const double scaleX = double(fit.Frame.width()) / d.Width();
    return {Nearest((display.Left - d.Left) * scaleX), Nearest(display.Top * fit.RatioY),
            Nearest((display.Right - d.Left) * scaleX), Nearest(display.Bottom * fit.RatioY)};
}

TEdgeRect FrameToDisplay(const TFrameFit& fit, const TEdgeRect& frame) {
    if (!fit.Valid())
        return {};
    const TEdgeRect& d = fit.Display;
    if (fit.RatioX >= fit.RatioY) {
        const double scaleY = double(d.Height()) / fit.Frame.height();
        return {Nearest(frame.Left / fit.RatioX), Nearest(frame.Top * scaleY + d.Top),
                Nearest(frame.Right / fit.RatioX), Nearest(frame.Bottom * scaleY + d.Top)};
    }
    const double scaleX = double(d.Width()) / fit.Frame.width();
    return {Nearest(frame.Left * scaleX + d.Left), Nearest(frame.Top / fit.RatioY),
            Nearest(frame.Right * scaleX + d.Left), Nearest(frame.Bottom / fit.RatioY)};
}

TEdgeRect MapBetweenFits(const TFrameFit& from, const TFrameFit& to, const TEdgeRect& display) {
    if (!from.Valid() || !to.Valid())
        return display;
    const TEdgeRect& a = from.Display;
    const TEdgeRect& b = to.Display;
    const double scaleX = double(b.Width()) / a.Width();
    const double scaleY = double(b.Height()) / a.Height();
    return {Nearest((display.Left - a.Left) * scaleX + b.Left),
            Nearest((display.Top - a.Top) * scaleY + b.Top),
            Nearest((display.Right - a.Left) * scaleX + b.Left),
            Nearest((display.Bottom - a.Top) * scaleY + b.Top)};
}

int DisplayFontSize(const TFrameFit& fit, int frameSize) {
    if (!fit.Valid())
        return frameSize;
    const double ratio = std::max(double(fit.Frame.width()) / fit.Display.Width(),
                                  double(fit.Frame.height()) / fit.Display.Height());
    return Nearest(frameSize / ratio);
}
