#include "engine/probe/FFDecode.h"

#include "engine/FFDisplay.h"
#include "engine/FFLoad.h"
#include "engine/FFLog.h"
#include "engine/FFmpegException.h"
#include "engine/MainThread.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include <cmath>
#include <limits>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/parseutils.h>
}

namespace {

QString Tag(const AVDictionary* tags, const char* key) {
    const AVDictionaryEntry* entry = av_dict_get(tags, key, nullptr, 0);
    return entry ? QString::fromUtf8(entry->value) : QString();
}

// The first of the keys that is present.
QString Tag(const AVDictionary* tags, std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        if (av_dict_get(tags, key, nullptr, 0) != nullptr)
            return Tag(tags, key);
    }
    return {};
}

// A whole decimal number, 0 when the text is anything else.
int32_t WholeNumber(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? value : 0;
}

int32_t ClampToInt32(int64_t value) {
    if (value > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

// A local pipe, socket or character device: reading one may never end.
bool IsStreamingNode(const QString& fileName) {
    struct stat info {};
    if (::stat(QFile::encodeName(fileName).constData(), &info) != 0)
        return false; // not a local name (a URL, a protocol) or missing: the library says why
    return S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode) || S_ISCHR(info.st_mode);
}

// Fills the fields video and audio share. The time base correction stays on the stream.
template <typename Info> void FillStreamTimes(AVStream* stream, Info& info) {
    if (stream->time_base.den == 0)
        stream->time_base.den = stream->time_base.num != 0 ? stream->time_base.num : 1;
    info.Language = Tag(stream->metadata, "language");
    info.CodecName = CodecText(stream->codecpar, false);
    info.RawStartTime = stream->start_time;
    info.RawDuration = stream->duration;
    if (stream->start_time != AV_NOPTS_VALUE)
        info.StartTime = av_rescale_q(stream->start_time, stream->time_base, AV_TIME_BASE_Q);
    if (stream->duration != AV_NOPTS_VALUE)
        info.Duration = av_rescale_q(stream->duration, stream->time_base, AV_TIME_BASE_Q);
    info.BitRate = ClampToInt32(stream->codecpar->bit_rate);
}

} // namespace

QString CodecText(const AVCodecParameters* parameters, bool encoderSide) {
    const AVCodec* codec = encoderSide ? avcodec_find_encoder(parameters->codec_id)
                                       : avcodec_find_decoder(parameters->codec_id);
    if (codec != nullptr) {
        const QString name = QString::fromUtf8(codec->name);
        const QString longName =
            codec->long_name ? QString::fromUtf8(codec->long_name).trimmed() : QString();
        return longName.isEmpty() ? name : QStringLiteral("%1(%2)").arg(name, longName);
    }
    if (parameters->codec_id == AV_CODEC_ID_MPEG2TS)
        return QStringLiteral("mpeg2ts");
    if (parameters->codec_id != AV_CODEC_ID_NONE)
        return QString::fromUtf8(avcodec_get_name(parameters->codec_id)).trimmed();
    const uint32_t tag = parameters->codec_tag;
    const char chars[4] = {char(tag & 0xff), char((tag >> 8) & 0xff), char((tag >> 16) & 0xff),
                           char((tag >> 24) & 0xff)};
    bool printable = true;
    for (char c : chars)
        printable = printable && c >= 32 && c <= 126;
    if (printable)
        return QString::asprintf("%c%c%c%c / 0x%04X", chars[0], chars[1], chars[2], chars[3], tag);
    return QString::asprintf("0x%04x", tag);
}

TCustomDecoder::TCustomDecoder(QObject* parent) : TFFBaseComponent(parent) {}

// The context it opened closes with FOwnedContext; an attached one stays its owner's.
TCustomDecoder::~TCustomDecoder() = default;

void TCustomDecoder::CheckLibraries() const {
    const struct {
        TLibraryKind Kind;
        const char* Text;
    } checks[] = {{LibAVCodec, "LibAVCodec not loaded."},
                  {LibAVFormat, "LibAVFormat not loaded."},
                  {LibAVUtil, "LibAVUtil not loaded."},
                  {LibSwScale, "LibSwScale not loaded."}};
    for (const auto& check : checks) {
        if (!FFLoader().LibraryLoaded(check.Kind))
            throw FFmpegException(QString::fromLatin1(check.Text));
    }
}

void TCustomDecoder::Warn(const QString& text) {
    FLastErrMsg = text;
    GetLogger()->Log(this, llWarning, text);
}

void TCustomDecoder::Fail(const QString& text) {
    FLastErrMsg = text;
    GetLogger()->Log(this, llError, text);
}

