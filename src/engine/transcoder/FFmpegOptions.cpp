// The transcoder's options: the names the job knows itself, and the direct setters.

#include "engine/transcoder/FFmpeg.h"

#include "engine/FFLog.h"
#include "engine/FFmpegException.h"
#include "engine/transcoder/FFmpegParsers.h"

#include <QDir>
#include <QTime>

#include <unordered_map>

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

namespace {

using options::Flag;
using options::Integer;
using options::Real;

[[noreturn]] void Fail(const QString& text) {
    throw FFmpegException(text);
}

TStreamKind KindOfCodecOption(const QString& option) {
    if (option == QLatin1String("vcodec"))
        return TStreamKind::Video;
    if (option == QLatin1String("acodec"))
        return TStreamKind::Audio;
    if (option == QLatin1String("scodec"))
        return TStreamKind::Subtitle;
    if (option == QLatin1String("dcodec"))
        return TStreamKind::Data;
    Fail(QStringLiteral("Invalid parameter \"%1\"").arg(option));
}

TStreamKind KindOfTagOption(const QString& option) {
    if (option == QLatin1String("vtag"))
        return TStreamKind::Video;
    if (option == QLatin1String("atag"))
        return TStreamKind::Audio;
    if (option == QLatin1String("stag"))
        return TStreamKind::Subtitle;
    Fail(QStringLiteral("Invalid parameter \"%1\"").arg(option));
}

} // namespace

void TCustomFFmpeg::Log(int level, const QString& text) {
    GetLogger()->Log(this, static_cast<TLogLevel>(level), text);
}

void TCustomFFmpeg::LogInfo(const QString& text) {
    Log(llInfo, text);
}

