#include "engine/transcoder/FFmpegLibraryOptions.h"

extern "C" {
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

namespace {

constexpr AVMediaType kCodecKinds[] = {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO,
                                       AVMEDIA_TYPE_SUBTITLE};

int KindFlag(AVMediaType kind) {
    switch (kind) {
    case AVMEDIA_TYPE_VIDEO: return AV_OPT_FLAG_VIDEO_PARAM;
    case AVMEDIA_TYPE_AUDIO: return AV_OPT_FLAG_AUDIO_PARAM;
    case AVMEDIA_TYPE_SUBTITLE: return AV_OPT_FLAG_SUBTITLE_PARAM;
    default: return 0;
    }
}

const AVOption* FindGeneric(const AVClass* const* cls, const char* name, int flags = 0) {
    return av_opt_find(const_cast<AVClass**>(cls), name, nullptr, flags, AV_OPT_SEARCH_FAKE_OBJ);
}

// In some codec's or format's own option table (it may be a generic option as well: libx264's
// "profile" is a name, the generic one a number).
bool IsPrivateOption(const AVClass* cls, const char* name) {
    void* iterator = nullptr;
    while (const AVClass* child = av_opt_child_class_iterate(cls, &iterator)) {
        if (FindGeneric(&child, name) != nullptr)
            return true;
    }
    return false;
}

QString Quoted(const char* format, const QByteArray& a) {
    return QString::asprintf(format, a.constData());
}

void LogRejected(const QString& value, const QString& name) {
    av_log(nullptr, AV_LOG_ERROR, "Invalid value \"%s\" for option \"%s\"\n",
           value.toUtf8().constData(), name.toUtf8().constData());
}

} // namespace

TLibraryOptions::TLibraryOptions() {
    Reset();
}

void TLibraryOptions::Reset() {
    FVideo.reset(avcodec_alloc_context3(nullptr));
    FAudio.reset(avcodec_alloc_context3(nullptr));
    FSubtitle.reset(avcodec_alloc_context3(nullptr));
    FFormat.reset(avformat_alloc_context());
    FScaler.reset(sws_alloc_context());
    if (FScaler)
        av_opt_set_int(FScaler.get(), "sws_flags", SWS_BICUBIC, 0);
    FPairs.clear();
}

AVCodecContext* TLibraryOptions::CodecOptions(AVMediaType kind) const {
    switch (kind) {
    case AVMEDIA_TYPE_VIDEO: return FVideo.get();
    case AVMEDIA_TYPE_AUDIO: return FAudio.get();
    case AVMEDIA_TYPE_SUBTITLE: return FSubtitle.get();
    default: return nullptr;
    }
}

int TLibraryOptions::ScalerFlags() const {
    int64_t flags = SWS_BICUBIC;
    if (FScaler)
        av_opt_get_int(FScaler.get(), "sws_flags", 0, &flags);
    return static_cast<int>(flags);
}

bool TLibraryOptions::DebugRequested() const {
    int64_t codecDebug = 0, formatDebug = 0;
    av_opt_get_int(FVideo.get(), "debug", 0, &codecDebug);
    av_opt_get_int(FFormat.get(), "fdebug", 0, &formatDebug);
    return codecDebug != 0 || formatDebug != 0;
}

std::optional<QString> TLibraryOptions::SetGeneric(const QByteArray& name, const QByteArray& value,
                                                   std::optional<AVMediaType> kind, bool* taken) {
    for (AVMediaType codecKind : kCodecKinds) {
        if (kind && *kind != codecKind)
            continue;
        AVCodecContext* set = CodecOptions(codecKind);
        if (av_opt_find(set, name.constData(), nullptr, KindFlag(codecKind), 0) == nullptr)
            continue;
        if (av_opt_set(set, name.constData(), value.constData(), 0) < 0) {
            return QString::asprintf("Invalid value \"%s\" for option \"%s\"", value.constData(),
                                     name.constData());
        }
        *taken = true;
    }
    if (kind)
        return std::nullopt;
    if (av_opt_find(FFormat.get(), name.constData(), nullptr, 0, 0) != nullptr) {
        if (av_opt_set(FFormat.get(), name.constData(), value.constData(), 0) < 0) {
            return QString::asprintf("Invalid value \"%s\" for option \"%s\"", value.constData(),
                                     name.constData());
        }
        *taken = true;
    }
    if (FScaler && av_opt_find(FScaler.get(), name.constData(), nullptr, 0, 0) != nullptr) {
        if (av_opt_set(FScaler.get(), name.constData(), value.constData(), 0) < 0)
            return Quoted("Error setting option \"%s\"", name);
        *taken = true;
    }
    return std::nullopt;
}

std::optional<QString> TLibraryOptions::Set(const QString& name, const QString& value,
                                            std::optional<AVMediaType> kind) {
    if (name.trimmed().isEmpty())
        return QString();
    const QByteArray key = name.toUtf8();
    const QByteArray text = value.toUtf8();
    std::optional<QString> failure;
    TPair pair{name, value, kind, false};

    if (!kind && (IsPrivateOption(avcodec_get_class(), key.constData()) ||
                  IsPrivateOption(avformat_get_class(), key.constData()))) {
        // Kept for the codecs and formats that have it; set where a generic set knows it too.
        pair.Private = true;
        bool taken = false;
        SetGeneric(key, text, std::nullopt, &taken);
    } else {
        bool taken = false;
        failure = SetGeneric(key, text, kind, &taken);
        if (!failure && !taken && !kind && key.size() > 1) {
            const char prefix = key[0];
            const AVMediaType prefixKind = prefix == 'a'   ? AVMEDIA_TYPE_AUDIO
                                           : prefix == 'v' ? AVMEDIA_TYPE_VIDEO
                                           : prefix == 's' ? AVMEDIA_TYPE_SUBTITLE
                                                           : AVMEDIA_TYPE_UNKNOWN;
            if (prefixKind != AVMEDIA_TYPE_UNKNOWN) {
                failure = SetGeneric(key.mid(1), text, prefixKind, &taken);
                pair = {QString::fromUtf8(key.mid(1)), value, prefixKind, false};
            }
        }
        if (!failure && !taken)
            failure = Quoted("Unrecognized option \"%s\"", key);
    }
    if (failure) {
        av_log(nullptr, AV_LOG_ERROR, "%s\n", failure->toUtf8().constData());
        return failure;
    }
    FPairs.append(pair);
    return std::nullopt;
}

void TLibraryOptions::ApplyTo(AVCodecContext* context, bool encoding) const {
    const int flags = (encoding ? AV_OPT_FLAG_ENCODING_PARAM : AV_OPT_FLAG_DECODING_PARAM) |
                      KindFlag(context->codec_type);
    const bool hasOwn = context->codec != nullptr && context->codec->priv_class != nullptr;
    for (const TPair& pair : FPairs) {
        if (!pair.Kind || *pair.Kind == context->codec_type)
            ApplyPair(pair, context, hasOwn ? context->priv_data : nullptr,
                      CodecOptions(context->codec_type), flags);
    }
}

void TLibraryOptions::ApplyTo(AVFormatContext* context, bool output) const {
    const int flags = output ? AV_OPT_FLAG_ENCODING_PARAM : AV_OPT_FLAG_DECODING_PARAM;
    const AVClass* ownClass = context->oformat   ? context->oformat->priv_class
                              : context->iformat ? context->iformat->priv_class
                                                 : nullptr;
    for (const TPair& pair : FPairs) {
        if (!pair.Kind)
            ApplyPair(pair, context, ownClass ? context->priv_data : nullptr, FFormat.get(), flags);
    }
}

void TLibraryOptions::ApplyPair(const TPair& pair, void* context, void* own, const void* set,
                                int flags) {
    const QByteArray name = pair.Name.toUtf8();
    const bool generic =
        set != nullptr && av_opt_find(context, name.constData(), nullptr, flags, 0) != nullptr;
    const bool hasOwn =
        own != nullptr && av_opt_find(own, name.constData(), nullptr, 0, 0) != nullptr;
    // The context's own option wins for a name given as private; the generic one otherwise.
    if (hasOwn && (pair.Private || !generic)) {
        if (av_opt_set(own, name.constData(), pair.Value.toUtf8().constData(), 0) < 0)
            LogRejected(pair.Value, pair.Name);
        return;
    }
    if (!generic)
        return;
    // The generic set holds the value as checked when it was given.
    uint8_t* raw = nullptr;
    if (av_opt_get(const_cast<void*>(set), name.constData(), 0, &raw) < 0)
        return;
    const ffmpeg::MemoryPtr<char> current(reinterpret_cast<char*>(raw));
    if (av_opt_set(context, name.constData(), current.get(), 0) < 0)
        LogRejected(QString::fromUtf8(current.get()), pair.Name);
}

ffmpeg::DictionaryPtr TLibraryOptions::DemuxerDictionary() const {
    AVDictionary* dictionary = nullptr;
    for (const TPair& pair : FPairs) {
        if (pair.Private && IsPrivateOption(avformat_get_class(), pair.Name.toUtf8().constData()))
            av_dict_set(&dictionary, pair.Name.toUtf8().constData(),
                        pair.Value.toUtf8().constData(), 0);
    }
    return ffmpeg::DictionaryPtr(dictionary);
}