bool TCustomDecoder::LoadFile(const QString& fileName, const QString& formatName) {
    CheckLibraries();
    CloseFile();

    const AVInputFormat* format = nullptr;
    if (!formatName.isEmpty()) {
        format = av_find_input_format(formatName.toUtf8().constData());
        if (format == nullptr) {
            FLastErrMsg = QStringLiteral("Unknown input format: %1").arg(formatName);
            return false;
        }
    }

    // Opening a pipe or a terminal blocks in the kernel until a writer comes, where no
    // interrupt check can reach: only a named device format reads such a thing.
    if (format == nullptr && IsStreamingNode(fileName)) {
        Fail(QStringLiteral("%1: Not a regular file").arg(fileName));
        return false;
    }

    ffmpeg::FormatContextPtr unopened(avformat_alloc_context());
    if (!unopened) {
        FLastErrMsg = QStringLiteral("%1: %2").arg(fileName, engine::ErrorText(AVERROR(ENOMEM)));
        return false;
    }
    unopened->interrupt_callback = EngineInterruptCallback();
    // avformat_open_input frees the context when it fails, and opens it when it succeeds.
    AVFormatContext* context = unopened.release();
    const int result =
        avformat_open_input(&context, fileName.toUtf8().constData(), format, nullptr);
    if (result < 0) {
        Fail(QStringLiteral("%1: %2").arg(fileName, engine::ErrorText(result)));
        CloseFile();
        return false;
    }
    FOwnedContext.reset(context);
    FContext = context;

    if (OnBeforeFindStreamInfo) {
        if (TriggerEventInMainThread && !engine::IsMainThread())
            engine::RunInMainThread([&] { OnBeforeFindStreamInfo(this, FContext); });
        else
            OnBeforeFindStreamInfo(this, FContext);
    }

    if (avformat_find_stream_info(FContext, nullptr) < 0) {
        FLastErrMsg = QStringLiteral("%1: could not find codec parameters").arg(fileName);
        CloseFile();
        return false;
    }
    RefreshFileInfo();
    FForcedFormat = formatName;
    return true;
}

void TCustomDecoder::AttachFormatContext(AVFormatContext* context) {
    if (context == FContext)
        return;
    CheckLibraries();
    CloseFile();
    FContext = context;
    RefreshFileInfo();
}

void TCustomDecoder::CloseFile() {
    FForcedFormat.clear();
    FContext = nullptr;
    FOwnedContext.reset();
    RefreshFileInfo();
}

QString TCustomDecoder::FileName() {
    if (FContext == nullptr) {
        Warn(QStringLiteral("file not loaded."));
        return {};
    }
    return QString::fromUtf8(FContext->url ? FContext->url : "");
}

void TCustomDecoder::RefreshFileInfo() {
    FFileSize = -1;
    FStreamCount = FProgramCount = -1;
    FAudioStreamCount = FVideoStreamCount = FSubtitleStreamCount = -1;
    FFirstAudioStreamIndex = FFirstVideoStreamIndex = FFirstSubtitleStreamIndex = -1;
    if (FContext == nullptr)
        return;

    const int64_t containerSize = FContext->pb ? avio_size(FContext->pb) : -1;
    FFileSize = containerSize < 0 ? -1 : containerSize; // an error code is no size
    if (containerSize <= 0) {
        const QFileInfo file(QString::fromUtf8(FContext->url ? FContext->url : ""));
        if (file.exists() && !file.isDir())
            FFileSize = file.size();
    }

    FStreamCount = static_cast<int>(FContext->nb_streams);
    FProgramCount = static_cast<int>(FContext->nb_programs);
    FAudioStreamCount = FVideoStreamCount = FSubtitleStreamCount = 0;
    for (int i = 0; i < FStreamCount; ++i) {
        switch (FContext->streams[i]->codecpar->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
            ++FVideoStreamCount;
            if (FFirstVideoStreamIndex < 0)
                FFirstVideoStreamIndex = i;
            break;
        case AVMEDIA_TYPE_AUDIO:
            ++FAudioStreamCount;
            if (FFirstAudioStreamIndex < 0)
                FFirstAudioStreamIndex = i;
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            ++FSubtitleStreamCount;
            if (FFirstSubtitleStreamIndex < 0)
                FFirstSubtitleStreamIndex = i;
            break;
        default: break;
        }
    }
}

