#pragma once

// A rectangle as left, top, right and bottom edges: Right and Bottom lie just outside it, so
// the width is Right − Left. Crop rectangles, preview frames and watermark places use it.

#include <QRect>
#include <QString>

struct TEdgeRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    bool operator==(const TEdgeRect&) const = default;
};

inline QRect ToQRect(const TEdgeRect& r) {
    return QRect(r.Left, r.Top, r.Width(), r.Height());
}

inline TEdgeRect EdgeRectOf(const QRect& r) {
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

// "left, top , right, bottom", as the activity log shows rectangles.
inline QString LogRectText(const TEdgeRect& r) {
    return QString::asprintf("%d, %d , %d, %d", r.Left, r.Top, r.Right, r.Bottom);
}
