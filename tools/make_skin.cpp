// Draws the pictures of the tool windows' skin into a folder, at normal and double density
// ("name@2x.ext"). The shipped skin in resources/skin was made with it:
//
//   ./build/make_skin resources/skin
//
// Bitmaps use olive (128, 128, 0) for what is transparent; edge pixels are blended with the
// colour the picture sits on, so that no olive fringe shows.

#include "shell/U_MainIcons.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <functional>

namespace {

// The frame's colours; the main window's header uses the same ones.
const QColor kTitleTop(0x34, 0x3a, 0x45);
const QColor kTitleBottom(0x25, 0x2a, 0x33);
const QColor kTitleLine(0x45, 0x4c, 0x59);
const QColor kBorder(0x1f, 0x24, 0x2e);
const QColor kBorderLight(0x2e, 0x34, 0x3f);
const QColor kContent(0x2b, 0x30, 0x3a);
const QColor kOlive(128, 128, 0);

constexpr int kTitleHeight = 32;
constexpr int kBorderWidth = 6;

using TPainter = std::function<void(QPainter&, const QSizeF&)>;

QImage Render(const QSize& size, int scale, const TPainter& paint) {
    QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    paint(painter, QSizeF(size));
    return image;
}

// Fully transparent pixels become olive; partly transparent ones are laid over `under`.
QImage ToOliveBitmap(const QImage& argb, const QColor& under) {
    QImage bitmap(argb.size(), QImage::Format_RGB32);
    bitmap.fill(under);
    {
        QPainter painter(&bitmap);
        painter.drawImage(0, 0, argb);
    }
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(argb.pixel(x, y)) == 0)
                bitmap.setPixel(x, y, kOlive.rgb());
        }
    }
    return bitmap;
}

bool Save(const QString& folder, const QString& name, const QSize& size, const TPainter& paint,
          const QColor& under = QColor()) {
    const QString base = name.section('.', 0, 0);
    const QString extension = name.section('.', 1);
    for (int scale : {1, 2}) {
        QImage image = Render(size, scale, paint);
        if (extension == "bmp")
            image = ToOliveBitmap(image, under);
        else if (extension == "jpg")
            image = image.convertToFormat(QImage::Format_RGB32);
        const QString file =
            folder + (scale == 1 ? name : base + QStringLiteral("@2x.") + extension);
        if (!image.save(file, nullptr, extension == "jpg" ? 95 : -1)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return false;
        }
    }
    return true;
}

void TitleBar(QPainter& p, const QSizeF& size) {
    QLinearGradient gradient(0, 0, 0, size.height());
    gradient.setColorAt(0, kTitleTop);
    gradient.setColorAt(1, kTitleBottom);
    p.fillRect(QRectF(QPointF(), size), gradient);
    p.fillRect(QRectF(0, 0, size.width(), 1), kTitleLine);
    p.fillRect(QRectF(0, size.height() - 1, size.width(), 1), kBorder);
}

void Border(QPainter& p, const QSizeF& size, bool vertical) {
    p.fillRect(QRectF(QPointF(), size), kBorder);
    // A light line on the inner edge.
    if (vertical)
        p.fillRect(QRectF(0, 0, 1, size.height()), kBorderLight);
}

void Button(QPainter& p, const QSizeF& size, const QColor& top, const QColor& bottom) {
    QPainterPath shape;
    shape.addRoundedRect(QRectF(QPointF(), size).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
    QLinearGradient gradient(0, 0, 0, size.height());
    gradient.setColorAt(0, top);
    gradient.setColorAt(1, bottom);
    p.fillPath(shape, gradient);
    p.setPen(QPen(bottom.darker(130), 1));
    p.drawPath(shape);
}

void CaptionButton(QPainter& p, const QSizeF& size, bool close, bool hot) {
    if (hot) {
        QPainterPath shape;
        shape.addRoundedRect(QRectF(QPointF(), size).adjusted(1, 2, -1, -2), 3, 3);
        p.fillPath(shape, close ? QColor(0xd9, 0x3d, 0x3d) : QColor(0x46, 0x4d, 0x5a));
    }
    p.setPen(QPen(QColor(0xe6, 0xe9, 0xef), 1.5, Qt::SolidLine, Qt::RoundCap));
    const QPointF c(size.width() / 2, size.height() / 2);
    if (close) {
        p.drawLine(c + QPointF(-4, -4), c + QPointF(4, 4));
        p.drawLine(c + QPointF(-4, 4), c + QPointF(4, -4));
    } else {
        p.drawLine(c + QPointF(-5, 3), c + QPointF(5, 3));
    }
}

} // namespace

