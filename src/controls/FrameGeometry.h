#pragma once

// How a video frame is shown letterboxed in a preview box, and how rectangles travel between
// the box's pixels and the frame's. The edit window places crop and watermark frames with it;
// the formats window moves a watermark when the output size changes. Boxes start at (0, 0) of
// their surface; every rounding is to the nearest integer, ties to even.

#include "core/EdgeRect.h"

#include <QSize>

// The edit window's previews, where the watermark's view rectangles are kept.
inline constexpr QSize kWatermarkPreviewBox{360, 220};

// A frame of Sw × Sh fitted into a box of Bw × Bh.
struct TFrameFit {
    QSize Frame;
    QSize Box;
    double RatioX = 0.0; // Sw / Bw
    double RatioY = 0.0; // Sh / Bh
    TEdgeRect Display;   // where the frame is shown inside the box
    // False when the frame or the box has no area: nothing maps then.
    bool Valid() const;
};

// The frame takes the whole of the side it reaches first; the other side is inset equally.
TFrameFit FitFrame(const QSize& frame, const QSize& box);
// The same inside `box`, a rectangle of a surface (its result lies inside `box`).
TEdgeRect FitFrameInto(const QSize& frame, const TEdgeRect& box);

// Box pixels to frame pixels, each edge on its own; (0, 0, 0, 0) when the fit is not valid.
TEdgeRect DisplayToFrame(const TFrameFit& fit, const TEdgeRect& display);
// Frame pixels to box pixels.
TEdgeRect FrameToDisplay(const TFrameFit& fit, const TEdgeRect& frame);
// A rectangle shown in one fit's display moved to the same place of another fit's display
// (the frame's size changed; the box did not).
TEdgeRect MapBetweenFits(const TFrameFit& from, const TFrameFit& to, const TEdgeRect& display);
// A font size chosen for the frame as it looks in the display rectangle.
int DisplayFontSize(const TFrameFit& fit, int frameSize);

// x rounded to the nearest integer, ties to even.
int Nearest(double x);