TCustomFFmpeg::TOptionHandler TCustomFFmpeg::FindOption(const QString& name) {
    using Job = TCustomFFmpeg;
    using N = const QString&;
    using V = const QString&;
    static const std::unordered_map<std::string, TOptionHandler> table = {
        // Job and control
        {"L", [](Job& j, N n, V) { j.LogInfo("Do nothing: option - " + n); }},
        {"h", [](Job& j, N n, V) { j.LogInfo("Do nothing: option - " + n); }},
        {"version", [](Job& j, N n, V) { j.LogInfo("Do nothing: option - " + n); }},
        {"formats", [](Job& j, N n, V) { j.LogInfo("Do nothing: option - " + n); }},
        {"codecs", [](Job& j, N n, V) { j.LogInfo("Do nothing: option - " + n); }},
        {"bsfs", [](Job& j, N n, V) { j.LogInfo("Do nothing: option - " + n); }},
        {"protocols", [](Job& j, N n, V) { j.LogInfo("Do nothing: option - " + n); }},
        {"filters", [](Job& j, N n, V) { j.LogInfo("Do nothing: option - " + n); }},
        {"i", [](Job& j, N n, V) { j.LogInfo("Do nothing: option - " + n); }},
        {"y", [](Job& j, N n, V) { j.LogInfo("Do nothing: option - " + n); }},
        {"benchmark", [](Job& j, N n, V) { j.LogInfo("Do nothing: option - " + n); }},
        {"loglevel",
         [](Job&, N, V v) {
             if (!GetLogger()->SetLogLevelByName(v))
                 Fail(QStringLiteral("'%1' is not a valid integer value").arg(v));
         }},
        {"v", [](Job& j, N, V v) { j.FSettings.Verbosity = Integer(v); }},
        {"timelimit",
         [](Job& j, N, V) { j.Log(llWarning, "Warning: -timelimit not implemented on Windows"); }},
        {"threads",
         [](Job& j, N, V v) {
             j.FSettings.ThreadCount = Integer(v);
             if (j.FSettings.Verbosity >= 0)
                 j.Log(llVerbose, "Warning: if the ffmpeg libraries were not compiled with thread "
                                  "support, it would be using thread emulation.");
         }},
        {"map", [](Job& j, N, V v) { j.FSettings.StreamMaps.append(options::StreamMap(v)); }},
        {"map_metadata",
         [](Job& j, N, V v) {
             const TMetadataMap map = options::MetadataMap(v);
             for (char type : {map.Output.Type, map.Input.Type}) {
                 if (type == 'g')
                     j.FSettings.CopyGlobalMetadata = false;
                 else if (type == 's')
                     j.FSettings.CopyStreamMetadata = false;
                 else if (type == 'c')
                     j.FSettings.CopyChapters = false;
             }
             j.FSettings.MetadataMaps.append(map);
         }},
        {"map_meta_data",
         [](Job& j, N, V v) {
             j.Log(llWarning, "-map_meta_data is deprecated and will be removed soon. Use "
                              "-map_metadata instead.");
             j.SetOption("map_metadata", v);
         }},
        {"map_chapters",
         [](Job& j, N, V v) { j.FSettings.ChapterMaps.append(options::ChapterMap(v)); }},
        {"fs", [](Job& j, N, V v) { j.FSettings.FileSizeLimit = options::Integer64(v); }},
        {"ss", [](Job& j, N n, V v) { j.FPending.StartTime = options::Duration(n, v); }},
        {"t",
         [](Job& j, N n, V v) {
             j.FSettings.RecordingTime = options::Duration(n, v);
             j.FExpectedTotalDuration = j.FSettings.RecordingTime;
         }},
        {"itsoffset", [](Job& j, N n, V v) { j.FPending.InputTimeOffset = options::Duration(n, v); }},
        {"itsscale",
         [](Job& j, N, V v) {
             const auto [index, scale] = options::TimestampScale(v);
             j.FPending.InputTimestampScales[index] = scale;
         }},
        {"timestamp",
         [](Job& j, N n, V v) {
             const int64_t time = options::Date(n, v);
             j.FPending.RecordingTimestamp = (time + (time >= 0 ? 500000 : -500000)) / 1000000;
         }},
        {"metadata",
         [](Job& j, N, V v) {
             const auto [key, value] = options::MetadataEntry(v);
             j.AddMetadata(key, value);
         }},
        {"dframes", [](Job& j, N, V v) { j.FSettings.MaxFrames[3] = Integer(v); }},
        {"vframes", [](Job& j, N, V v) { j.FSettings.MaxFrames[0] = Integer(v); }},
        {"aframes", [](Job& j, N, V v) { j.FSettings.MaxFrames[1] = Integer(v); }},
        {"dump", [](Job& j, N, V v) { j.FSettings.PacketDump = Flag(v); }},
        {"hex", [](Job& j, N, V v) { j.FSettings.HexDump = Flag(v); }},
        {"re", [](Job& j, N, V v) { j.FSettings.RateEmulation = Flag(v); }},
        {"noautorotate", [](Job& j, N, V v) { j.FPending.NoAutoRotate = Flag(v); }},
        {"loop_input", [](Job& j, N, V v) { j.FPending.LoopInput = Flag(v); }},
        {"loop_output", [](Job& j, N, V v) { j.FPending.LoopOutput = Integer(v); }},
        {"target", [](Job& j, N, V v) { j.ApplyTarget(v, QStringLiteral("ntsc")); }},
        {"vsync", [](Job& j, N, V v) { j.FSettings.VideoSync = Integer(v); }},
        {"async", [](Job& j, N, V v) { j.FSettings.AudioSync = Integer(v); }},
        {"adrift_threshold", [](Job& j, N, V v) { j.FSettings.AudioDriftThreshold = Real(v); }},
        {"copyts", [](Job& j, N, V v) { j.FSettings.CopyTimestamps = Flag(v); }},
        {"copytb", [](Job& j, N, V v) { j.FSettings.CopyTimeBase = Flag(v); }},
        {"shortest", [](Job& j, N, V v) { j.FSettings.Shortest = Flag(v); }},
        {"isync", [](Job& j, N, V v) { j.FSettings.InputSync = Flag(v); }},
        {"xerror", [](Job& j, N, V v) { j.FSettings.ExitOnError = Flag(v); }},
        {"dts_delta_threshold", [](Job& j, N, V v) { j.FSettings.DtsDeltaThreshold = Real(v); }},
        {"programid", [](Job& j, N, V v) { j.FPending.ProgramId = Integer(v); }},
        {"copyinkf", [](Job& j, N, V v) { j.FSettings.CopyInitialNonKeyFrames = Integer(v); }},
        {"pass",
         [](Job& j, N, V v) {
             const int pass = Integer(v);
             if (pass != 1 && pass != 2)
                 Fail(QStringLiteral("pass number can be only 1 or 2"));
             j.FSettings.Pass = pass;
         }},
        {"passlogfile",
         [](Job& j, N n, V v) {
             j.FSettings.PassLogFile = v;
             j.FLibraryOptions.Set(n, v); // the libraries may know it too; their answer is moot
         }},
        {"vstats",
         [](Job& j, N, V v) {
             j.FSettings.VStatsFile =
                 Flag(v) ? QDir::currentPath() + QStringLiteral("/vstats_%1.log")
                                                     .arg(QTime::currentTime().toString("hhmmss"))
                         : QString();
         }},
        {"vstats_file", [](Job& j, N, V v) { j.FSettings.VStatsFile = v; }},
        {"muxdelay", [](Job& j, N, V v) { j.FPending.MuxMaxDelay = static_cast<float>(Real(v)); }},
        {"muxpreload", [](Job& j, N, V v) { j.FPending.MuxPreload = static_cast<float>(Real(v)); }},
        {"apre", [](Job& j, N, V v) { j.ReadPresetFile(v); }},
        {"vpre", [](Job& j, N, V v) { j.ReadPresetFile(v); }},
        {"spre", [](Job& j, N, V v) { j.ReadPresetFile(v); }},
        {"fpre", [](Job& j, N, V v) { j.ReadPresetFile(v); }},

        // Input and video
        {"f", [](Job& j, N, V v) { j.FPending.FormatName = v; }},
        {"b", [](Job& j, N n, V v) { j.SetBitrateOption(n, v); }},
        {"vb", [](Job& j, N n, V v) { j.SetBitrateOption(n, v); }},
        {"r", [](Job& j, N, V v) { j.FPending.FrameRate = options::FrameRate(v); }},
        {"s",
         [](Job& j, N, V v) {
             const auto [width, height] = options::FrameSize(v);
             j.FPending.FrameWidth = width;
             j.FPending.FrameHeight = height;
         }},
        {"aspect", [](Job& j, N, V v) { j.FPending.FrameAspectRatio = options::AspectRatio(v); }},
        {"pix_fmt",
         [](Job& j, N, V v) {
             if (v == QLatin1String("list")) {
                 for (const AVPixFmtDescriptor* d = av_pix_fmt_desc_next(nullptr); d != nullptr;
                      d = av_pix_fmt_desc_next(d))
                     j.LogInfo(QString::fromUtf8(d->name));
                 return;
             }
             j.FPending.PixelFormat = options::PixelFormat(v);
         }},
        {"bits_per_raw_sample",
         [](Job& j, N, V v) { j.FPending.BitsPerRawSample = Integer(v); }},
        {"intra", [](Job& j, N, V v) { j.FSettings.IntraOnly = Flag(v); }},
        {"vn", [](Job& j, N, V v) { j.FPending.Kind(TStreamKind::Video).Disabled = Flag(v); }},
        {"vdt", [](Job& j, N, V v) { j.FPending.VideoDiscard = Integer(v); }},
        {"qscale",
         [](Job& j, N, V v) {
             const double scale = Real(v);
             if (scale <= 0.0 || scale > 255.0)
                 Fail(QStringLiteral("qscale must be > 0.0 and <= 255"));
             j.FSettings.VideoQScale = static_cast<float>(scale);
         }},
        {"rc_override", [](Job& j, N, V v) { j.FSettings.RcOverrides = options::RcOverrides(v); }},
        {"vcodec", [](Job& j, N n, V v) { j.SetCodec(n, v); }},
        {"me_threshold", [](Job& j, N, V v) { j.FSettings.MeThreshold = Integer(v); }},
        {"sameq", [](Job& j, N, V v) { j.FSettings.SameQuality = Flag(v); }},
        {"deinterlace", [](Job& j, N, V v) { j.FSettings.Deinterlace = Flag(v); }},
        {"psnr", [](Job& j, N, V v) { j.FSettings.Psnr = Flag(v); }},
        {"vhook",
         [](Job& j, N, V v) {
             // Hook modules were plug-ins of an old library interface; none can be loaded now.
             j.FSettings.VideoHookModules.append(v);
             j.Log(llWarning, "Video hook modules are not supported; ignored: " + v);
         }},
        {"vfilters", [](Job& j, N, V v) { j.FPending.VideoFilters = v; }},
        {"vf", [](Job& j, N, V v) { j.FPending.VideoFilters = v; }},
        {"intra_matrix", [](Job& j, N, V v) { j.FSettings.IntraMatrix = options::Matrix(v); }},
        {"inter_matrix", [](Job& j, N, V v) { j.FSettings.InterMatrix = options::Matrix(v); }},
        {"top",
         [](Job& j, N n, V v) {
             j.FPending.TopFieldFirst = Integer(v);
             j.FLibraryOptions.Set(n, v); // no such library option any more; harmless
         }},
        {"dc", [](Job& j, N, V v) { j.FSettings.IntraDcPrecision = Integer(v); }},
        {"vtag", [](Job& j, N n, V v) { j.SetCodecTag(n, v); }},
        {"newvideo", [](Job& j, N, V) { j.AddStreamToLastOutput(TStreamKind::Video); }},
        {"vlang", [](Job& j, N, V v) { j.FPending.Kind(TStreamKind::Video).Language = v; }},
        {"qphist", [](Job& j, N, V v) { j.FSettings.QpHistogram = Flag(v); }},
        {"force_fps", [](Job& j, N, V v) { j.FSettings.ForceFps = Flag(v); }},
        {"streamid",
         [](Job& j, N n, V v) {
             const auto [index, id] = options::StreamId(n, v);
             j.FSettings.StreamIds[index] = id;
         }},
        {"force_key_frames",
         [](Job& j, N, V v) {
             options::ForcedKeyFrames(v); // checked now, converted when a stream takes it
             j.FPending.ForcedKeyFrames = v;
         }},
        {"vc", [](Job& j, N, V v) { j.FPending.VideoChannel = Integer(v); }},
        {"tvstd", [](Job& j, N, V v) { j.FPending.TvStandard = v; }},

        // Audio, subtitle and data
        {"ab", [](Job& j, N n, V v) { j.SetBitrateOption(n, v); }},
        {"aq", [](Job& j, N, V v) { j.FSettings.AudioQScale = static_cast<float>(Real(v)); }},
        {"ar", [](Job& j, N, V v) { j.SetSampleRate(Integer(v)); }},
        {"ac", [](Job& j, N, V v) { j.SetChannels(Integer(v)); }},
        {"an", [](Job& j, N, V v) { j.FPending.Kind(TStreamKind::Audio).Disabled = Flag(v); }},
        {"acodec", [](Job& j, N n, V v) { j.SetCodec(n, v); }},
        {"atag", [](Job& j, N n, V v) { j.SetCodecTag(n, v); }},
        {"vol", [](Job& j, N, V v) { j.FSettings.AudioVolume = Integer(v); }},
        {"newaudio", [](Job& j, N, V) { j.AddStreamToLastOutput(TStreamKind::Audio); }},
        {"alang", [](Job& j, N, V v) { j.FPending.Kind(TStreamKind::Audio).Language = v; }},
        {"sample_fmt",
         [](Job& j, N, V v) {
             if (v == QLatin1String("list")) {
                 for (int f = 0; f < AV_SAMPLE_FMT_NB; ++f)
                     j.LogInfo(QString::fromUtf8(av_get_sample_fmt_name(AVSampleFormat(f))));
                 return;
             }
             j.FPending.SampleFormat = options::SampleFormat(v);
         }},
        {"sn", [](Job& j, N, V v) { j.FPending.Kind(TStreamKind::Subtitle).Disabled = Flag(v); }},
        {"scodec", [](Job& j, N n, V v) { j.SetCodec(n, v); }},
        {"newsubtitle", [](Job& j, N, V) { j.AddStreamToLastOutput(TStreamKind::Subtitle); }},
        {"slang", [](Job& j, N, V v) { j.FPending.Kind(TStreamKind::Subtitle).Language = v; }},
        {"stag", [](Job& j, N n, V v) { j.SetCodecTag(n, v); }},
        {"dcodec", [](Job& j, N n, V v) { j.SetCodec(n, v); }},
        {"newdata", [](Job& j, N, V) { j.AddStreamToLastOutput(TStreamKind::Data); }},
        {"absf",
         [](Job& j, N, V v) {
             const QString filter = options::BitstreamFilter(v);
             if (!filter.isEmpty())
                 j.FPending.Kind(TStreamKind::Audio).BitstreamFilters.append(filter);
         }},
        {"vbsf",
         [](Job& j, N, V v) {
             const QString filter = options::BitstreamFilter(v);
             if (!filter.isEmpty())
                 j.FPending.Kind(TStreamKind::Video).BitstreamFilters.append(filter);
         }},
        {"sbsf",
         [](Job& j, N, V v) {
             const QString filter = options::BitstreamFilter(v);
             if (!filter.isEmpty())
                 j.FPending.Kind(TStreamKind::Subtitle).BitstreamFilters.append(filter);
         }},

        // Removed
        {"croptop", [](Job&, N, V) { Fail("Removed, use the crop filter instead"); }},
        {"cropbottom", [](Job&, N, V) { Fail("Removed, use the crop filter instead"); }},
        {"cropleft", [](Job&, N, V) { Fail("Removed, use the crop filter instead"); }},
        {"cropright", [](Job&, N, V) { Fail("Removed, use the crop filter instead"); }},
        {"padtop", [](Job&, N, V) { Fail("Removed, use the pad filter instead"); }},
        {"padbottom", [](Job&, N, V) { Fail("Removed, use the pad filter instead"); }},
        {"padleft", [](Job&, N, V) { Fail("Removed, use the pad filter instead"); }},
        {"padright", [](Job&, N, V) { Fail("Removed, use the pad filter instead"); }},
        {"padcolor", [](Job&, N, V) { Fail("Removed, use the pad filter instead"); }},
    };
    const auto found = table.find(name.toStdString());
    return found == table.end() ? nullptr : found->second;
}

