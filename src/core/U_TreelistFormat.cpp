#include "core/U_TreelistFormat.h"

#include <QLocale>
#include <QStringList>

QString FormatSeconds(int64_t seconds) {
    if (seconds < 0)
        seconds = 0;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds % 3600 / 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

int64_t ParseSeconds(const QString& text, bool* ok) {
    const QStringList parts = text.trimmed().split(QLatin1Char(':'));
    bool valid = parts.size() == 3;
    int64_t total = 0;
    for (int i = 0; valid && i < 3; ++i) {
        bool number = false;
        const qlonglong value = parts[i].trimmed().toLongLong(&number);
        valid = number && value >= 0;
        total = total * 60 + value;
    }
    if (ok != nullptr)
        *ok = valid;
    return valid ? total : 0;
}

QString FormatFileSize(int64_t bytes) {
    const double n = static_cast<double>(bytes);
    const QLocale locale;
    const double giga = 1024.0 * 1024.0 * 1024.0;
    const double mega = 1024.0 * 1024.0;
    if (n / giga > 1)
        return locale.toString(n / giga, 'f', 2) + QStringLiteral(" G");
    if (n / mega > 1)
        return locale.toString(n / mega, 'f', 2) + QStringLiteral(" M");
    if (n / 1024.0 > 1)
        return locale.toString(n / 1024.0, 'f', 2) + QStringLiteral(" K");
    return locale.toString(n, 'f', 2) + QStringLiteral(" B");
}

QString FitLabelText(const QFontMetrics& metrics, int width, const QString& text) {
    const int letter = std::max(1, metrics.horizontalAdvance(QLatin1Char('a')));
    const int fits = width / letter;
    if (text.size() <= fits)
        return text;
    return text.left(std::max(0, fits - 3)) + QStringLiteral("...");
}
