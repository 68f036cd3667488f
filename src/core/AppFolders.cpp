#include "core/AppFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>

namespace {

QString HomeOverride() {
    return qEnvironmentVariable("REELCASTER_HOME");
}

} // namespace

QString WithTrailingSlash(const QString& path) {
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

QString ExecutableFolder() {
    const QString executable = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    return WithTrailingSlash(QFileInfo(executable).absolutePath());
}

QString ShippedResourceFolder() {
    const QString portable = ExecutableFolder();
    if (QFileInfo::exists(portable + QStringLiteral("Format.dat")))
        return portable;
    return WithTrailingSlash(QDir::cleanPath(portable + QStringLiteral("../share/reelcaster")));
}

QString DataFolder() {
    QString folder = HomeOverride();
    if (folder.isEmpty()) {
        // A portable copy (it carries its own resources) keeps its files beside it; an
        // installed one never writes into the programs' folder, even when run by root.
        folder = ExecutableFolder();
        if (!QFileInfo::exists(folder + QStringLiteral("Format.dat")) ||
            !QFileInfo(folder).isWritable()) {
            folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                     QStringLiteral("/Reelcaster");
        }
    }
    folder = WithTrailingSlash(QDir(folder).absolutePath());
    QDir().mkpath(folder);
    return folder;
}

QStringList ResourceFolders() {
    QStringList folders{DataFolder()};
    const QString shipped = ShippedResourceFolder();
    if (!folders.contains(shipped))
        folders << shipped;
    return folders;
}

QString ResourcePath(const QString& name) {
    for (const QString& folder : ResourceFolders()) {
        if (QFileInfo::exists(folder + name))
            return folder + name;
    }
    return ShippedResourceFolder() + name;
}

bool IsOnOpticalDisc(const QString& folder) {
    const QStorageInfo storage(folder);
    if (!storage.isValid())
        return false;
    const QByteArray type = storage.fileSystemType().toLower();
    return type == "iso9660" || type == "udf" || storage.device().startsWith("/dev/sr");
}
