#include "core/IniFile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>

#include <optional>

namespace {

QStringList ReadLines(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The section name of a "[name]" line.
std::optional<QString> SectionName(const QString& line) {
    const QString trimmed = line.trimmed();
    if (trimmed.size() >= 2 && trimmed.startsWith(QLatin1Char('[')) &&
        trimmed.endsWith(QLatin1Char(']')))
        return trimmed.mid(1, trimmed.size() - 2).trimmed();
    return std::nullopt;
}

bool IsKeyLine(const QString& line, const QString& key, QString* value = nullptr) {
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals < 0 || line.trimmed().startsWith(QLatin1Char(';')))
        return false;
    if (line.left(equals).trimmed().compare(key, Qt::CaseInsensitive) != 0)
        return false;
    if (value != nullptr)
        *value = line.mid(equals + 1).trimmed();
    return true;
}

bool SameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

QString TIniFile::ReadString(const QString& section, const QString& key,
                             const QString& defaultValue) const {
    bool inSection = false;
    for (const QString& line : ReadLines(FFileName)) {
        if (const auto name = SectionName(line)) {
            inSection = SameName(*name, section);
            continue;
        }
        QString value;
        if (inSection && IsKeyLine(line, key, &value))
            return value;
    }
    return defaultValue;
}

bool TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    const auto breaksLine = [](const QString& text) {
        return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
    };
    if (breaksLine(section) || breaksLine(key) || breaksLine(value))
        return false;
    QStringList lines = ReadLines(FFileName);
    const QString entry = key + QLatin1Char('=') + value;

    qsizetype insertAt = -1; // after the last line of the section, when it exists
    bool inSection = false;
    bool written = false;
    for (qsizetype i = 0; i < lines.size() && !written; ++i) {
        if (const auto name = SectionName(lines[i])) {
            inSection = SameName(*name, section);
            if (inSection)
                insertAt = i + 1;
            continue;
        }
        if (!inSection)
            continue;
        if (IsKeyLine(lines[i], key)) {
            lines[i] = entry;
            written = true;
        } else if (!lines[i].trimmed().isEmpty()) {
            insertAt = i + 1;
        }
    }
    if (!written) {
        if (insertAt < 0) {
            lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
            insertAt = lines.size();
        }
        lines.insert(insertAt, entry);
    }

    QSaveFile file(FFileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    return file.commit();
}