void TCustomFFmpeg::SetOption(const QString& name, const QString& value) {
    if (const TOptionHandler handler = FindOption(name))
        handler(*this, name, value);
    else
        ApplyLibraryOption(name, value);
}

void TCustomFFmpeg::ApplyLibraryOption(const QString& name, const QString& value,
                                       std::optional<AVMediaType> kind) {
    const std::optional<QString> failure = FLibraryOptions.Set(name, value, kind);
    if (failure) {
        // A blank name is refused without a word.
        if (FatalOnBadOption && !failure->isEmpty())
            throw FFmpegException(*failure);
        return;
    }
    if (FLibraryOptions.DebugRequested())
        GetLogger()->SetLogLevel(llDebug);
}

void TCustomFFmpeg::SetBitrateOption(const QString& name, const QString& value) {
    // "b" has always meant the video bit rate; the libraries' own "b" is for every kind.
    const bool audio = name == QLatin1String("ab");
    if (name == QLatin1String("b"))
        ApplyLibraryOption(name, value, AVMEDIA_TYPE_VIDEO);
    else
        ApplyLibraryOption(name, value);
    const AVCodecContext* set =
        FLibraryOptions.CodecOptions(audio ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_VIDEO);
    if (set != nullptr && set->bit_rate < 1000)
        Log(llWarning, "WARNING: The bitrate parameter is set too low. It takes bits/s as "
                       "argument, not kbits/s");
}

