#pragma once

// Comparing what two pictures show, whatever their sizes: both as 16 × 16 greyscale
// thumbnails, the mean difference of their pixels (0 … 255; 255 when one is missing).

#include <QImage>

QImage Thumbnail(const QImage& picture);
double ThumbnailDifference(const QImage& a, const QImage& b);
