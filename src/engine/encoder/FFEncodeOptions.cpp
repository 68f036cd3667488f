#include "engine/encoder/FFEncodeOptions.h"

#include "engine/transcoder/FFmpeg.h"

#include <QDateTime>
#include <QTimeZone>

namespace {

bool IsNewStreamOption(const QString& name) {
    return name == QLatin1String("newvideo") || name == QLatin1String("newaudio") ||
           name == QLatin1String("newsubtitle") || name == QLatin1String("newdata");
}

// Options that belong to each stream of an output rather than to the job.
bool IsPerStreamOption(const QString& name) {
    return name == QLatin1String("acodec") || name == QLatin1String("vcodec") ||
           name == QLatin1String("scodec") || name == QLatin1String("dcodec") ||
           name == QLatin1String("s") || name == QLatin1String("vfilters") ||
           name == QLatin1String("vf");
}

// One name for the options that have two.
QString CanonicalName(const QString& name) {
    return name == QLatin1String("vfilters") ? QStringLiteral("vf") : name;
}

// The per-stream options a stream added by `kind` takes.
QStringList PerStreamOptionsOf(const QString& kind) {
    if (kind == QLatin1String("newaudio"))
        return {QStringLiteral("acodec")};
    if (kind == QLatin1String("newvideo"))
        return {QStringLiteral("vcodec"), QStringLiteral("s"), QStringLiteral("vf")};
    if (kind == QLatin1String("newsubtitle"))
        return {QStringLiteral("scodec")};
    return {QStringLiteral("dcodec")};
}

QString Flag(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

// The record's fields, in the order of its table.
void ApplyRecordFields(TCustomFFmpeg& job, const TOutputOptions& options) {
    if (!options.FileFormat.isEmpty())
        job.SetFormat(options.FileFormat);
    if (options.PacketSize > 0)
        job.SetIntegerOption(QStringLiteral("packetsize"), options.PacketSize);
    if (options.MuxRate > 0)
        job.SetIntegerOption(QStringLiteral("muxrate"), options.MuxRate);
    job.SetMuxDelay(options.MuxDelay);
    job.SetMuxPreload(options.MuxPreload);
    if (options.DisableAudio)
        job.SetOption(QStringLiteral("an"), Flag(true));
    job.SetVolume(options.AudioVolume);
    job.SetChannels(options.AudioChannels);
    job.SetSampleRate(options.AudioSampleRate);
    if (options.AudioBitrate > 0 && options.Target == 0)
        job.SetBitrate(QStringLiteral("ab"), options.AudioBitrate);
    if (options.AudioBitrateTolerance > 0)
        job.SetIntegerOption(QStringLiteral("abt"), options.AudioBitrateTolerance);
    job.SetOption(QStringLiteral("alang"), options.AudioLanguage);
    job.SetAudioSync(options.AudioSync);
    if (!options.AudioTag.isEmpty())
        job.SetCodecTag(QStringLiteral("atag"), options.AudioTag);
    if (options.DisableVideo)
        job.SetOption(QStringLiteral("vn"), Flag(true));
    if (!options.FrameRate.isEmpty())
        job.SetFrameRate(options.FrameRate);
    if (!options.FrameAspectRatio.isEmpty())
        job.SetAspect(options.FrameAspectRatio);
    if (options.GopSize > 0)
        job.SetIntegerOption(QStringLiteral("g"), options.GopSize);
    if (options.VideoBitrate > 0 && options.Target == 0)
        job.SetBitrate(QStringLiteral("vb"), options.VideoBitrate);
    if (options.VideoMaxRate > 0)
        job.SetIntegerOption(QStringLiteral("maxrate"), options.VideoMaxRate);
    if (options.VideoMinRate > 0)
        job.SetIntegerOption(QStringLiteral("minrate"), options.VideoMinRate);
    if (options.VideoBitrateTolerance > 0)
        job.SetIntegerOption(QStringLiteral("bt"), options.VideoBitrateTolerance);
    if (options.VideoBufSize > 0)
        job.SetIntegerOption(QStringLiteral("bufsize"), options.VideoBufSize);
    job.SetVideoSync(options.VideoSync);
    if (!options.VideoTag.isEmpty())
        job.SetCodecTag(QStringLiteral("vtag"), options.VideoTag);
    job.SetOption(QStringLiteral("vlang"), options.VideoLanguage);
    job.SetOption(QStringLiteral("sn"), Flag(options.DisableSubtitle));
    job.SetOption(QStringLiteral("slang"), options.SubtitleLanguage);
    job.SetOption(QStringLiteral("isync"), Flag(options.InputSync));
    if (options.CopyTimestamps)
        job.SetOption(QStringLiteral("copyts"), Flag(true));
    job.SetStartTime(options.StartTime);
    job.SetRecordingTime(options.Duration);
    job.SetOverwrite(options.Overwrite);
}

void ApplyStreamInfo(TCustomFFmpeg& job, const TStreamInfo& info) {
    if (info.Timestamp == 0)
        job.SetRecordingTimestamp(QDateTime::currentSecsSinceEpoch());
    else if (info.Timestamp > 0)
        job.SetRecordingTimestamp(LocalDaysToUnixSeconds(info.Timestamp));
    if (info.Year > 0)
        job.AddMetadata(QStringLiteral("year"), QString::number(info.Year));
    if (info.Track > 0)
        job.AddMetadata(QStringLiteral("track"), QString::number(info.Track));
    const std::pair<const char*, const QString*> texts[] = {
        {"title", &info.Title},     {"author", &info.Author}, {"copyright", &info.Copyright},
        {"comment", &info.Comment}, {"album", &info.Album},   {"genre", &info.Genre}};
    for (const auto& [key, value] : texts) {
        if (!value->isEmpty())
            job.AddMetadata(QLatin1String(key), *value);
    }
}

} // namespace

void InitInputOptions(TInputOptions& options) {
    options = TInputOptions{};
}

void InitOutputOptions(TOutputOptions& options) {
    options = TOutputOptions{};
}

TOptionPairs ParseExtraOptions(const QString& text) {
    QString normalised = text.trimmed();
    normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    normalised.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    normalised.replace(QStringLiteral("<CRLF>"), QStringLiteral("\n"));
    TOptionPairs pairs;
    for (const QString& line : normalised.split(QLatin1Char('\n'))) {
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        const QString name = (equals < 0 ? line : line.left(equals)).trimmed().toLower();
        if (!name.isEmpty())
            pairs.append({name, equals < 0 ? QString() : line.mid(equals + 1)});
    }
    return pairs;
}

QString ExtraStreamValue(const QString& text, const QString& name) {
    for (const auto& [option, value] : ParseExtraOptions(text)) {
        if (IsPerStreamOption(option) && CanonicalName(option) == name && !value.isEmpty())
            return value;
    }
    return {};
}

void ApplyInputOptions(TCustomFFmpeg& job, const TInputOptions& options) {
    for (const auto& [name, value] : ParseExtraOptions(options.ExtOptions)) {
        if (IsNewStreamOption(name) || CanonicalName(name) == QLatin1String("vf"))
            continue;
        job.SetOption(name, value);
    }
    if (!options.FileFormat.isEmpty())
        job.SetFormat(options.FileFormat);
    job.SetStartTime(options.StartTime);
    job.SetProgramId(options.ProgramId);
}

QString TStreamValues::DefaultOf(const QString& name) const {
    return Defaults.value(name);
}

QString TStreamValues::Take(const QString& name) {
    for (qsizetype i = 0; i < Extra.size(); ++i) {
        if (Extra[i].first == name)
            return Extra.takeAt(i).second;
    }
    return DefaultOf(name);
}

TStreamValues ApplyOutputOptions(TCustomFFmpeg& job, const TOutputOptions& options) {
    TStreamValues values;
    const std::pair<const char*, QString> recordValues[] = {
        {"acodec", options.AudioCodec},    {"vcodec", options.VideoCodec},
        {"scodec", options.SubtitleCodec}, {"dcodec", options.DataCodec},
        {"fpre", options.PresetFile},      {"s", options.FrameSize},
        {"vf", options.VideoFilters}};
    for (const auto& [name, value] : recordValues) {
        if (!value.isEmpty())
            values.Defaults.insert(QLatin1String(name), value);
    }
    TOptionPairs direct;
    for (auto [name, value] : ParseExtraOptions(options.ExtOptions)) {
        if (IsNewStreamOption(name)) {
            values.NewStreams.append(name);
        } else if (!IsPerStreamOption(name)) {
            direct.append({name, value});
        } else if (!value.isEmpty()) {
            name = CanonicalName(name);
            if (values.DefaultOf(name).isEmpty())
                values.Defaults.insert(name, value);
            values.Extra.append({name, value});
        }
    }

    if (options.Target >= 1 && options.Target <= 3)
        job.SetTarget(options.Target, options.TargetNorm, options.TargetFallbackNorm);
    for (const char* codec : {"acodec", "vcodec", "scodec", "dcodec"}) {
        const QString value = values.DefaultOf(QLatin1String(codec));
        if (!value.isEmpty())
            job.SetCodec(QLatin1String(codec), value);
    }
    if (const QString preset = values.DefaultOf(QStringLiteral("fpre")); !preset.isEmpty())
        job.SetPresetFile(preset);
    for (const auto& [name, value] : direct)
        job.SetOption(name, value);
    ApplyRecordFields(job, options);
    ApplyStreamInfo(job, options.Info);
    if (const QString size = values.DefaultOf(QStringLiteral("s")); !size.isEmpty())
        job.SetFrameSize(size);
    if (const QString filters = values.DefaultOf(QStringLiteral("vf")); !filters.isEmpty())
        job.SetVideoFilters(filters);
    job.HookBitsPixel = options.HookBitsPixel;
    return values;
}

void AddNewStreams(TCustomFFmpeg& job, TStreamValues& values) {
    for (const QString& kind : values.NewStreams) {
        for (const QString& name : PerStreamOptionsOf(kind)) {
            const QString value = values.Take(name);
            if (!value.isEmpty())
                job.SetOption(name, value);
        }
        job.SetOption(kind, QString());
    }
}

int64_t LocalDaysToUnixSeconds(double days) {
    const int standardOffset =
        QTimeZone::systemTimeZone().standardTimeOffset(QDateTime::currentDateTimeUtc());
    return static_cast<int64_t>((days - 25569.0) * 86400.0) - standardOffset;
}
