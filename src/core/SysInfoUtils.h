#pragma once

// Facts about the machine for the start of the activity log.

#include <QSize>
#include <QString>

class TMrvLog;

// The distribution's pretty name and the kernel version.
QString OperatingSystemText();
qint64 PhysicalMemoryMB();
// English names of the default language and country, at most 19 characters each.
QString DefaultLanguageName();
QString DefaultCountryName();
// The primary screen's size in pixels; 0 × 0 without a screen.
QSize PrimaryScreenSize();
// "%d.%d.%d.%d" of the program's version.
QString ProgramVersionText();

// The system information block: framed by the 69-character "=" line, then an empty entry.
void WriteSystemInformation(TMrvLog& log);
