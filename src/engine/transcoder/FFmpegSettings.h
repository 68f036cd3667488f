#pragma once

// The settings a transcoding job collects from its options. TPendingSettings holds what the
// next input open, output open or stream creation consumes; each of those events resets
// exactly its part with one call (ResetAfterInputOpen, ResetAfterOutputOpen,
// ResetAfterStream). TJobSettings holds what the whole run reads and nothing resets.

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

#include <array>
#include <climits>
#include <cstdint>
#include <optional>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libavutil/rational.h>
#include <libavutil/samplefmt.h>
}

enum class TStreamKind { Video, Audio, Subtitle, Data };
inline constexpr int kStreamKindCount = 4;

// Per stream kind: what the next stream of that kind takes.
struct TKindSettings {
    QString CodecName;            // empty: the default codec
    bool Copy = false;            // stream copy instead of encoding
    bool Disabled = false;        // "vn", "an", "sn": no stream of this kind
    uint32_t Tag = 0;             // codec tag, 0 for none
    QString Language;             // "vlang", "alang", "slang"
    QStringList BitstreamFilters; // "name" or "name=arguments", in order

    bool operator==(const TKindSettings&) const = default;
};

using TMetadataList = QList<QPair<QString, QString>>;

struct TPendingSettings {
    QString FormatName;         // "f"
    AVRational FrameRate{0, 0}; // "r"; 0/0 none
    int FrameWidth = 0;         // "s"
    int FrameHeight = 0;
    float FrameAspectRatio = 0.0f;                    // "aspect"
    AVPixelFormat PixelFormat = AV_PIX_FMT_NONE;      // "pix_fmt"
    int BitsPerRawSample = 0;                         // "bits_per_raw_sample"
    int AudioSampleRate = 0;                          // "ar"
    int AudioChannels = 0;                            // "ac"
    AVSampleFormat SampleFormat = AV_SAMPLE_FMT_NONE; // "sample_fmt"
    uint64_t ChannelLayout = 0;                       // from the last opened input's audio
    std::array<TKindSettings, kStreamKindCount> Kinds;
    QString VideoFilters;                   // "vf"
    QString ForcedKeyFrames;                // "force_key_frames"
    int TopFieldFirst = -1;                 // "top": −1 automatic
    int VideoDiscard = 0;                   // "vdt"
    std::optional<int> VideoChannel;        // "vc"
    QString TvStandard;                     // "tvstd"
    int64_t StartTime = 0;                  // "ss", µs
    int64_t InputTimeOffset = 0;            // "itsoffset", µs
    QMap<int, double> InputTimestampScales; // "itsscale" for the next input: stream → scale
    int ProgramId = 0;                      // "programid"; 0 none
    bool LoopInput = false;                 // "loop_input"
    bool NoAutoRotate = false;      // "noautorotate": the next input's pictures stay as stored
    int LoopOutput = -1;            // "loop_output"
    float MuxPreload = 0.5f;        // "muxpreload", seconds
    float MuxMaxDelay = 0.7f;       // "muxdelay", seconds
    TMetadataList OutputMetadata;   // "metadata"
    int64_t RecordingTimestamp = 0; // "timestamp", seconds since 1970

    TKindSettings& Kind(TStreamKind kind) { return Kinds[static_cast<int>(kind)]; }
    const TKindSettings& Kind(TStreamKind kind) const { return Kinds[static_cast<int>(kind)]; }

    // An input was opened: its format, grab parameters, decoders, seek and program are used.
    void ResetAfterInputOpen();
    // An output was opened: its format, frame and sound parameters, key frames, metadata and
    // the disabled kinds are used.
    void ResetAfterOutputOpen();
    // A stream of `kind` was created from the settings of its kind.
    void ResetAfterStream(TStreamKind kind);

    bool operator==(const TPendingSettings&) const;
};

struct TStreamMap {
    int File = 0;
    int Stream = 0;
    int SyncFile = 0;
    int SyncStream = 0;
    bool operator==(const TStreamMap&) const = default;
};