int main(int argc, char** argv) {
    // Drawing needs no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_skin FOLDER\n");
        return 2;
    }
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath() + '/';
    QDir().mkpath(folder);

    const QSize corner(kBorderWidth, kTitleHeight);
    const QSize side(kBorderWidth, 32);
    const QSize foot(kBorderWidth, kBorderWidth);
    const QColor titleMiddle = QColor::fromRgbF((kTitleTop.redF() + kTitleBottom.redF()) / 2,
                                                (kTitleTop.greenF() + kTitleBottom.greenF()) / 2,
                                                (kTitleTop.blueF() + kTitleBottom.blueF()) / 2);
    bool ok = true;
    ok &= Save(folder, "Top_Left.jpg", corner, TitleBar);
    ok &= Save(folder, "top_right.jpg", corner, TitleBar);
    ok &= Save(folder, "top_mid.jpg", QSize(32, kTitleHeight), TitleBar);
    ok &= Save(folder, "mid_left.jpg", side,
               [](QPainter& p, const QSizeF& s) { Border(p, s, false); });
    ok &= Save(folder, "mid_right.jpg", side, [](QPainter& p, const QSizeF& s) {
        p.translate(s.width(), 0);
        p.scale(-1, 1);
        Border(p, s, true);
    });
    ok &= Save(folder, "bottom_left.jpg", foot,
               [](QPainter& p, const QSizeF& s) { Border(p, s, false); });
    ok &= Save(folder, "bottom_right.jpg", foot,
               [](QPainter& p, const QSizeF& s) { Border(p, s, false); });
    ok &= Save(folder, "bottom_mid.jpg", QSize(32, kBorderWidth),
               [](QPainter& p, const QSizeF& s) { Border(p, s, false); });
    ok &= Save(folder, "Logo.png", QSize(16, 16), [](QPainter& p, const QSizeF& s) {
        MainIcon(TMainIcon::Logo, 16).paint(&p, QRect(QPoint(), s.toSize()));
    });

    const QSize button(84, 28);
    ok &= Save(
        folder, "btn_up.bmp", button,
        [](QPainter& p, const QSizeF& s) {
            Button(p, s, QColor(0x2d, 0x96, 0xe8), QColor(0x1a, 0x6f, 0xb8));
        },
        kContent);
    ok &= Save(
        folder, "btn_Hot.bmp", button,
        [](QPainter& p, const QSizeF& s) {
            Button(p, s, QColor(0x4a, 0xa9, 0xf2), QColor(0x23, 0x80, 0xcc));
        },
        kContent);
    ok &= Save(
        folder, "btn_down.bmp", button,
        [](QPainter& p, const QSizeF& s) {
            Button(p, s, QColor(0x17, 0x63, 0xa5), QColor(0x1c, 0x74, 0xbd));
        },
        kContent);

    const QSize caption(24, 20);
    ok &= Save(
        folder, "min_up.bmp", caption,
        [](QPainter& p, const QSizeF& s) { CaptionButton(p, s, false, false); }, titleMiddle);
    ok &= Save(
        folder, "min_hot.bmp", caption,
        [](QPainter& p, const QSizeF& s) { CaptionButton(p, s, false, true); }, titleMiddle);
    ok &= Save(
        folder, "close_up.bmp", caption,
        [](QPainter& p, const QSizeF& s) { CaptionButton(p, s, true, false); }, titleMiddle);
    ok &= Save(
        folder, "close_hot.bmp", caption,
        [](QPainter& p, const QSizeF& s) { CaptionButton(p, s, true, true); }, titleMiddle);
    return ok ? 0 : 1;
}
