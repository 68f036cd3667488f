#pragma once

// A plain profile file: "[Section]" lines and "key=value" lines. Sections and keys match
// without regard to letter case. Nothing is cached: every read parses the file, every write
// rewrites it at once, keeping all other lines as they are.

#include <QString>

class TIniFile {
public:
    explicit TIniFile(const QString& fileName) : FFileName(fileName) {}

    const QString& FileName() const { return FFileName; }

    // The value, or `defaultValue` when the file, the section or the key is missing.
    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue = QString()) const;

    // False when the file cannot be written, or when the key or the value holds a line break
    // (it would add lines of its own: a section or another key); the file is then unchanged.
    bool WriteString(const QString& section, const QString& key, const QString& value);

private:
    QString FFileName;
};
