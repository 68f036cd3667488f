#include "editing/EditPreview.h"

#include <QMetaObject>
#include <QPainter>

TEditPreview::TEditPreview(const QString& name, const QSize& box, QWidget* parent)
    : QWidget(parent), FBox(box) {
    setObjectName(name);
    setFixedSize(box);
    setAttribute(Qt::WA_OpaquePaintEvent);
    const qreal density = devicePixelRatioF();
    FSurface = QImage(box * density, QImage::Format_RGB32);
    FSurface.setDevicePixelRatio(density);
    FSurface.fill(Qt::black);
}

void TEditPreview::Paint(const std::function<void(QPainter&)>& draw) {
    {
        std::lock_guard lock(FLock);
        QPainter painter(&FSurface);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        draw(painter);
    }
    // Queued: this may run on the video thread, and widgets repaint on the GUI thread only.
    QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
}

QImage TEditPreview::Picture() const {
    std::lock_guard lock(FLock);
    return FSurface.scaled(FBox, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

void TEditPreview::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    std::lock_guard lock(FLock);
    painter.drawImage(QPoint(0, 0), FSurface);
}
