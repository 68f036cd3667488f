#include "conversion/U_ConvertingView.h"

#include "core/U_Treelist.h"

#include <QImage>
#include <QPainter>

#include <cmath>

QRect FitPreviewRect(const QSize& picture, const QSize& area) {
    if (picture.isEmpty() || area.isEmpty())
        return QRect(QPoint(), area);
    const double widthRatio = double(area.width()) / picture.width();
    const double heightRatio = double(area.height()) / picture.height();
    // The picture takes the whole of the side it reaches first.
    if (widthRatio <= heightRatio) {
        const int height = int(std::lround(picture.height() * widthRatio));
        const int top = int(std::lround((area.height() - height) / 2.0));
        return QRect(0, top, area.width(), height);
    }
    const int width = int(std::lround(picture.width() * heightRatio));
    const int left = int(std::lround((area.width() - width) / 2.0));
    return QRect(left, 0, width, area.height());
}

void DrawTextWaterMark(QImage& frame, const TWaterMark& waterMark) {
    if (waterMark.WaterMarkText.isEmpty() || frame.isNull())
        return;
    QPainter painter(&frame);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (waterMark.TextFont) {
        painter.setFont(waterMark.TextFont->Font);
        painter.setPen(waterMark.TextFont->Color);
    } else {
        painter.setPen(Qt::white);
    }
    painter.setBrush(Qt::NoBrush);
    const QPoint topLeft = waterMark.OutputRect.topLeft();
    painter.drawText(QRect(topLeft, QSize(std::max(1, frame.width() - topLeft.x()),
                                          std::max(1, frame.height() - topLeft.y()))),
                     Qt::AlignLeft | Qt::AlignTop, waterMark.WaterMarkText);
}
