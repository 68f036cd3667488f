#pragma once

// Where the application finds its read-only resources and writes its own files.
// REELCASTER_HOME, when set, names one folder used for both (tests and scripts use it so that
// nothing touches a real user's files). Every folder returned ends with '/'.

#include <QString>

// The GUID that names the single-instance lock and the working folder in the temporary folder.
inline constexpr char kAppGuid[] = "{B7AE1E92-DF16-425A-A984-453ECE6A6338}";

// The folder of the running executable.
QString ExecutableFolder();

// "Format.dat", "URL.cfg" and "skin/": the executable's folder when it holds "Format.dat"
// (the build tree, a portable copy), else the installed data folder.
QString ResourceFolder();

// "Reelcaster.ini", "Log/", "Output/", "Snapshot/": the executable's folder when it is a
// writable portable copy (it holds "Format.dat"), else the per-user data folder. Created when
// missing.
QString DataFolder();

// Appends '/' unless the path already ends with one.
QString WithTrailingSlash(const QString& path);