// --- Direct setters ---------------------------------------------------------------------

void TCustomFFmpeg::SetFormat(const QString& format) {
    SetOption("f", format);
}

void TCustomFFmpeg::SetIntegerOption(const QString& name, int64_t value) {
    ApplyLibraryOption(name, QString::number(value));
}

void TCustomFFmpeg::SetFrameRate(const QString& rate) {
    SetOption("r", rate);
}

void TCustomFFmpeg::SetBitrate(const QString& name, int bitsPerSecond) {
    SetBitrateOption(name, QString::number(bitsPerSecond));
}

void TCustomFFmpeg::SetFrameSize(const QString& size) {
    SetOption("s", size);
}

void TCustomFFmpeg::SetAspect(const QString& aspect) {
    SetOption("aspect", aspect);
}

void TCustomFFmpeg::AddMetadata(const QString& key, const QString& value) {
    if (key.isEmpty())
        Fail(QStringLiteral("wrong parameter of metadata"));
    for (auto& entry : FPending.OutputMetadata) {
        if (entry.first == key) {
            entry.second = value;
            return;
        }
    }
    FPending.OutputMetadata.append({key, value});
}

void TCustomFFmpeg::SetSampleRate(int rate) {
    if (rate > 0)
        FPending.AudioSampleRate = rate;
}

