#include "engine/widgets/TPreviewer.h"

#include "engine/FFUtils.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

TPreviewer::TPreviewer(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPreviewer::ShowPicture(const QImage& picture, int64_t pts) {
    if (FClosed)
        return;
    FPicture = picture;
    setWindowTitle(FormatTimeStamp(pts));
    if (size() != picture.size())
        setFixedSize(picture.size());
    if (!FPlaced) {
        FPlaced = true;
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
        show();
    }
    update();
}

void TPreviewer::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.drawImage(QPoint(0, 0), FPicture);
}

void TPreviewer::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && windowHandle() != nullptr)
        windowHandle()->startSystemMove();
}

void TPreviewer::closeEvent(QCloseEvent* event) {
    FClosed = true;
    event->accept();
}
