#pragma once

// Where the application writes its own files and finds its resources ("Format.dat", "URL.cfg",
// "skin/"): a user's own copy in the data folder wins over the one shipped with the program.
// REELCASTER_HOME, when set, names the data folder (tests and scripts use it so that nothing
// touches a real user's files). Every folder returned ends with '/'.

#include <QString>
#include <QStringList>

// The GUID that names the single-instance lock and the working folder in the temporary folder.
inline constexpr char kAppGuid[] = "{B7AE1E92-DF16-425A-A984-453ECE6A6338}";

// The folder of the running executable.
QString ExecutableFolder();

// The resources shipped with the program: the executable's folder when it holds "Format.dat"
// (the build tree, a portable copy), else the install's data folder.
QString ShippedResourceFolder();

// The folders a resource is looked for in, the user's first: the data folder, then the shipped
// resources (one folder when they are the same).
QStringList ResourceFolders();

// The resource `name` ("Format.dat", "URL.cfg") from the first of ResourceFolders() that has
// it; the shipped one's path when none has.
QString ResourcePath(const QString& name);

// "Reelcaster.ini", "Log/", "Output/", "Snapshot/": the executable's folder when it is a
// writable portable copy (it holds "Format.dat"), else the per-user data folder. Created when
// missing.
QString DataFolder();

// A folder on an optical disc: an ISO 9660 or UDF file system, or a CD/DVD drive's device.
bool IsOnOpticalDisc(const QString& folder);

// Appends '/' unless the path already ends with one.
QString WithTrailingSlash(const QString& path);
