#pragma once

// The application's working area inside the user's temporary folder, where watermark
// pictures scaled for the current run are kept until exit.

#include <QString>

// The user's private temporary folder ("reelcaster-<uid>" in the system's temporary folder,
// created mode 0700 and refused when another user owns it or can enter it), with '/'.
QString QueryTempPath();

// AppSettings().TempPath + the application GUID + '/'.
QString WorkFolder();

// WorkFolder() + "5EE42FCD6CBC44CB27DE/".
QString ScaledWatermarkFolder();

// Creates the scaled-watermark folder (and the working folder) when missing, readable by the
// user only. False when it cannot be created.
bool EnsureScaledWatermarkFolder();

// Deletes the scaled-watermark files and then the folder; failures are ignored and a folder
// that is not empty stays.
void RemoveScaledWatermarkFolder();

// folder + "~Tmp" + upper-case hexadecimal + "." + extension, for a name that does not exist.
QString MakeTempFileName(const QString& folder, const QString& extension);