// One side of a metadata map: 'g' global, 's' stream, 'c' chapter or 'p' program, with index.
struct TMetadataSpecifier {
    int File = 0;
    char Type = 'g';
    int Index = 0;
    bool operator==(const TMetadataSpecifier&) const = default;
};

struct TMetadataMap {
    TMetadataSpecifier Output;
    TMetadataSpecifier Input;
    bool operator==(const TMetadataMap&) const = default;
};

struct TChapterMap {
    int OutputFile = 0;
    int InputFile = 0;
    bool operator==(const TChapterMap&) const = default;
};

// "rc_override": q > 0 a fixed quantiser, else a quality factor of −q/100.
struct TRcOverride {
    int StartFrame = 0;
    int EndFrame = 0;
    int QScale = 0;
    float QualityFactor = 0.0f;
    bool operator==(const TRcOverride&) const = default;
};

using TMatrix = std::array<uint16_t, 64>;

// "threads" not given: the job picks the count itself (TCustomFFmpeg::AutomaticThreads).
inline constexpr int kAutomaticThreads = -1;

struct TJobSettings {
    int Verbosity = 1;                   // "v"
    int ThreadCount = kAutomaticThreads; // "threads"
    QList<TStreamMap> StreamMaps;        // "map"
    QList<TMetadataMap> MetadataMaps;    // "map_metadata"
    QList<TChapterMap> ChapterMaps;      // "map_chapters"
    QMap<int, int> StreamIds;            // "streamid": output stream index → id
    bool CopyGlobalMetadata = true;
    bool CopyStreamMetadata = true;
    bool CopyChapters = true;
    int VideoSync = -1;               // "vsync"
    int AudioSync = 0;                // "async"
    double AudioDriftThreshold = 0.1; // "adrift_threshold"
    bool CopyTimestamps = false;      // "copyts"
    bool CopyTimeBase = false;        // "copytb"
    bool Shortest = false;            // "shortest"
    bool InputSync = false;           // "isync"
    double DtsDeltaThreshold = 10.0;  // "dts_delta_threshold", seconds
    bool ExitOnError = false;         // "xerror"
    bool PacketDump = false;          // "dump"
    bool HexDump = false;             // "hex"
    bool RateEmulation = false;       // "re"
    int CopyInitialNonKeyFrames = 0;  // "copyinkf"
    int64_t FileSizeLimit = 0;        // "fs", bytes; 0 none
    int Pass = 0;                     // "pass"
    QString PassLogFile;              // "passlogfile"
    QString VStatsFile;               // "vstats", "vstats_file"
    int AudioVolume = 256;            // "vol"
    QStringList VideoHookModules;     // "vhook" (kept, not run)
    bool IntraOnly = false;           // "intra"
    bool SameQuality = false;         // "sameq"
    bool Deinterlace = false;         // "deinterlace"
    bool Psnr = false;                // "psnr"
    bool QpHistogram = false;         // "qphist"
    bool ForceFps = false;            // "force_fps"
    // Per kind, in TStreamKind order: "vframes", "aframes", (subtitles: none), "dframes".
    std::array<int, kStreamKindCount> MaxFrames{INT_MAX, INT_MAX, INT_MAX, INT_MAX};
    int64_t RecordingTime = INT64_MAX;  // "t", µs; INT64_MAX none
    float VideoQScale = 0.0f;           // "qscale"; 0 none
    float AudioQScale = -99999.0f;      // "aq"; −99999 none
    std::optional<TMatrix> IntraMatrix; // "intra_matrix"
    std::optional<TMatrix> InterMatrix; // "inter_matrix"
    QList<TRcOverride> RcOverrides;     // "rc_override"
    int IntraDcPrecision = 8;           // "dc"
    int MeThreshold = 0;                // "me_threshold"
    bool OverwriteOutputs = false;      // an existing file of an output's name may be replaced

    bool operator==(const TJobSettings&) const = default;
};
