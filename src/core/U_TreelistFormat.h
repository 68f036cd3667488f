#pragma once

// Formatting helpers the whole application shares.

#include <QFontMetrics>
#include <QString>

#include <cstdint>

// Whole seconds as "hh:mm:ss"; hours keep counting past 23 ("25:00:00", "100:00:00").
QString FormatSeconds(int64_t seconds);
// "h:m:s" as seconds; false in `ok` (and 0) for anything else.
int64_t ParseSeconds(const QString& text, bool* ok = nullptr);
// Bytes as "1,024.00 B", "1.00 K", "2.50 M" or "1.00 G" with the locale's separators; the
// comparisons are strict, so exactly 1024 bytes stays in bytes.
QString FormatFileSize(int64_t bytes);
// The text cut to what fits `width` pixels, counted in letters "a" of the font: a longer text
// keeps that many characters minus 3 and gets "...".
QString FitLabelText(const QFontMetrics& metrics, int width, const QString& text);
