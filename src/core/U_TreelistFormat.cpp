#include "core/U_TreelistFormat.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>

QString FormatSeconds(int64_t seconds) {
    if (seconds < 0)
        seconds = 0;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds % 3600 / 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

namespace {

bool IsDigits(QStringView text) {
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

} // namespace

std::optional<int64_t> ParseTime(const QString& text) {
    const QStringList fields = text.trimmed().split(QLatin1Char(':'));
    if (fields.size() > 3)
        return std::nullopt;
    // The seconds may have a fraction; hours and minutes are whole.
    const QString& secondsField = fields.last();
    const qsizetype dot = secondsField.indexOf(QLatin1Char('.'));
    if (!IsDigits(QStringView(secondsField).left(dot < 0 ? secondsField.size() : dot)) ||
        (dot >= 0 && !IsDigits(QStringView(secondsField).mid(dot + 1))))
        return std::nullopt;
    double seconds = secondsField.toDouble();
    for (qsizetype i = 0; i + 1 < fields.size(); ++i) {
        if (!IsDigits(fields[i]))
            return std::nullopt;
        seconds += fields[i].toDouble() * (fields.size() - 1 - i == 2 ? 3600 : 60);
    }
    if (seconds * 1e6 >= 9.2e18) // beyond what microseconds in 64 bits hold
        return std::nullopt;
    return static_cast<int64_t>(seconds * 1e6 + 0.5);
}

int64_t ParseSeconds(const QString& text, bool* ok) {
    const std::optional<int64_t> time =
        text.count(QLatin1Char(':')) == 2 && !text.contains(QLatin1Char('.')) ? ParseTime(text)
                                                                              : std::nullopt;
    if (ok != nullptr)
        *ok = time.has_value();
    return time ? *time / 1000000 : 0;
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
