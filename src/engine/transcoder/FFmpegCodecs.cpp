// Codec lookup by name and the checks that fit a chosen format to what an encoder supports.

#include "engine/transcoder/FFmpeg.h"

#include "engine/FFLog.h"

#include <cmath>
#include <cstdlib>

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

AVMediaType TCustomFFmpeg::MediaType(TStreamKind kind) {
    switch (kind) {
    case TStreamKind::Video: return AVMEDIA_TYPE_VIDEO;
    case TStreamKind::Audio: return AVMEDIA_TYPE_AUDIO;
    case TStreamKind::Subtitle: return AVMEDIA_TYPE_SUBTITLE;
    case TStreamKind::Data: return AVMEDIA_TYPE_DATA;
    }
    return AVMEDIA_TYPE_UNKNOWN;
}

std::optional<QString> TCustomFFmpeg::FindCodec(const QString& name, AVMediaType type, bool encoder,
                                                const AVCodec** codec) const {
    *codec = nullptr;
    if (name.isEmpty())
        return std::nullopt; // the default codec
    const char* side = encoder ? "encoder" : "decoder";
    const QByteArray utf8 = name.toUtf8();
    const AVCodec* found = encoder ? avcodec_find_encoder_by_name(utf8.constData())
                                   : avcodec_find_decoder_by_name(utf8.constData());
    if (found == nullptr)
        return QStringLiteral("Unknown %1 '%2'").arg(QLatin1String(side), name);
    if (found->type != type)
        return QStringLiteral("Invalid %1 type '%2'").arg(QLatin1String(side), name);

    int64_t strictness = FF_COMPLIANCE_NORMAL;
    if (const AVCodecContext* set = FLibraryOptions.CodecOptions(type))
        strictness = set->strict_std_compliance;
    if ((found->capabilities & AV_CODEC_CAP_EXPERIMENTAL) &&
        strictness > FF_COMPLIANCE_EXPERIMENTAL) {
        QString text = QStringLiteral("%1 '%2' is experimental and might produce bad results.\r\n"
                                      "Add '-strict experimental' if you want to use it.")
                           .arg(QLatin1String(side), name);
        const AVCodec* usual =
            encoder ? avcodec_find_encoder(found->id) : avcodec_find_decoder(found->id);
        if (usual != nullptr && !(usual->capabilities & AV_CODEC_CAP_EXPERIMENTAL))
            text += QStringLiteral("\r\nOr use the non experimental %1 '%2'.")
                        .arg(QLatin1String(side), QString::fromUtf8(usual->name));
        return text;
    }
    *codec = found;
    return std::nullopt;
}

void TCustomFFmpeg::ChooseSampleFormat(AVCodecContext* encoder) {
    const AVCodec* codec =
        encoder->codec != nullptr ? encoder->codec : avcodec_find_encoder(encoder->codec_id);
    if (codec == nullptr || codec->sample_fmts == nullptr)
        return;
    for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) {
        if (*f == encoder->sample_fmt)
            return;
    }
    const AVSampleFormat chosen = codec->sample_fmts[0];
    if ((codec->capabilities & AV_CODEC_CAP_LOSSLESS) &&
        av_get_bytes_per_sample(encoder->sample_fmt) > av_get_bytes_per_sample(chosen))
        Log(llError, QStringLiteral("Convertion will not be lossless"));
    if (encoder->sample_fmt != AV_SAMPLE_FMT_NONE) {
        Log(llWarning, QStringLiteral("Incompatible sample format \"%1\" for codec \"%2\", "
                                      "auto-selecting format \"%3\"")
                           .arg(QString::fromUtf8(av_get_sample_fmt_name(encoder->sample_fmt)),
                                QString::fromUtf8(codec->name),
                                QString::fromUtf8(av_get_sample_fmt_name(chosen))));
    }
    encoder->sample_fmt = chosen;
}

void TCustomFFmpeg::ChooseSampleRate(AVCodecContext* encoder) {
    const AVCodec* codec = encoder->codec;
    if (codec == nullptr || codec->supported_samplerates == nullptr)
        return;
    int best = 0;
    int bestDistance = INT_MAX;
    for (const int* rate = codec->supported_samplerates; *rate != 0; ++rate) {
        const int distance = std::abs(encoder->sample_rate - *rate);
        if (distance < bestDistance) {
            best = *rate;
            bestDistance = distance;
        }
    }
    if (best != encoder->sample_rate) {
        Log(llWarning,
            QStringLiteral("Requested sampling rate unsupported using closest supported (%1)")
                .arg(best));
        encoder->sample_rate = best;
    }
}

void TCustomFFmpeg::ChoosePixelFormat(AVCodecContext* encoder) {
    const AVCodec* codec = encoder->codec;
    if (codec == nullptr || codec->pix_fmts == nullptr)
        return;
    const AVPixelFormat* formats = codec->pix_fmts;
    if (encoder->strict_std_compliance <= FF_COMPLIANCE_UNOFFICIAL &&
        (codec->id == AV_CODEC_ID_MJPEG || codec->id == AV_CODEC_ID_LJPEG)) {
        static const AVPixelFormat mjpeg[] = {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P,
                                              AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P,
                                              AV_PIX_FMT_NONE};
        static const AVPixelFormat ljpeg[] = {
            AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUVJ444P, AV_PIX_FMT_YUV420P,
            AV_PIX_FMT_YUV422P,  AV_PIX_FMT_YUV444P,  AV_PIX_FMT_BGRA,     AV_PIX_FMT_NONE};
        formats = codec->id == AV_CODEC_ID_MJPEG ? mjpeg : ljpeg;
    }
    for (const AVPixelFormat* f = formats; *f != AV_PIX_FMT_NONE; ++f) {
        if (*f == encoder->pix_fmt)
            return;
    }
    if (encoder->pix_fmt != AV_PIX_FMT_NONE) {
        Log(llWarning, QStringLiteral("Incompatible pixel format \"%1\" for codec \"%2\", "
                                      "auto-selecting format \"%3\"")
                           .arg(QString::fromUtf8(av_get_pix_fmt_name(encoder->pix_fmt)),
                                QString::fromUtf8(codec->name),
                                QString::fromUtf8(av_get_pix_fmt_name(formats[0]))));
    }
    encoder->pix_fmt = formats[0];
}
