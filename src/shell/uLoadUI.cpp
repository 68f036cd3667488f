#include "shell/uLoadUI.h"

#include "core/AppFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWindow>

namespace {

QImage WithOliveTransparent(const QImage& image) {
    QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb olive = qRgb(128, 128, 0);
    for (int y = 0; y < argb.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(argb.scanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if ((line[x] & 0x00ffffff) == (olive & 0x00ffffff))
                line[x] = 0;
        }
    }
    return argb;
}

QImage ReadPicture(const QString& path) {
    QImage image(path);
    if (!image.isNull() && QFileInfo(path).suffix().compare("bmp", Qt::CaseInsensitive) == 0)
        image = WithOliveTransparent(image);
    return image;
}

// The file of that name in `folder`, found without regard to letter case as the skin's names
// are written for file systems that ignore it; empty when there is none.
QString FindFile(const QString& folder, const QString& fileName) {
    if (QFileInfo::exists(folder + fileName))
        return folder + fileName;
    const QStringList names = QDir(folder).entryList(QDir::Files);
    for (const QString& name : names) {
        if (name.compare(fileName, Qt::CaseInsensitive) == 0)
            return folder + name;
    }
    return QString();
}

} // namespace

QPixmap LoadSkinPicture(const QString& fileName) {
    const QFileInfo info(fileName);
    const bool highDensity = qGuiApp != nullptr && qGuiApp->devicePixelRatio() > 1.0;
    // A picture of the user's own skin wins over the shipped one, whatever their densities.
    for (const QString& resources : ResourceFolders()) {
        const QString folder = resources + QStringLiteral("skin/");
        if (highDensity) {
            const QString doubled =
                FindFile(folder, info.completeBaseName() + QStringLiteral("@2x.") + info.suffix());
            const QImage image = doubled.isEmpty() ? QImage() : ReadPicture(doubled);
            if (!image.isNull()) {
                QPixmap pixmap = QPixmap::fromImage(image);
                pixmap.setDevicePixelRatio(2.0);
                return pixmap;
            }
        }
        const QString file = FindFile(folder, fileName);
        const QImage image = file.isEmpty() ? QImage() : ReadPicture(file);
        if (!image.isNull())
            return QPixmap::fromImage(image);
    }
    return QPixmap();
}

QWidget* FindSkinControl(QWidget* window, const QString& name) {
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (child->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return child;
    }
    return nullptr;
}

void LoadFrameSkin(QWidget* window) {
    const std::pair<const char*, const char*> pieces[] = {{"imgtleft", "Top_Left.jpg"},
                                                          {"imgtright", "top_right.jpg"},
                                                          {"imgtCenter", "top_mid.jpg"},
                                                          {"imgLTop", "mid_left.jpg"},
                                                          {"imgLBottom", "bottom_left.jpg"},
                                                          {"imgRtop", "mid_right.jpg"},
                                                          {"imgRBottom", "bottom_right.jpg"},
                                                          {"imgBb", "bottom_mid.jpg"},
                                                          {"imgLogo", "Logo.png"}};
    for (const auto& [control, file] : pieces) {
        if (auto* image = qobject_cast<TSkinImage*>(FindSkinControl(window, control)))
            image->SetPicture(LoadSkinPicture(QLatin1String(file)));
    }
}

void LoadButtonSkin(QWidget* window) {
    for (const char* name : {"btnOK", "btnCancel"}) {
        if (auto* button = qobject_cast<TPictureButton*>(FindSkinControl(window, name)))
            button->SetPictures(LoadSkinPicture("btn_up.bmp"), LoadSkinPicture("btn_Hot.bmp"),
                                LoadSkinPicture("btn_down.bmp"));
    }
}

void LoadCaptionButtonSkin(QWidget* window) {
    if (auto* button = qobject_cast<TPictureButton*>(FindSkinControl(window, "btnmin")))
        button->SetPictures(LoadSkinPicture("min_up.bmp"), LoadSkinPicture("min_hot.bmp"));
    if (auto* button = qobject_cast<TPictureButton*>(FindSkinControl(window, "btnclose")))
        button->SetPictures(LoadSkinPicture("close_up.bmp"), LoadSkinPicture("close_hot.bmp"));
}

// --- TSkinImage ------------------------------------------------------------------------------

TSkinImage::TSkinImage(const QString& name, const QColor& fallback, QWidget* parent)
    : QWidget(parent), FFallback(fallback) {
    setObjectName(name);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TSkinImage::SetPicture(const QPixmap& picture) {
    FPicture = picture;
    update();
}

void TSkinImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (FPicture.isNull())
        painter.fillRect(rect(), FFallback);
    else
        painter.drawPixmap(rect(), FPicture);
}

