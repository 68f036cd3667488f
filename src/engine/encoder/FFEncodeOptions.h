#pragma once

// Plain option records describing one input and one output of a conversion task, and their
// translation into a transcoding job's options. The records hold values only, so job items can
// store, copy and compare them freely.

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <limits>

// Engine times are microseconds; this value means "not set".
inline constexpr int64_t kTimeNotSet = std::numeric_limits<int64_t>::min();

// Wide file names survive names outside any code page.
using TPathFileName = QString;

// Metadata written into an output.
struct TStreamInfo {
    // Local date-time in days: −1 none, 0 the time of conversion, > 0 that time.
    double Timestamp = -1.0;
    int32_t Year = -1;  // "year" when > 0
    int32_t Track = -1; // "track" when > 0
    QString Title;
    QString Author;
    QString Copyright;
    QString Comment;
    QString Album;
    QString Genre;

    bool operator==(const TStreamInfo&) const = default;
};

struct TInputOptions {
    TPathFileName FileName;          // empty: the name passed with the call
    QString FileFormat;              // "f"; empty detects the container
    int64_t StartTime = kTimeNotSet; // "ss"
    int32_t ProgramId = -1;          // "programid", when >= 0
    QString ExtOptions;              // extra option text, lines joined by "<CRLF>"

    bool operator==(const TInputOptions&) const = default;
};

// Each field stands for one transcoder option, applied under the condition in its comment.
struct TOutputOptions {
    TPathFileName FileName;   // empty: the name passed with the call
    QString FileExt;          // ".flv"; kept for naming and display, not read by the engine
    QString FileFormat;       // "f", when non-empty
    int32_t PacketSize = -1;  // "packetsize", when > 0
    int32_t MuxRate = -1;     // "muxrate", when > 0
    float MuxDelay = -1.0f;   // seconds; "muxdelay", when > 0
    float MuxPreload = -1.0f; // seconds; "muxpreload", when > 0

    QString AudioCodec;                 // "acodec"; "copy" copies the stream
    bool DisableAudio = false;          // "an", when true
    int32_t AudioVolume = -1;           // "vol" (256 = unchanged), when >= 0
    int32_t AudioChannels = -1;         // "ac", when > 0
    int32_t AudioSampleRate = -1;       // Hz; "ar", when > 0
    int32_t AudioBitrate = -1;          // bit/s; "ab", when > 0 and Target is 0
    int32_t AudioBitrateTolerance = -1; // "abt", when > 0
    QString AudioLanguage;              // "alang", always
    int32_t AudioSync = 0;              // "async", always
    QString AudioTag;                   // "atag", when non-empty

    QString VideoCodec;                 // "vcodec"; "copy" copies the stream
    bool DisableVideo = false;          // "vn", when true
    QString FrameRate;                  // "r", when non-empty
    QString FrameSize;                  // "s" as width "x" height, when non-empty
    QString FrameAspectRatio;           // "aspect", when non-empty
    int32_t GopSize = -1;               // "g", when > 0
    int32_t VideoBitrate = -1;          // bit/s; "vb", when > 0 and Target is 0
    int32_t VideoMaxRate = -1;          // "maxrate", when > 0
    int32_t VideoMinRate = -1;          // "minrate", when > 0
    int32_t VideoBitrateTolerance = -1; // "bt", when > 0
    int32_t VideoBufSize = -1;          // "bufsize", when > 0
    int32_t VideoSync = -1;             // "vsync", always
    QString VideoTag;                   // "vtag", when non-empty
    QString VideoFilters;               // "vf" filter graph, when non-empty
    QString VideoLanguage;              // "vlang", always

    QString SubtitleCodec;        // "scodec"
    bool DisableSubtitle = false; // "sn"
    QString SubtitleLanguage;     // "slang", always
    QString DataCodec;            // "dcodec"

    QString PresetFile;              // "fpre", when non-empty
    bool InputSync = false;          // "isync"
    bool CopyTimestamps = false;     // "copyts", when true
    int64_t StartTime = kTimeNotSet; // "ss", when set
    int64_t Duration = kTimeNotSet;  // "t" (recording length), when set

    TStreamInfo Info;

    int32_t Target = 0;             // "target": 0 none, 1 "vcd", 2 "svcd", 3 "dvd"
    int32_t TargetNorm = 0;         // 0 "auto", 1 "pal", 2 "ntsc"; others "auto"
    int32_t TargetFallbackNorm = 1; // 1 "pal", anything else "ntsc", when "auto" cannot decide

    bool AudioHook = false;       // raise OnAudioHook
    bool VideoInputHook = false;  // raise OnVideoInputHook
    bool VideoOutputHook = false; // raise OnVideoOutputHook
    int32_t HookBitsPixel = 24;   // depth of hook and preview bitmaps
    bool FrameInputHook = false;  // raise OnFrameInputHook
    bool FrameOutputHook = false; // raise OnFrameOutputHook
    bool Join = false;            // concatenate all inputs of the task into this output
    bool Overwrite = false;       // a file of this name may be replaced (else the task fails)

    QString ExtOptions; // extra option text, lines joined by "<CRLF>"

    bool operator==(const TOutputOptions&) const = default;
};

void InitInputOptions(TInputOptions& options);
void InitOutputOptions(TOutputOptions& options);

class TCustomFFmpeg;

using TOptionPairs = QList<QPair<QString, QString>>;

// The extra option text: trimmed, line breaks and "<CRLF>" made line feeds, one "name=value"
// per line with the name lower-cased; lines without a name are left out.
TOptionPairs ParseExtraOptions(const QString& text);

// The value the extra text gives a per-stream option ("vf", "acodec", …; "vfilters" counts as
// "vf") for the output's own stream when the record has none: the first one with a value.
QString ExtraStreamValue(const QString& text, const QString& name);

// Gives the job an input record before it opens that input: the extra text's options (but the
// per-output ones), the container, the start time and the program.
void ApplyInputOptions(TCustomFFmpeg& job, const TInputOptions& options);

// The per-stream values of one output ("acodec", "vcodec", "scodec", "dcodec", "s", "vf") and
// the streams its extra text adds ("newvideo" & co.), which take their values once the output
// is open.
struct TStreamValues {
    // For the output's own streams: the record's value, else the extra text's first one.
    QMap<QString, QString> Defaults;
    TOptionPairs Extra;     // the extra text's values, in its order
    QStringList NewStreams; // in the extra text's order

    QString DefaultOf(const QString& name) const;
    // The first value of `name` no added stream has taken yet, else the default.
    QString Take(const QString& name);
};

// Gives the job an output record before it opens the output: target, codecs, preset, the extra
// text's options, then the record's fields in the order of its table, size and filters. Hooks
// are the caller's to connect. Throws FFmpegException as the job's options do.
TStreamValues ApplyOutputOptions(TCustomFFmpeg& job, const TOutputOptions& options);

// Once the output is open: adds the streams its extra text asked for, each with the first
// unused per-stream value of its kind.
void AddNewStreams(TCustomFFmpeg& job, TStreamValues& values);

// A local date-time in days since 1899-12-30 as seconds since 1970 UTC, with the zone's
// standard offset and no daylight saving.
int64_t LocalDaysToUnixSeconds(double days);
