#pragma once

// Formatting helpers the whole application shares.

#include <QFontMetrics>
#include <QString>

#include <cstdint>
#include <optional>

// Whole seconds as "hh:mm:ss"; hours keep counting past 23 ("25:00:00", "100:00:00").
QString FormatSeconds(int64_t seconds);
// "h:m:s" in whole numbers as seconds; false in `ok` (and 0) for anything else.
int64_t ParseSeconds(const QString& text, bool* ok = nullptr);
// "90", "1:30" or "00:01:30", the seconds with a fraction if need be, as µs; nothing for
// anything else. The one reader of typed times: ParseSeconds is its whole-seconds form.
std::optional<int64_t> ParseTime(const QString& text);
// Bytes as "1,024.00 B", "1.00 K", "2.50 M" or "1.00 G" with the locale's separators; the
// comparisons are strict, so exactly 1024 bytes stays in bytes.
QString FormatFileSize(int64_t bytes);
// The text cut to what fits `width` pixels, counted in letters "a" of the font: a longer text
// keeps that many characters minus 3 and gets "...".
QString FitLabelText(const QFontMetrics& metrics, int width, const QString& text);