bool TCustomDecoder::GetFileStreamInfo(TFileStreamInfo& info) {
    info = TFileStreamInfo{};
    if (FContext == nullptr) {
        Warn(QStringLiteral("file not loaded."));
        return false;
    }
    if (FContext->start_time != AV_NOPTS_VALUE)
        info.StartTime = FContext->start_time;
    if (FContext->duration != AV_NOPTS_VALUE)
        info.Duration = FContext->duration;
    info.BitRate = ClampToInt32(FContext->bit_rate);

    const AVDictionary* tags = FContext->metadata;
    info.Timestamp = 0;
    int64_t created = 0;
    const QByteArray creation = Tag(tags, "creation_time").toUtf8();
    if (!creation.isEmpty() && av_parse_time(&created, creation.constData(), 0) >= 0)
        info.Timestamp = created;
    info.Year = WholeNumber(Tag(tags, {"year", "date"}));
    info.Track = WholeNumber(Tag(tags, "track"));
    info.Title = Tag(tags, "title");
    info.Author = Tag(tags, {"author", "artist"});
    info.Copyright = Tag(tags, "copyright");
    info.Comment = Tag(tags, "comment");
    info.Album = Tag(tags, "album");
    info.Genre = Tag(tags, "genre");
    return true;
}

AVStream* TCustomDecoder::StreamOfKind(int index, int kind, int firstIndex, const char* kindName,
                                       const char* noneText) {
    if (FContext == nullptr) {
        Warn(QStringLiteral("file not loaded."));
        return nullptr;
    }
    if (index < 0) {
        index = firstIndex;
        if (index < 0) {
            Fail(QString::fromLatin1(noneText));
            return nullptr;
        }
    }
    if (index >= FStreamCount) {
        Fail(QStringLiteral("stream index #%1 is invalid.").arg(index));
        return nullptr;
    }
    AVStream* stream = FContext->streams[index];
    if (stream->codecpar->codec_type != kind) {
        Fail(
            QStringLiteral("stream #%1 is not %2 stream.").arg(index).arg(QLatin1String(kindName)));
        return nullptr;
    }
    return stream;
}

bool TCustomDecoder::GetVideoStreamInfo(int index, TVideoStreamInfo& info) {
    info = TVideoStreamInfo{};
    AVStream* stream = StreamOfKind(index, AVMEDIA_TYPE_VIDEO, FFirstVideoStreamIndex, "video",
                                    "no video stream.");
    if (stream == nullptr)
        return false;
    FillStreamTimes(stream, info);
    const AVCodecParameters* parameters = stream->codecpar;
    info.Height = parameters->height;
    info.Width = parameters->width;
    info.PixelFormat = parameters->format;
    // An unknown sample aspect ratio (0/1) gives 0, as does a zero height or denominator.
    const AVRational sar = parameters->sample_aspect_ratio;
    if (sar.den != 0 && info.Height != 0)
        info.DisplayAspectRatio =
            static_cast<float>(info.Width * (double(sar.num) / sar.den) / info.Height);
    else
        info.DisplayAspectRatio = 0.0f;
    const AVRational rate = stream->avg_frame_rate.num != 0 && stream->avg_frame_rate.den != 0
                                ? stream->avg_frame_rate
                                : stream->r_frame_rate;
    info.FrameRateNum = rate.num;
    info.FrameRateDen = rate.den;
    const TDisplayGeometry shown = DisplayGeometryOf(FContext, stream);
    info.Rotation = shown.Rotation;
    info.SampleAspectNum = shown.SampleAspect.num;
    info.SampleAspectDen = shown.SampleAspect.den;
    info.DisplayWidth = shown.Width;
    info.DisplayHeight = shown.Height;
    return true;
}

bool TCustomDecoder::GetAudioStreamInfo(int index, TAudioStreamInfo& info) {
    info = TAudioStreamInfo{};
    AVStream* stream = StreamOfKind(index, AVMEDIA_TYPE_AUDIO, FFirstAudioStreamIndex, "audio",
                                    "no audio stream.");
    if (stream == nullptr)
        return false;
    FillStreamTimes(stream, info);
    info.Channels = stream->codecpar->ch_layout.nb_channels;
    info.SampleRate = stream->codecpar->sample_rate;
    info.SampleFormat = stream->codecpar->format;
    return true;
}

bool TCustomDecoder::StreamKindIs(int index, int kind) {
    if (FContext == nullptr) {
        Warn(QStringLiteral("file not loaded."));
        return false;
    }
    if (index < 0 || index >= FStreamCount) {
        Fail(QStringLiteral("stream index #%1 is invalid.").arg(index));
        return false;
    }
    return FContext->streams[index]->codecpar->codec_type == kind;
}

bool TCustomDecoder::IsVideoStream(int index) {
    return StreamKindIs(index, AVMEDIA_TYPE_VIDEO);
}

bool TCustomDecoder::IsAudioStream(int index) {
    return StreamKindIs(index, AVMEDIA_TYPE_AUDIO);
}

TFFDecoder::TFFDecoder(QObject* parent) : TCustomDecoder(parent) {}
