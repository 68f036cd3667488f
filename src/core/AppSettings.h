#pragma once

// The in-memory settings every window reads, backed by "Reelcaster.ini" (section "Output")
// in the data folder. A field changes only together with its write to the file.

#include <QRect>
#include <QString>

struct TAppSettings {
    QString SnapshotPath;  // ends with '/'; default: data folder + "Snapshot/"
    QString OutputPath;    // ends with '/'; default: data folder + "Output/"
    QString SnapshotExt;   // without dot; default "bmp"
    QString SourcePath;    // folder of the last added source files
    QString SourceImgPath; // folder of the last chosen watermark picture
    QString TempPath;      // the user's temporary folder, set when the main window is created
};

enum class TSettingKey { SnapshotPath, OutputPath, SnapshotExt, SourcePath, SourceImgPath };

inline constexpr char kSettingsFileName[] = "Reelcaster.ini";
inline constexpr char kSettingsSection[] = "Output";

// The process-wide settings; empty outside LoadSettings … ReleaseSettings.
const TAppSettings& AppSettings();

// Reads "Reelcaster.ini" in `dataFolder`, writes every missing or empty key back empty and
// puts the defaults in memory. A file that cannot be written does not stop anything.
void LoadSettings(const QString& dataFolder);

// Forgets the settings file and clears the settings.
void ReleaseSettings();

// Sets one setting and writes it to the file at once. False when the file could not be
// written (the in-memory value is set all the same, so the session goes on with it).
bool StoreSetting(TSettingKey key, const QString& value);

// Where a window was when it last closed, remembered under "[Window]" ("<name>Geometry" as
// "x,y,width,height" of its normal size and place, "<name>Maximized" as 0 or 1); an empty
// Geometry when there is nothing usable.
inline constexpr char kWindowSection[] = "Window";
struct TWindowPlace {
    QRect Geometry;
    bool Maximized = false;
};
TWindowPlace StoredWindowPlace(const QString& window);
bool StoreWindowPlace(const QString& window, const TWindowPlace& place);

// Records the user's temporary folder (with '/').
void SetTempPath(const QString& tempPath);

// The addresses of a "URL.cfg" file (section "URL"). A missing key gives the maker's web page;
// a missing file gives empty addresses.
struct TWebAddresses {
    QString HomePage;
    QString HelpPage;
};
TWebAddresses ReadWebAddresses(const QString& fileName);
inline constexpr char kMakerWebPage[] = "https://www.morvane.com/reelcaster/";
