#include "engine/transcoder/FFmpegParsers.h"

#include "engine/FFmpegException.h"

#include <cstdlib>

extern "C" {
#include <libavcodec/bsf.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
}

namespace options {

namespace {

// strtol-style reading as the C library does it: decimal, "0x" hexadecimal or leading-zero
// octal; advances `cursor` past the number.
int CInteger(const char*& cursor) {
    char* end = nullptr;
    const long value = std::strtol(cursor, &end, 0);
    cursor = end;
    return static_cast<int>(value);
}

// Skips one separator character when the text goes on.
void SkipSeparator(const char*& cursor) {
    if (*cursor != '\0')
        ++cursor;
}

[[noreturn]] void Fail(const QString& text) {
    throw FFmpegException(text);
}

TMetadataSpecifier Specifier(const char*& cursor) {
    TMetadataSpecifier specifier;
    specifier.File = CInteger(cursor);
    if (*cursor == ',') {
        const char type = cursor[1];
        cursor += type != '\0' ? 2 : 1;
        switch (type) {
        case 'g': specifier.Type = 'g'; break;
        case 's':
        case 'c':
        case 'p':
            specifier.Type = type;
            specifier.Index = CInteger(cursor);
            break;
        default: Fail(QStringLiteral("Invalid metadata type %1.").arg(QLatin1Char(type)));
        }
    }
    return specifier;
}

} // namespace

bool Flag(const QString& value) {
    return value != QLatin1String("0");
}

int64_t Integer64(const QString& value) {
    const QString text = value.trimmed();
    bool ok = false;
    qlonglong number = text.toLongLong(&ok, 10);
    if (!ok && text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        number = text.mid(2).toLongLong(&ok, 16);
    if (!ok)
        Fail(QStringLiteral("'%1' is not a valid integer value").arg(value));
    return number;
}

int Integer(const QString& value) {
    const int64_t number = Integer64(value);
    if (number < INT_MIN || number > INT_MAX)
        Fail(QStringLiteral("'%1' is not a valid integer value").arg(value));
    return static_cast<int>(number);
}

double Real(const QString& value) {
    bool ok = false;
    const double number = value.trimmed().toDouble(&ok);
    if (!ok)
        Fail(QStringLiteral("'%1' is not a valid floating point value").arg(value));
    return number;
}

int64_t Duration(const QString& option, const QString& value) {
    int64_t time = 0;
    if (av_parse_time(&time, value.toUtf8().constData(), 1) < 0)
        Fail(QStringLiteral("Invalid duration specification for %1: %2").arg(option, value));
    return time;
}

int64_t Date(const QString& option, const QString& value) {
    int64_t time = 0;
    if (av_parse_time(&time, value.toUtf8().constData(), 0) < 0)
        Fail(QStringLiteral("Invalid date specification for %1: %2").arg(option, value));
    return time;
}

TStreamMap StreamMap(const QString& value) {
    const QByteArray text = value.toUtf8();
    const char* cursor = text.constData();
    TStreamMap map;
    map.File = CInteger(cursor);
    SkipSeparator(cursor);
    map.Stream = CInteger(cursor);
    if (*cursor != '\0') {
        SkipSeparator(cursor);
        map.SyncFile = CInteger(cursor);
        SkipSeparator(cursor);
        map.SyncStream = CInteger(cursor);
    } else {
        map.SyncFile = map.File;
        map.SyncStream = map.Stream;
    }
    return map;
}

TMetadataMap MetadataMap(const QString& value) {
    const QByteArray text = value.toUtf8();
    const char* cursor = text.constData();
    TMetadataMap map;
    map.Output = Specifier(cursor);
    SkipSeparator(cursor);
    map.Input = Specifier(cursor);
    return map;
}

TChapterMap ChapterMap(const QString& value) {
    const QByteArray text = value.toUtf8();
    const char* cursor = text.constData();
    TChapterMap map;
    map.OutputFile = CInteger(cursor);
    SkipSeparator(cursor);
    map.InputFile = CInteger(cursor);
    return map;
}

QPair<int, double> TimestampScale(const QString& value) {
    const QByteArray text = value.toUtf8();
    const char* cursor = text.constData();
    const int index = CInteger(cursor);
    SkipSeparator(cursor);
    const double scale = std::strtod(cursor, nullptr);
    if (index < 0 || index >= 1024)
        Fail(QStringLiteral("stream index over MAX_STREAMS(%1)").arg(1024));
    return {index, scale};
}

QPair<QString, QString> MetadataEntry(const QString& value) {
    const qsizetype equals = value.indexOf(QLatin1Char('='));
    if (equals < 0)
        Fail(QStringLiteral("Missing ="));
    if (equals == 0)
        Fail(QStringLiteral("wrong parameter of metadata"));
    return {value.left(equals), value.mid(equals + 1)};
}

uint32_t CodecTag(const QString& value) {
    const QByteArray text = value.toUtf8();
    char* end = nullptr;
    const unsigned long number = std::strtoul(text.constData(), &end, 0);
    if (!text.isEmpty() && *end == '\0')
        return static_cast<uint32_t>(number);
    if (text.size() != 4)
        Fail(QStringLiteral("tag parameter must be 4 chars or int value"));
    return uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8 |
           uint32_t(uint8_t(text[2])) << 16 | uint32_t(uint8_t(text[3])) << 24;
}

TMatrix Matrix(const QString& value) {
    TMatrix matrix{};
    const QStringList parts = value.split(QLatin1Char(','));
    for (int i = 0; i < 64; ++i) {
        bool ok = false;
        const int coefficient = i < parts.size() ? parts[i].trimmed().toInt(&ok) : 0;
        if (!ok)
            Fail(QStringLiteral("Syntax error in matrix \"%1\" at coeff %2").arg(value).arg(i));
        matrix[i] = static_cast<uint16_t>(coefficient);
    }
    return matrix;
}

QList<int64_t> ForcedKeyFrames(const QString& value) {
    QList<int64_t> times;
    for (const QString& part : value.split(QLatin1Char(',')))
        times.append(Duration(QStringLiteral("force_key_frames"), part.trimmed()));
    return times;
}

QList<TRcOverride> RcOverrides(const QString& value) {
    QList<TRcOverride> overrides;
    for (const QString& entry : value.split(QLatin1Char('/'))) {
        const QStringList numbers = entry.split(QLatin1Char(','));
        bool ok = numbers.size() == 3;
        TRcOverride item;
        if (ok) {
            bool a = false, b = false, c = false;
            item.StartFrame = numbers[0].trimmed().toInt(&a);
            item.EndFrame = numbers[1].trimmed().toInt(&b);
            const int q = numbers[2].trimmed().toInt(&c);
            ok = a && b && c;
            if (q > 0)
                item.QScale = q;
            else
                item.QualityFactor = -q / 100.0f;
        }
        if (!ok)
            Fail(QStringLiteral("error parsing rc_override"));
        overrides.append(item);
    }
    return overrides;
}

QPair<int, int> StreamId(const QString& option, const QString& value) {
    const QStringList parts = value.split(QLatin1Char(':'));
    bool indexOk = false, idOk = false;
    const int index = parts.size() == 2 ? parts[0].trimmed().toInt(&indexOk) : 0;
    const int id = parts.size() == 2 ? parts[1].trimmed().toInt(&idOk) : 0;
    if (!indexOk || !idOk) {
        Fail(QStringLiteral("Invalid value \"%1\" for option \"%2\", required syntax is "
                            "\"index:value\"")
                 .arg(value, option));
    }
    return {index, id};
}

float AspectRatio(const QString& value) {
    double ratio = 0.0;
    const qsizetype colon = value.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
        const double width = std::strtod(value.left(colon).toUtf8().constData(), nullptr);
        const double height = std::strtod(value.mid(colon + 1).toUtf8().constData(), nullptr);
        if (height > 0)
            ratio = width / height;
    } else {
        ratio = std::strtod(value.toUtf8().constData(), nullptr);
    }
    if (ratio == 0.0)
        Fail(QStringLiteral("Incorrect aspect ratio specification."));
    return static_cast<float>(ratio);
}

AVRational FrameRate(const QString& value) {
    AVRational rate{0, 0};
    if (av_parse_video_rate(&rate, value.toUtf8().constData()) < 0)
        Fail(QStringLiteral("Incorrect frame rate"));
    return rate;
}

QPair<int, int> FrameSize(const QString& value) {
    int width = 0, height = 0;
    if (av_parse_video_size(&width, &height, value.toUtf8().constData()) < 0)
        Fail(QStringLiteral("Incorrect frame size"));
    return {width, height};
}

AVPixelFormat PixelFormat(const QString& value) {
    const AVPixelFormat format = av_get_pix_fmt(value.toUtf8().constData());
    if (format == AV_PIX_FMT_NONE)
        Fail(QStringLiteral("Unknown pixel format requested: %1").arg(value));
    return format;
}

AVSampleFormat SampleFormat(const QString& value) {
    const AVSampleFormat format = av_get_sample_fmt(value.toUtf8().constData());
    if (format == AV_SAMPLE_FMT_NONE)
        Fail(QStringLiteral("Invalid sample format \"%1\"").arg(value));
    return format;
}

QString BitstreamFilter(const QString& value) {
    if (value.startsWith(QLatin1Char('=')))
        return {};
    const QString name = value.section(QLatin1Char('='), 0, 0);
    if (av_bsf_get_by_name(name.toUtf8().constData()) == nullptr)
        Fail(QStringLiteral("Unknown bitstream filter %1").arg(name));
    return value;
}

} // namespace options
