#include "shell/WorkFolders.h"

#include "shell/AppFolders.h"
#include "shell/AppSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

QString QueryTempPath() {
    return WithTrailingSlash(QDir::tempPath());
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