void TSkinImage::mousePressEvent(QMouseEvent* event) {
    emit Pressed(event);
    QWidget::mousePressEvent(event);
}

void TSkinImage::DragWindow(QMouseEvent* press) {
    QWidget* frame = window();
    if (frame->windowHandle() != nullptr && frame->windowHandle()->startSystemMove())
        return;
    FDragOffset = press->globalPosition().toPoint() - frame->pos();
}

void TSkinImage::mouseMoveEvent(QMouseEvent* event) {
    if (FDragOffset && (event->buttons() & Qt::LeftButton))
        window()->move(event->globalPosition().toPoint() - *FDragOffset);
    QWidget::mouseMoveEvent(event);
}

void TSkinImage::mouseReleaseEvent(QMouseEvent* event) {
    FDragOffset.reset();
    QWidget::mouseReleaseEvent(event);
}

// --- TPictureButton ----------------------------------------------------------------------

TPictureButton::TPictureButton(const QString& name, const QString& caption, QWidget* parent)
    : QAbstractButton(parent) {
    setObjectName(name);
    setText(caption);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void TPictureButton::SetPictures(const QPixmap& up, const QPixmap& hot, const QPixmap& down) {
    FUp = up;
    FHot = hot.isNull() ? up : hot;
    FDown = down.isNull() ? FHot : down;
    updateGeometry();
    update();
}

QSize TPictureButton::sizeHint() const {
    if (!FUp.isNull())
        return FUp.deviceIndependentSize().toSize();
    const QFontMetrics metrics(font());
    return text().isEmpty() ? QSize(22, 20)
                            : QSize(std::max(84, metrics.horizontalAdvance(text()) + 28), 28);
}

void TPictureButton::enterEvent(QEnterEvent*) {
    FHovered = true;
    update();
}

void TPictureButton::leaveEvent(QEvent*) {
    FHovered = false;
    update();
}

void TPictureButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool down = isDown();
    if (!FUp.isNull()) {
        painter.drawPixmap(rect(), down ? FDown : FHovered ? FHot : FUp);
    } else if (!text().isEmpty()) {
        QColor fill = down       ? QColor(0x1a, 0x6f, 0xb8)
                      : FHovered ? QColor(0x2d, 0x96, 0xe8)
                                 : QColor(0x20, 0x8a, 0xde);
        if (!isEnabled())
            fill = QColor(0x3a, 0x3f, 0x48);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
        painter.fillPath(shape, fill);
    } else {
        // A caption button without pictures: a line for minimise, a cross for close.
        if (FHovered)
            painter.fillRect(rect(), objectName().compare("btnclose", Qt::CaseInsensitive) == 0
                                         ? QColor(0xd9, 0x3d, 0x3d)
                                         : QColor(0x3a, 0x40, 0x4c));
        painter.setPen(QPen(QColor(0xe6, 0xe9, 0xef), 1.5));
        const QPointF c = QRectF(rect()).center();
        if (objectName().compare("btnmin", Qt::CaseInsensitive) == 0) {
            painter.drawLine(QPointF(c.x() - 5, c.y() + 3), QPointF(c.x() + 5, c.y() + 3));
        } else {
            painter.drawLine(QPointF(c.x() - 4, c.y() - 4), QPointF(c.x() + 4, c.y() + 4));
            painter.drawLine(QPointF(c.x() - 4, c.y() + 4), QPointF(c.x() + 4, c.y() - 4));
        }
    }
    if (!text().isEmpty()) {
        painter.setPen(isEnabled() ? Qt::white : QColor(0x88, 0x8f, 0x9c));
        painter.drawText(rect(), Qt::AlignCenter, text());
        if (hasFocus()) { // where Space and Enter go
            painter.setPen(QPen(QColor(255, 255, 255, 150), 1, Qt::DotLine));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(QRectF(rect()).adjusted(3.5, 3.5, -3.5, -3.5), 3, 3);
        }
    }
}

void TPictureButton::focusInEvent(QFocusEvent* event) {
    QAbstractButton::focusInEvent(event);
    update();
}

void TPictureButton::focusOutEvent(QFocusEvent* event) {
    QAbstractButton::focusOutEvent(event);
    update();
}

void TPictureButton::keyPressEvent(QKeyEvent* event) {
    // Enter presses a focused button as Space does, as it does with the desktop's buttons.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (isEnabled())
            click();
        event->accept();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}
