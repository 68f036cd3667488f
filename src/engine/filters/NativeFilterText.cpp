#include "engine/filters/NativeFilterText.h"

namespace {

// Where the filter library's graph syntax ends a piece, skipping quoted text ('…'), escaped
// characters (\x) and labels ([…]): the index of the first of `stops` at top level, or the end.
qsizetype TopLevelIndexOf(const QString& text, qsizetype from, QStringView stops) {
    for (qsizetype i = from; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\\')) {
            ++i;
        } else if (c == QLatin1Char('\'')) {
            const qsizetype close = text.indexOf(QLatin1Char('\''), i + 1);
            if (close < 0)
                return text.size();
            i = close;
        } else if (stops.contains(c)) {
            return i;
        } else if (c == QLatin1Char('[')) {
            const qsizetype close = text.indexOf(QLatin1Char(']'), i + 1);
            if (close < 0)
                return text.size();
            i = close;
        }
    }
    return text.size();
}

// A filter's arguments as the library hands them to the filter: quotes and escapes removed,
// blanks around them dropped (blanks inside quotes kept).
QString Unquoted(const QString& arguments) {
    QString result;
    qsizetype keptEnd = 0; // result's length up to the last quoted or escaped character
    bool quoted = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QChar c = arguments[i];
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            keptEnd = result.size();
        } else if (!quoted && c == QLatin1Char('\\') && i + 1 < arguments.size()) {
            result += arguments[++i];
            keptEnd = result.size();
        } else if (quoted || !c.isSpace() || !result.isEmpty()) {
            result += c;
            if (quoted)
                keptEnd = result.size();
        }
    }
    qsizetype end = result.size();
    while (end > keptEnd && result[end - 1].isSpace())
        --end;
    return result.left(end);
}

struct TFilterPiece {
    QString Leading;   // blanks and input labels
    QString Name;      // without an "@instance" suffix
    QString Arguments; // as written, after '='
    QString Trailing;  // output labels and blanks
};

TFilterPiece ReadPiece(const QString& piece) {
    TFilterPiece read;
    qsizetype at = 0;
    for (;;) {
        while (at < piece.size() && piece[at].isSpace())
            ++at;
        if (at >= piece.size() || piece[at] != QLatin1Char('['))
            break;
        const qsizetype close = piece.indexOf(QLatin1Char(']'), at);
        at = close < 0 ? piece.size() : close + 1;
    }
    read.Leading = piece.left(at);
    const qsizetype nameEnd = TopLevelIndexOf(piece, at, u"=[");
    const QString name = piece.mid(at, nameEnd - at).trimmed();
    read.Name = name.left(name.indexOf(QLatin1Char('@')) < 0 ? name.size()
                                                             : name.indexOf(QLatin1Char('@')));
    qsizetype trailing = nameEnd;
    if (nameEnd < piece.size() && piece[nameEnd] == QLatin1Char('=')) {
        trailing = TopLevelIndexOf(piece, nameEnd + 1, u"[");
        read.Arguments = piece.mid(nameEnd + 1, trailing - nameEnd - 1);
    }
    read.Trailing = piece.mid(trailing);
    return read;
}

} // namespace

QString NativeFilterInLabel(size_t use) {
    return QStringLiteral("rc_native_%1_in").arg(use);
}

QString NativeFilterOutLabel(size_t use) {
    return QStringLiteral("rc_native_%1_out").arg(use);
}

TSplicedGraphText SpliceNativeFilters(const QString& text) {
    TSplicedGraphText spliced;
    if (!NativeFiltersRegistered()) {
        spliced.Text = text;
        return spliced;
    }
    // A leading "sws_flags=…;" is the scaler's, not a filter.
    qsizetype at = 0;
    if (text.trimmed().startsWith(QLatin1String("sws_flags="))) {
        const qsizetype semicolon = text.indexOf(QLatin1Char(';'));
        at = semicolon < 0 ? text.size() : semicolon + 1;
        spliced.Text = text.left(at);
    }
    while (at < text.size()) {
        const qsizetype end = TopLevelIndexOf(text, at, u",;");
        const QString piece = text.mid(at, end - at);
        TNativeFilterKind kind{};
        if (const TFilterPiece read = ReadPiece(piece); NativeFilterKindOf(read.Name, &kind)) {
            const size_t use = spliced.Uses.size();
            spliced.Uses.push_back({kind, Unquoted(read.Arguments)});
            spliced.Text += QStringLiteral("%1null[%2];[%3]null%4")
                                .arg(read.Leading, NativeFilterInLabel(use),
                                     NativeFilterOutLabel(use), read.Trailing);
        } else {
            spliced.Text += piece;
        }
        if (end < text.size())
            spliced.Text += text[end];
        at = end + 1;
    }
    return spliced;
}
