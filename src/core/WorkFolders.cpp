#include "core/WorkFolders.h"

#include "core/AppFolders.h"
#include "core/AppSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A folder only this user owns and can enter, not reached through a link.
bool IsPrivateFolder(const QByteArray& path) {
    struct stat info {};
    return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && (info.st_mode & 0077) == 0;
}

} // namespace

QString QueryTempPath() {
    // The system's temporary folder is shared by every user: each gets a private folder in it,
    // so that nobody else can plant, read or remove what a run keeps there.
    const QString base = WithTrailingSlash(QDir::tempPath());
    const QByteArray named =
        QFile::encodeName(base + QStringLiteral("reelcaster-%1").arg(::getuid()));
    ::mkdir(named.constData(), 0700);
    if (IsPrivateFolder(named))
        return WithTrailingSlash(QFile::decodeName(named));
    // Somebody else holds that name: a fresh folder of our own instead.
    QByteArray unique = named + "-XXXXXX";
    if (::mkdtemp(unique.data()) != nullptr)
        return WithTrailingSlash(QFile::decodeName(unique));
    return base;
}

QString WorkFolder() {
    return WithTrailingSlash(AppSettings().TempPath) + QLatin1String(kAppGuid) + QLatin1Char('/');
}

QString ScaledWatermarkFolder() {
    return WorkFolder() + QStringLiteral("5EE42FCD6CBC44CB27DE/");
}

bool EnsureScaledWatermarkFolder() {
    const QFileDevice::Permissions ownerOnly =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    for (const QString& folder : {WorkFolder(), ScaledWatermarkFolder()}) {
        if (QFileInfo(folder).isDir())
            continue;
        if (!QDir().mkdir(folder, ownerOnly))
            return false;
    }
    return true;
}

void RemoveScaledWatermarkFolder() {
    QDir folder(ScaledWatermarkFolder());
    if (!folder.exists())
        return;
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System))
        folder.remove(name);
    QDir().rmdir(folder.absolutePath());
}

QString MakeTempFileName(const QString& folder, const QString& extension) {
    const QString base = WithTrailingSlash(folder) + QStringLiteral("~Tmp");
    const auto salt = static_cast<quint8>(QRandomGenerator::global()->bounded(256));
    for (quint64 counter = 0;; ++counter) {
        const QByteArray seed = "P" + QByteArray::number(counter);
        QString hex = QStringLiteral("%1").arg(salt, 2, 16, QLatin1Char('0'));
        for (char byte : seed)
            hex +=
                QStringLiteral("%1").arg(static_cast<quint8>(byte ^ salt), 2, 16, QLatin1Char('0'));
        const QString name = base + hex.toUpper() + QLatin1Char('.') + extension;
        if (!QFileInfo::exists(name))
            return name;
    }
}
