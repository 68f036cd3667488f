// Preset files and the target presets of the transcoder.

#include "engine/transcoder/FFmpeg.h"

#include "engine/FFLog.h"
#include "engine/FFmpegException.h"

#include <QFile>
#include <QFileInfo>

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
    const QString gop = pal ? QStringLiteral("15") : QStringLiteral("18");
    auto video = [this](const char* name, const char* value) {
        ApplyLibraryOption(QLatin1String(name), QLatin1String(value), AVMEDIA_TYPE_VIDEO);
    };
    auto twoChannelsForMono = [this] {
        if (FPending.AudioChannels == 1)
            FPending.AudioChannels = 2;
    };

    if (type == QLatin1String("vcd")) {
        SetCodec("vcodec", "mpeg1video");
        SetCodec("acodec", "mp2");
        SetOption("f", "vcd");
        SetOption("s", pal ? "352x288" : "352x240");
        SetOption("r", rate);
        video("g", gop.toLatin1().constData());
        SetBitrateOption("b", "1150000");
        video("maxrate", "1150000");
        video("minrate", "1150000");
        video("bufsize", "327680");
        SetBitrateOption("ab", "224000");
        SetSampleRate(44100);
        FPending.AudioChannels = 2;
        ApplyLibraryOption("packetsize", "2324");
        ApplyLibraryOption("muxrate", "1411200");
        FPending.MuxPreload = 0.44f;
    } else if (type == QLatin1String("svcd")) {
        SetCodec("vcodec", "mpeg2video");
        SetCodec("acodec", "mp2");
        SetOption("f", "svcd");
        SetOption("s", pal ? "480x576" : "480x480");
        SetOption("r", rate);
        SetOption("pix_fmt", "yuv420p");
        video("g", gop.toLatin1().constData());
        SetBitrateOption("b", "2040000");
        video("maxrate", "2516000");
        video("minrate", "0");
        video("bufsize", "1835008");
        // Scan offsets are the MPEG-2 encoder's own option now.
        ApplyLibraryOption("scan_offset", "1");
        SetBitrateOption("ab", "224000");
        SetSampleRate(44100);
        ApplyLibraryOption("packetsize", "2324");
        twoChannelsForMono();
    } else if (type == QLatin1String("dvd")) {
        SetCodec("vcodec", "mpeg2video");
        SetCodec("acodec", "ac3");
        SetOption("f", "dvd");
        SetOption("s", pal ? "720x576" : "720x480");
        SetOption("r", rate);
        SetOption("pix_fmt", "yuv420p");
        video("g", gop.toLatin1().constData());
        SetBitrateOption("b", "6000000");
        video("maxrate", "9000000");
        video("minrate", "0");
        video("bufsize", "1835008");
        ApplyLibraryOption("packetsize", "2048");
        ApplyLibraryOption("muxrate", "10080000");
        SetBitrateOption("ab", "448000");
        SetSampleRate(48000);
        twoChannelsForMono();
    } else { // "dv", "dv50"
        SetOption("f", "dv");
        SetOption("s", pal ? "720x576" : "720x480");
        SetOption("pix_fmt", type == QLatin1String("dv50") ? "yuv422p"
                             : pal                         ? "yuv420p"
                                                           : "yuv411p");
        SetOption("r", rate);
        SetSampleRate(48000);
        FPending.AudioChannels = 2;
    }

    if ((type == QLatin1String("vcd") || type == QLatin1String("svcd")) &&
        FPending.FrameAspectRatio == 0.0f) {
        LogInfo("Assuming 4:3 for aspect ratio");
        FPending.FrameAspectRatio = 4.0f / 3.0f;
    } else if (type == QLatin1String("dvd") && FPending.FrameAspectRatio == 0.0f) {
        LogInfo("Assuming 16:9 for aspect ratio");
        FPending.FrameAspectRatio = 16.0f / 9.0f;
    }
}
