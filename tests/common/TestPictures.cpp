#include "common/TestPictures.h"

#include <cstdlib>

QImage Thumbnail(const QImage& picture) {
    return picture.scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_Grayscale8);
}

double ThumbnailDifference(const QImage& a, const QImage& b) {
    if (a.isNull() || b.isNull())
        return 255.0;
    const QImage left = Thumbnail(a);
    const QImage right = Thumbnail(b);
    double sum = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            sum += std::abs(qGray(left.pixel(x, y)) - qGray(right.pixel(x, y)));
    return sum / 256;
}
