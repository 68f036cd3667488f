// Preset files and the target presets of the transcoder.

#include "engine/transcoder/FFmpeg.h"

#include "engine/FFLog.h"
#include "engine/FFmpegException.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace {

enum class TNorm { Pal, Ntsc, Film };

// 1000 × frames per second, rounded.
int RateKey(AVRational rate) {
    return rate.den != 0 && rate.num != 0
               ? static_cast<int>(std::lround(1000.0 * rate.num / rate.den))
               : 0;
}

std::optional<TNorm> NormOfRate(AVRational rate) {
    switch (RateKey(rate)) {
    case 25000: return TNorm::Pal;
    case 29970:
    case 23976: return TNorm::Ntsc;
    default: return std::nullopt;
    }
}

// The MPEG disc targets differ only in their values.
struct TMpegTarget {
    const char* Name; // also the container
    const char* VideoCodec;
    const char* AudioCodec;
    const char* PalSize;
    const char* NtscSize;
    bool Yuv420; // "pix_fmt" yuv420p
    const char* VideoBitrate;
    const char* MaxRate;
    const char* MinRate;
    const char* BufferSize;
    bool ScanOffset;
    const char* AudioBitrate;
    int SampleRate;
    bool AlwaysStereo; // else only mono becomes stereo
    const char* PacketSize;
    const char* MuxRate; // none: null
    float MuxPreload;    // none: 0
    float Aspect;        // when none was given
    const char* AspectLog;
};

constexpr TMpegTarget kMpegTargets[] = {
    {"vcd", "mpeg1video", "mp2", "352x288", "352x240", false, "1150000", "1150000", "1150000",
     "327680", false, "224000", 44100, true, "2324", "1411200", 0.44f, 4.0f / 3.0f,
     "Assuming 4:3 for aspect ratio"},
    {"svcd", "mpeg2video", "mp2", "480x576", "480x480", true, "2040000", "2516000", "0", "1835008",
     true, "224000", 44100, false, "2324", nullptr, 0.0f, 4.0f / 3.0f,
     "Assuming 4:3 for aspect ratio"},
    {"dvd", "mpeg2video", "ac3", "720x576", "720x480", true, "6000000", "9000000", "0", "1835008",
     false, "448000", 48000, false, "2048", "10080000", 0.0f, 16.0f / 9.0f,
     "Assuming 16:9 for aspect ratio"},
};

} // namespace

void TCustomFFmpeg::ReadPresetFile(const QString& fileName) {
    QFile file(fileName);
    if (!QFileInfo(fileName).isFile() || !file.open(QIODevice::ReadOnly))
        throw FFmpegException(QStringLiteral("Preset file \"%1\" not found").arg(fileName));
    QString text = QString::fromUtf8(file.readAll()).trimmed();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));

    // Every line is checked before any is applied: a file that fails changes nothing.
    struct TLine {
        QString Name;
        QString Value;
        bool Codec = false;
        bool Refused = false; // a library option that failed (not fatal): already logged
    };
    QList<TLine> lines;
    TLibraryOptions check; // fresh option sets: a value's validity does not depend on others
    for (const QString& rawLine : text.split(QLatin1Char('\n'))) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        TLine entry;
        entry.Name = equals < 0 ? line : line.left(equals);
        entry.Value = equals < 0 ? QString() : line.mid(equals + 1);
        if (entry.Name.isEmpty() || entry.Value.isEmpty()) {
            throw FFmpegException(QStringLiteral("%1: Invalid syntax: \"%2\"").arg(fileName, line));
        }
        const QString lower = entry.Name.toLower();
        entry.Codec = lower == QLatin1String("acodec") || lower == QLatin1String("vcodec") ||
                      lower == QLatin1String("scodec") || lower == QLatin1String("dcodec");
        if (entry.Codec) {
            entry.Name = lower;
        } else if (const std::optional<QString> failure = check.Set(entry.Name, entry.Value)) {
            if (FatalOnBadOption) {
                throw FFmpegException(
                    QStringLiteral("%1\r\n%2: Invalid option or argument: \"%3\", parsed as "
                                   "\"%4\" = \"%5\"")
                        .arg(*failure, fileName, line, entry.Name, entry.Value));
            }
            entry.Refused = true;
        }
        lines.append(entry);
    }
    for (const TLine& entry : lines) {
        if (entry.Codec)
            SetCodec(entry.Name, entry.Value);
        else if (!entry.Refused)
            FLibraryOptions.Set(entry.Name, entry.Value);
    }
}

