#include "core/U_EditWatermark.h"

#include "core/MrvLog.h"
#include "core/WorkFolders.h"

#include <QFileInfo>
#include <QImage>
#include <QPainter>

QString SaveScaledWatermark(const QString& pictureFile, const QSize& size) {
    const QImage picture(pictureFile);
    if (picture.isNull() || size.isEmpty() || !EnsureScaledWatermarkFolder())
        return {};
    QString name = MakeTempFileName(ScaledWatermarkFolder(), QStringLiteral("png"));
    name.remove(QLatin1Char('[')).remove(QLatin1Char(']'));
    QImage scaled(size, QImage::Format_ARGB32);
    scaled.fill(Qt::transparent);
    {
        QPainter painter(&scaled);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRect(QPoint(0, 0), size), picture); // stretched: the aspect is not kept
    }
    if (!scaled.save(name, "PNG") || !QFileInfo::exists(name))
        return {};
    ActivityLog().WriteInfo(QStringLiteral("SaveWaterMark"));
    return name;
}
