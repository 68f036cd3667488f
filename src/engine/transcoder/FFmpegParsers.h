#pragma once

// Parsers for the values of transcoder options. Each returns the parsed value or throws
// FFmpegException with the text the user sees; none has side effects.

#include "engine/transcoder/FFmpegSettings.h"

#include <QString>

#include <cstdint>

namespace options {

// "0" is false, anything else (also an empty text) true.
bool Flag(const QString& value);
// Decimal (or 0x hexadecimal) whole numbers; "'%s' is not a valid integer value" otherwise.
int Integer(const QString& value);
int64_t Integer64(const QString& value);
// "'%s' is not a valid floating point value" for anything but a decimal number.
double Real(const QString& value);

// A duration in µs: "Invalid duration specification for %s: %s".
int64_t Duration(const QString& option, const QString& value);
// A date in µs since 1970: "Invalid date specification for %s: %s".
int64_t Date(const QString& option, const QString& value);

TStreamMap StreamMap(const QString& value);
TMetadataMap MetadataMap(const QString& value);
TChapterMap ChapterMap(const QString& value);
// "index<sep>scale", index 0 … 1023.
QPair<int, double> TimestampScale(const QString& value);
// "key=value": "Missing =", "wrong parameter of metadata".
QPair<QString, QString> MetadataEntry(const QString& value);
// A number, or exactly four characters with the first in the lowest byte.
uint32_t CodecTag(const QString& value);
// 64 numbers separated by ",".
TMatrix Matrix(const QString& value);
// Times separated by ",", each a duration, in µs.
QList<int64_t> ForcedKeyFrames(const QString& value);
// "start,end,q" entries separated by "/".
QList<TRcOverride> RcOverrides(const QString& value);
// "index:value".
QPair<int, int> StreamId(const QString& option, const QString& value);
// "w:h" or a decimal number; "Incorrect aspect ratio specification." for 0.
float AspectRatio(const QString& value);
AVRational FrameRate(const QString& value);
QPair<int, int> FrameSize(const QString& value);
AVPixelFormat PixelFormat(const QString& value);
AVSampleFormat SampleFormat(const QString& value);
// The filter's name must exist: "Unknown bitstream filter %s". Returns the chain entry, or an
// empty text for a value that begins with "=" (ignored).
QString BitstreamFilter(const QString& value);

} // namespace options