void TCustomFFmpeg::ApplyTarget(const QString& value, const QString& fallbackNorm) {
    QString type = value.trimmed();
    std::optional<TNorm> norm;
    const struct {
        const char* Prefix;
        TNorm Norm;
    } prefixes[] = {{"pal-", TNorm::Pal}, {"ntsc-", TNorm::Ntsc}, {"film-", TNorm::Film}};
    for (const auto& prefix : prefixes) {
        if (type.startsWith(QLatin1String(prefix.Prefix))) {
            norm = prefix.Norm;
            type = type.mid(static_cast<qsizetype>(strlen(prefix.Prefix)));
            break;
        }
    }
    const bool known = type == QLatin1String("vcd") || type == QLatin1String("svcd") ||
                       type == QLatin1String("dvd") || type == QLatin1String("dv") ||
                       type == QLatin1String("dv50");
    if (!known)
        throw FFmpegException(QStringLiteral("Unknown target type"));

    if (!norm) {
        norm = NormOfRate(FPending.FrameRate);
        for (const TInputStream& stream : FInputStreams) {
            if (norm)
                break;
            if (stream.Stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
                continue;
            const AVRational rate = stream.Stream->avg_frame_rate.num != 0
                                        ? stream.Stream->avg_frame_rate
                                        : stream.Stream->r_frame_rate;
            norm = NormOfRate(rate);
        }
        if (!norm) {
            norm = fallbackNorm == QLatin1String("film")   ? TNorm::Film
                   : fallbackNorm == QLatin1String("ntsc") ? TNorm::Ntsc
                                                           : TNorm::Pal;
        }
        if (FSettings.Verbosity > 0)
            Log(llVerbose, QStringLiteral("Assuming %1 for target.")
                               .arg(*norm == TNorm::Pal ? "PAL" : "NTSC"));
    }

    const bool pal = *norm == TNorm::Pal;
    const QString rate = pal                    ? QStringLiteral("25")
                         : *norm == TNorm::Ntsc ? QStringLiteral("30000/1001")
                                                : QStringLiteral("24000/1001");
    auto video = [this](const char* name, const char* value) {
        ApplyLibraryOption(QLatin1String(name), QLatin1String(value), AVMEDIA_TYPE_VIDEO);
    };

    if (type == QLatin1String("dv") || type == QLatin1String("dv50")) {
        SetOption("f", "dv");
        SetOption("s", pal ? "720x576" : "720x480");
        SetOption("pix_fmt", type == QLatin1String("dv50") ? "yuv422p"
                             : pal                         ? "yuv420p"
                                                           : "yuv411p");
        SetOption("r", rate);
        SetSampleRate(48000);
        FPending.AudioChannels = 2;
        return;
    }

    const TMpegTarget& target = *std::find_if(
        std::begin(kMpegTargets), std::end(kMpegTargets),
        [&](const TMpegTarget& candidate) { return type == QLatin1String(candidate.Name); });
    SetCodec("vcodec", target.VideoCodec);
    SetCodec("acodec", target.AudioCodec);
    SetOption("f", target.Name);
    SetOption("s", pal ? target.PalSize : target.NtscSize);
    SetOption("r", rate);
    if (target.Yuv420)
        SetOption("pix_fmt", "yuv420p");
    video("g", pal ? "15" : "18");
    SetBitrateOption("b", target.VideoBitrate);
    video("maxrate", target.MaxRate);
    video("minrate", target.MinRate);
    video("bufsize", target.BufferSize);
    if (target.ScanOffset)
        ApplyLibraryOption("scan_offset", "1"); // the MPEG-2 encoder's own option now
    SetBitrateOption("ab", target.AudioBitrate);
    SetSampleRate(target.SampleRate);
    if (target.AlwaysStereo || FPending.AudioChannels == 1)
        FPending.AudioChannels = 2;
    ApplyLibraryOption("packetsize", target.PacketSize);
    if (target.MuxRate != nullptr)
        ApplyLibraryOption("muxrate", target.MuxRate);
    if (target.MuxPreload > 0.0f)
        FPending.MuxPreload = target.MuxPreload;
    if (FPending.FrameAspectRatio == 0.0f) {
        LogInfo(target.AspectLog);
        FPending.FrameAspectRatio = target.Aspect;
    }
}
