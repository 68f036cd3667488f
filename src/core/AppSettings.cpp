#include "core/AppSettings.h"

#include "core/AppFolders.h"
#include "core/IniFile.h"

#include <QFileInfo>
#include <QStringList>

#include <optional>

namespace {

struct SettingsModule {
    TAppSettings Settings;
    std::optional<TIniFile> File;
};

SettingsModule& Module() {
    static SettingsModule module;
    return module;
}

QString KeyName(TSettingKey key) {
    switch (key) {
    case TSettingKey::SnapshotPath: return QStringLiteral("SnapshotPath");
    case TSettingKey::OutputPath: return QStringLiteral("OutputPath");
    case TSettingKey::SnapshotExt: return QStringLiteral("SnapshotExt");
    case TSettingKey::SourcePath: return QStringLiteral("SourcePath");
    case TSettingKey::SourceImgPath: return QStringLiteral("SourceImgPath");
    }
    return {};
}

QString& Field(TAppSettings& settings, TSettingKey key) {
    switch (key) {
    case TSettingKey::SnapshotPath: return settings.SnapshotPath;
    case TSettingKey::OutputPath: return settings.OutputPath;
    case TSettingKey::SnapshotExt: return settings.SnapshotExt;
    case TSettingKey::SourcePath: return settings.SourcePath;
    case TSettingKey::SourceImgPath: break;
    }
    return settings.SourceImgPath;
}

} // namespace

const TAppSettings& AppSettings() {
    return Module().Settings;
}

void LoadSettings(const QString& dataFolder) {
    SettingsModule& module = Module();
    const QString folder = WithTrailingSlash(dataFolder);
    module.File.emplace(folder + QLatin1String(kSettingsFileName));
    module.Settings = TAppSettings{};

    const QString section = QLatin1String(kSettingsSection);
    struct Repair {
        TSettingKey Key;
        QString Default; // kept in memory only; the file keeps the empty value
    };
    const Repair repairs[] = {
        {TSettingKey::SnapshotPath, folder + QStringLiteral("Snapshot/")},
        {TSettingKey::OutputPath, folder + QStringLiteral("Output/")},
        {TSettingKey::SnapshotExt, QStringLiteral("bmp")},
        {TSettingKey::SourcePath, QString()},
        {TSettingKey::SourceImgPath, QString()},
    };
    for (const Repair& repair : repairs) {
        QString value = module.File->ReadString(section, KeyName(repair.Key));
        if (value.isEmpty()) {
            module.File->WriteString(section, KeyName(repair.Key), QString());
            value = repair.Default;
        }
        Field(module.Settings, repair.Key) = value;
    }
    // A hand-edited file may drop the trailing separator that every user of these relies on.
    module.Settings.SnapshotPath = WithTrailingSlash(module.Settings.SnapshotPath);
    module.Settings.OutputPath = WithTrailingSlash(module.Settings.OutputPath);
}

void ReleaseSettings() {
    SettingsModule& module = Module();
    module.File.reset();
    module.Settings = TAppSettings{};
}

bool StoreSetting(TSettingKey key, const QString& value) {
    SettingsModule& module = Module();
    Field(module.Settings, key) = value;
    if (!module.File)
        return false;
    return module.File->WriteString(QLatin1String(kSettingsSection), KeyName(key), value);
}

TWindowPlace StoredWindowPlace(const QString& window) {
    const SettingsModule& module = Module();
    if (!module.File)
        return {};
    const QString section = QLatin1String(kWindowSection);
    const QStringList parts = module.File->ReadString(section, window + QStringLiteral("Geometry"))
                                  .split(QLatin1Char(','));
    TWindowPlace place;
    if (parts.size() == 4) {
        int values[4] = {};
        bool ok = true;
        for (int i = 0; ok && i < 4; ++i)
            values[i] = parts[i].trimmed().toInt(&ok);
        if (ok && values[2] > 0 && values[3] > 0)
            place.Geometry = QRect(values[0], values[1], values[2], values[3]);
    }
    place.Maximized = module.File->ReadString(section, window + QStringLiteral("Maximized")) ==
                      QLatin1String("1");
    return place;
}

bool StoreWindowPlace(const QString& window, const TWindowPlace& place) {
    SettingsModule& module = Module();
    if (!module.File)
        return false;
    const QString section = QLatin1String(kWindowSection);
    const QRect& g = place.Geometry;
    return module.File->WriteString(section, window + QStringLiteral("Geometry"),
                                    QStringLiteral("%1,%2,%3,%4")
                                        .arg(g.x())
                                        .arg(g.y())
                                        .arg(g.width())
                                        .arg(g.height())) &&
           module.File->WriteString(section, window + QStringLiteral("Maximized"),
                                    place.Maximized ? QStringLiteral("1") : QStringLiteral("0"));
}

void SetTempPath(const QString& tempPath) {
    Module().Settings.TempPath = WithTrailingSlash(tempPath);
}

TWebAddresses ReadWebAddresses(const QString& fileName) {
    if (!QFileInfo::exists(fileName))
        return {};
    const TIniFile file(fileName);
    const QString maker = QLatin1String(kMakerWebPage);
    return {file.ReadString(QStringLiteral("URL"), QStringLiteral("HomePage"), maker),
            file.ReadString(QStringLiteral("URL"), QStringLiteral("HelpPage"), maker)};
}
