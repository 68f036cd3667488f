#include "engine/widgets/TPlayerDisplay.h"

#include <QMouseEvent>
#include <QPainter>

TPlayerDisplay::TPlayerDisplay(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
    connect(this, &TPlayerDisplay::PictureArrived, this, qOverload<>(&QWidget::update),
            Qt::QueuedConnection);
}

QSize TPlayerDisplay::DisplaySize() const {
    std::lock_guard lock(FLock);
    return FSize;
}

void TPlayerDisplay::ShowPicture(const QImage& picture, const QRect& area) {
    {
        std::lock_guard lock(FLock);
        FPicture = picture;
        FArea = area;
    }
    emit PictureArrived();
}

void TPlayerDisplay::ClearPicture() {
    {
        std::lock_guard lock(FLock);
        FPicture = QImage();
        FArea = QRect();
    }
    emit PictureArrived();
}

void TPlayerDisplay::SetBackdrop(const QPixmap& backdrop) {
    FBackdrop = backdrop;
    update();
}

QImage TPlayerDisplay::Picture() const {
    std::lock_guard lock(FLock);
    return FPicture;
}

QRect TPlayerDisplay::PictureArea() const {
    std::lock_guard lock(FLock);
    return FArea;
}

void TPlayerDisplay::paintEvent(QPaintEvent*) {
    QImage picture;
    QRect area;
    {
        std::lock_guard lock(FLock);
        picture = FPicture;
        area = FArea;
    }
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (picture.isNull()) {
        if (!FBackdrop.isNull())
            painter.drawPixmap(rect(), FBackdrop);
        return;
    }
    // The player works in physical pixels; the painter in logical ones.
    const qreal ratio = devicePixelRatioF();
    painter.drawImage(
        QRectF(area.x() / ratio, area.y() / ratio, area.width() / ratio, area.height() / ratio),
        picture);
}

void TPlayerDisplay::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    std::lock_guard lock(FLock);
    FSize = (QSizeF(size()) * devicePixelRatioF()).toSize();
}

void TPlayerDisplay::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    QWidget::mousePressEvent(event);
}
