#include "shell/U_MainIcons.h"

#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace {

// The pictures' own foreground colour: a picture in another colour has it replaced.
constexpr char kForeground[] = "#e6e9ef";

const char* FileOf(TMainIcon kind) {
    switch (kind) {
    case TMainIcon::Logo: return "logo";
    case TMainIcon::Add: return "add";
    case TMainIcon::Formats: return "formats";
    case TMainIcon::Options: return "options";
    case TMainIcon::Help: return "help";
    case TMainIcon::Edit: return "edit";
    case TMainIcon::Clip:
    case TMainIcon::RowClip: return "clip";
    case TMainIcon::Merge:
    case TMainIcon::RowMerge: return "merge";
    case TMainIcon::Start: return "start";
    case TMainIcon::Play: return "play";
    case TMainIcon::Pause: return "pause";
    case TMainIcon::Stop: return "stop";
    case TMainIcon::Snapshot: return "snapshot";
    case TMainIcon::OpenFolder: return "open-folder";
    case TMainIcon::RowFile: return "row-file";
    case TMainIcon::Minimize: return "minimize";
    case TMainIcon::Maximize: return "maximize";
    case TMainIcon::Restore: return "restore";
    case TMainIcon::Close: return "close";
    }
    return "logo";
}

QByteArray Picture(TMainIcon kind, const QColor& color) {
    QFile file(QStringLiteral(":/icons/main/%1.svg").arg(QLatin1String(FileOf(kind))));
    QByteArray svg = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    return svg.replace(kForeground, color.name().toLatin1());
}

QPixmap Render(const QByteArray& svg, int size, double ratio) {
    QPixmap pixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(svg);
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(0, 0, size, size));
    return pixmap;
}

} // namespace

QIcon MainIcon(TMainIcon kind, int size, const QColor& color) {
    QIcon icon;
    const QByteArray normal = Picture(kind, color);
    const QByteArray dimmed = Picture(kind, QColor(0x6c, 0x73, 0x80));
    for (const double ratio : {1.0, 2.0}) {
        icon.addPixmap(Render(normal, size, ratio), QIcon::Normal);
        icon.addPixmap(Render(dimmed, size, ratio), QIcon::Disabled);
    }
    return icon;
}
