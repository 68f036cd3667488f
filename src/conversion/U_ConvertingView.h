#pragma once

// Drawing helpers of the conversion window: where a preview picture goes, and the text
// watermark written into output frames.

#include <QRect>
#include <QSize>

class QImage;
struct TWaterMark;

// The picture scaled to fill `area` with its aspect kept (small pictures are enlarged) and
// centred, the spare space split evenly and rounded to whole pixels.
QRect FitPreviewRect(const QSize& picture, const QSize& area);

// Writes the watermark's text at the top left of its output rectangle, in its font and colour,
// without a background box.
void DrawTextWaterMark(QImage& frame, const TWaterMark& waterMark);
