#include "shell/U_MainIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>

namespace {

const QColor kAccent(0xff, 0x8a, 0x1f);

// A "play" triangle pointing right, from its left edge's top to its bottom.
QPainterPath PlayTriangle(double left, double top, double right, double bottom) {
    QPainterPath triangle;
    triangle.moveTo(left, top);
    triangle.lineTo(right, (top + bottom) / 2);
    triangle.lineTo(left, bottom);
    triangle.closeSubpath();
    return triangle;
}

// Draws one picture on a 32 × 32 canvas.
void Draw(QPainter& p, TMainIcon kind, const QColor& color) {
    QPen pen(color, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    switch (kind) {
    case TMainIcon::Logo: {
        QPainterPath reel;
        reel.addEllipse(QPointF(16, 16), 14, 14);
        for (int i = 0; i < 5; ++i) {
            const double a = i * 2 * M_PI / 5 - M_PI / 2;
            reel.addEllipse(QPointF(16 + 7.5 * std::cos(a), 16 + 7.5 * std::sin(a)), 3.2, 3.2);
        }
        reel.addEllipse(QPointF(16, 16), 1.8, 1.8);
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        p.drawPath(reel);
        break;
    }
    case TMainIcon::Add:
        p.drawRoundedRect(QRectF(4, 6, 24, 20), 3, 3);
        for (double y : {10.0, 22.0})
            for (double x = 7; x < 27; x += 5)
                p.drawPoint(QPointF(x, y));
        p.setPen(QPen(kAccent, 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(16, 11), QPointF(16, 21));
        p.drawLine(QPointF(11, 16), QPointF(21, 16));
        break;
    case TMainIcon::Formats:
        for (int i = 0; i < 3; ++i) {
            const double y = 8 + i * 8;
            p.drawLine(QPointF(5, y), QPointF(27, y));
            p.setBrush(i == 1 ? kAccent : color);
            p.drawEllipse(QPointF(9 + i * 7, y), 3, 3);
            p.setBrush(Qt::NoBrush);
        }
        break;
    case TMainIcon::Options: {
        for (int i = 0; i < 8; ++i) { // the teeth
            p.save();
            p.translate(16, 16);
            p.rotate(i * 45.0);
            p.fillRect(QRectF(-2.5, -13, 5, 5), color);
            p.restore();
        }
        p.drawEllipse(QPointF(16, 16), 8.5, 8.5);
        p.drawEllipse(QPointF(16, 16), 3.5, 3.5);
        break;
    }
    case TMainIcon::Help: {
        p.drawEllipse(QPointF(16, 16), 12, 12);
        QPainterPath mark;
        mark.moveTo(12, 12.5);
        mark.cubicTo(12, 7.5, 20.5, 7.5, 20.5, 12.5);
        mark.cubicTo(20.5, 16, 16, 16, 16, 19.5);
        p.drawPath(mark);
        p.setPen(QPen(color, 3, Qt::SolidLine, Qt::RoundCap));
        p.drawPoint(QPointF(16, 24));
        break;
    }
    case TMainIcon::Edit:
        p.drawLine(QPointF(8, 24), QPointF(22, 10));
        p.drawLine(QPointF(11, 27), QPointF(25, 13));
        p.drawLine(QPointF(22, 10), QPointF(25, 13));
        p.drawLine(QPointF(8, 24), QPointF(6, 29));
        p.drawLine(QPointF(6, 29), QPointF(11, 27));
        break;
    case TMainIcon::Clip:
    case TMainIcon::RowClip:
        p.drawEllipse(QPointF(9, 24), 4, 4);
        p.drawEllipse(QPointF(23, 24), 4, 4);
        p.drawLine(QPointF(11.5, 21), QPointF(24, 5));
        p.drawLine(QPointF(20.5, 21), QPointF(8, 5));
        break;
    case TMainIcon::Merge:
    case TMainIcon::RowMerge:
        p.drawRoundedRect(QRectF(4, 5, 13, 10), 2, 2);
        p.drawRoundedRect(QRectF(4, 18, 13, 10), 2, 2);
        p.drawLine(QPointF(17, 10), QPointF(22, 16));
        p.drawLine(QPointF(17, 23), QPointF(22, 16));
        p.drawLine(QPointF(22, 16), QPointF(28, 16));
        p.drawLine(QPointF(25, 13), QPointF(28, 16));
        p.drawLine(QPointF(25, 19), QPointF(28, 16));
        break;
    case TMainIcon::Start: {
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        p.drawEllipse(QPointF(16, 16), 14, 14);
        p.setBrush(Qt::white);
        p.drawPath(PlayTriangle(12.5, 9, 23.5, 23));
        break;
    }
    case TMainIcon::Play: {
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawPath(PlayTriangle(10, 6, 26, 26));
        break;
    }
    case TMainIcon::Pause:
        p.fillRect(QRectF(9, 7, 5, 18), color);
        p.fillRect(QRectF(18, 7, 5, 18), color);
        break;
    case TMainIcon::Stop: p.fillRect(QRectF(8, 8, 16, 16), color); break;
    case TMainIcon::Snapshot:
        p.drawRoundedRect(QRectF(4, 9, 24, 17), 3, 3);
        p.drawLine(QPointF(11, 9), QPointF(13, 5));
        p.drawLine(QPointF(13, 5), QPointF(19, 5));
        p.drawLine(QPointF(19, 5), QPointF(21, 9));
        p.drawEllipse(QPointF(16, 17.5), 5, 5);
        break;
    case TMainIcon::OpenFolder:
    case TMainIcon::RowFile:
        if (kind == TMainIcon::OpenFolder) {
            QPainterPath folder;
            folder.moveTo(4, 25);
            folder.lineTo(4, 8);
            folder.lineTo(12, 8);
            folder.lineTo(15, 11);
            folder.lineTo(28, 11);
            folder.lineTo(28, 25);
            folder.closeSubpath();
            p.drawPath(folder);
        } else {
            p.drawRoundedRect(QRectF(5, 7, 22, 18), 2, 2);
            p.drawLine(QPointF(10, 7), QPointF(10, 25));
            p.drawLine(QPointF(22, 7), QPointF(22, 25));
        }
        break;
    case TMainIcon::Minimize: p.drawLine(QPointF(9, 21), QPointF(23, 21)); break;
    case TMainIcon::Maximize: p.drawRect(QRectF(9, 9, 14, 13)); break;
    case TMainIcon::Restore:
        p.drawRect(QRectF(8, 12, 12, 11));
        p.drawLine(QPointF(12, 12), QPointF(12, 8));
        p.drawLine(QPointF(12, 8), QPointF(24, 8));
        p.drawLine(QPointF(24, 8), QPointF(24, 19));
        p.drawLine(QPointF(24, 19), QPointF(20, 19));
        break;
    case TMainIcon::Close:
        p.drawLine(QPointF(10, 10), QPointF(22, 22));
        p.drawLine(QPointF(10, 22), QPointF(22, 10));
        break;
    }
}

QPixmap Render(TMainIcon kind, int size, double ratio, const QColor& color) {
    QPixmap pixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    Draw(painter, kind, color);
    return pixmap;
}

} // namespace

QIcon MainIcon(TMainIcon kind, int size, const QColor& color) {
    QIcon icon;
    icon.addPixmap(Render(kind, size, 1.0, color), QIcon::Normal);
    icon.addPixmap(Render(kind, size, 2.0, color), QIcon::Normal);
    const QColor dimmed(0x6c, 0x73, 0x80);
    icon.addPixmap(Render(kind, size, 1.0, dimmed), QIcon::Disabled);
    icon.addPixmap(Render(kind, size, 2.0, dimmed), QIcon::Disabled);
    return icon;
}