void TCustomFFmpeg::SetChannels(int channels) {
    if (channels > 0)
        FPending.AudioChannels = channels;
}

void TCustomFFmpeg::SetCodec(const QString& option, const QString& name) {
    TKindSettings& kind = FPending.Kind(KindOfCodecOption(option));
    if (name == QLatin1String("copy")) {
        kind.Copy = true;
    } else {
        kind.CodecName = name;
        kind.Copy = false;
    }
}

void TCustomFFmpeg::SetVideoFilters(const QString& graph) {
    FPending.VideoFilters = graph;
}

void TCustomFFmpeg::SetCodecTag(const QString& option, const QString& tag) {
    const TStreamKind kind = KindOfTagOption(option);
    FPending.Kind(kind).Tag = options::CodecTag(tag);
}

void TCustomFFmpeg::SetRecordingTime(int64_t microseconds) {
    if (microseconds == INT64_MIN)
        return;
    FSettings.RecordingTime = microseconds;
    FExpectedTotalDuration = microseconds;
}

void TCustomFFmpeg::SetStartTime(int64_t microseconds) {
    if (microseconds != INT64_MIN)
        FPending.StartTime = microseconds;
}

void TCustomFFmpeg::SetProgramId(int id) {
    if (id >= 0)
        FPending.ProgramId = id;
}

