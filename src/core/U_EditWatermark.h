#pragma once

// The picture watermark as the conversion uses it: a PNG copy of the chosen picture at exactly
// the watermark's size in output pixels, kept in the scaled-watermark folder until exit.

#include <QSize>
#include <QString>

// The path of the scaled copy, or an empty text when the picture cannot be read or the copy
// cannot be written. Logs "SaveWaterMark" on success.
QString SaveScaledWatermark(const QString& pictureFile, const QSize& size);