void TCustomFFmpeg::SetVolume(int volume) {
    if (volume >= 0)
        FSettings.AudioVolume = volume;
}

void TCustomFFmpeg::SetAudioSync(int method) {
    FSettings.AudioSync = method;
}

void TCustomFFmpeg::SetVideoSync(int method) {
    FSettings.VideoSync = method;
}

void TCustomFFmpeg::SetMuxDelay(float seconds) {
    if (seconds > 0)
        FPending.MuxMaxDelay = seconds;
}

void TCustomFFmpeg::SetMuxPreload(float seconds) {
    if (seconds > 0)
        FPending.MuxPreload = seconds;
}

void TCustomFFmpeg::SetRecordingTimestamp(int64_t secondsSince1970) {
    FPending.RecordingTimestamp = secondsSince1970;
}

void TCustomFFmpeg::SetPresetFile(const QString& fileName) {
    ReadPresetFile(fileName);
}

void TCustomFFmpeg::SetTarget(int type, int norm, int fallbackNorm) {
    const char* types[] = {"", "vcd", "svcd", "dvd"};
    if (type < 1 || type > 3)
        Fail(QStringLiteral("Unknown target type"));
    const QString prefix = norm == 1   ? QStringLiteral("pal-")
                           : norm == 2 ? QStringLiteral("ntsc-")
                                       : QString();
    ApplyTarget(prefix + QLatin1String(types[type]),
                fallbackNorm == 1 ? QStringLiteral("pal") : QStringLiteral("ntsc"));
}

void TCustomFFmpeg::AddStreamToLastOutput(TStreamKind kind) {
    if (FOutputFiles.empty())
        Fail(QStringLiteral("At least one output file must be specified"));
    CreateOutputStream(static_cast<int>(FOutputFiles.size()) - 1, kind);
}
