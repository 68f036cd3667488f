// Opening the job's inputs.

#include "engine/transcoder/FFmpeg.h"

#include "engine/FFLoad.h"
#include "engine/FFLog.h"
#include "engine/FFmpegException.h"

#include <QFileInfo>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace {

// Grab parameters for device inputs, where the demuxer has such options.
void AddGrabParameters(const TPendingSettings& pending, AVDictionary** options) {
    if (pending.AudioSampleRate > 0)
        av_dict_set_int(options, "sample_rate", pending.AudioSampleRate, 0);
    if (pending.AudioChannels > 0)
        av_dict_set_int(options, "channels", pending.AudioChannels, 0);
    if (pending.FrameRate.num > 0 && pending.FrameRate.den > 0)
        av_dict_set(options, "framerate",
                    QStringLiteral("%1/%2")
                        .arg(pending.FrameRate.num)
                        .arg(pending.FrameRate.den)
                        .toUtf8()
                        .constData(),
                    0);
    if (pending.FrameWidth > 0 && pending.FrameHeight > 0)
        av_dict_set(options, "video_size",
                    QStringLiteral("%1x%2")
                        .arg(pending.FrameWidth)
                        .arg(pending.FrameHeight)
                        .toUtf8()
                        .constData(),
                    0);
    if (pending.PixelFormat != AV_PIX_FMT_NONE)
        av_dict_set(options, "pixel_format", av_get_pix_fmt_name(pending.PixelFormat), 0);
    if (pending.VideoChannel)
        av_dict_set_int(options, "channel", *pending.VideoChannel, 0);
    if (!pending.TvStandard.isEmpty())
        av_dict_set(options, "standard", pending.TvStandard.toUtf8().constData(), 0);
    if (pending.LoopInput)
        av_dict_set(options, "loop", "1", 0);
}

} // namespace

bool TCustomFFmpeg::OpenInputFile(const QString& fileName) {
    FLastErrorText.clear();
    if (static_cast<int>(FInputFiles.size()) >= FMaxFiles) {
        FLastErrorText = QStringLiteral("Too many input files.");
        return false;
    }
    const AVInputFormat* format = nullptr;
    if (!FPending.FormatName.isEmpty()) {
        format = av_find_input_format(FPending.FormatName.toUtf8().constData());
        if (format == nullptr)
            throw FFmpegException(
                QStringLiteral("Unknown input format: \"%1\"").arg(FPending.FormatName));
        FPending.FormatName.clear();
    }

    // Forced decoders.
    const AVCodec* forced[3] = {};
    const TStreamKind forcedKinds[3] = {TStreamKind::Video, TStreamKind::Audio,
                                        TStreamKind::Subtitle};
    for (int i = 0; i < 3; ++i) {
        const std::optional<QString> failure = FindCodec(
            FPending.Kind(forcedKinds[i]).CodecName, MediaType(forcedKinds[i]), false, &forced[i]);
        if (failure) {
            FLastErrorText = *failure;
            return false;
        }
    }

    ffmpeg::FormatContextPtr unopened(avformat_alloc_context());
    if (!unopened) {
        FLastErrorText = QStringLiteral("avformat_alloc_context failed");
        return false;
    }
    AVFormatContext* raw = unopened.get();
    raw->interrupt_callback = EngineInterruptCallback();
    raw->flags |= AVFMT_FLAG_NONBLOCK;
    raw->video_codec = forced[0];
    raw->audio_codec = forced[1];
    raw->subtitle_codec = forced[2];
    if (forced[0] != nullptr)
        raw->video_codec_id = forced[0]->id;
    if (forced[1] != nullptr)
        raw->audio_codec_id = forced[1]->id;
    if (forced[2] != nullptr)
        raw->subtitle_codec_id = forced[2]->id;
    FLibraryOptions.ApplyTo(raw, false);

    ffmpeg::DictionaryPtr options = FLibraryOptions.DemuxerDictionary();
    AVDictionary* rawOptions = options.release();
    AddGrabParameters(FPending, &rawOptions);
    options.reset(rawOptions);

    int result = 0;
    {
        TTimedIO timed(*this);
        rawOptions = options.release();
        // avformat_open_input frees the context when it fails, and owns it when it succeeds.
        raw = unopened.release();
        result = avformat_open_input(&raw, fileName.toUtf8().constData(), format, &rawOptions);
        options.reset(rawOptions);
    }
    if (result < 0) {
        FLastErrorText = QStringLiteral("%1: %2").arg(fileName, engine::ErrorText(result));
        return false;
    }
    ffmpeg::InputContextPtr context(raw);

    if (FPending.ProgramId != 0) {
        bool found = false;
        for (unsigned i = 0; i < context->nb_streams; ++i)
            context->streams[i]->discard = AVDISCARD_ALL;
        for (unsigned p = 0; p < context->nb_programs; ++p) {
            const AVProgram* program = context->programs[p];
            if (program->id != FPending.ProgramId)
                continue;
            found = true;
            for (unsigned s = 0; s < program->nb_stream_indexes; ++s)
                context->streams[program->stream_index[s]]->discard = AVDISCARD_DEFAULT;
        }
        if (!found) {
            FLastErrorText = QStringLiteral("Specified program id not found");
            return false;
        }
    }

    if (OnBeforeFindStreamInfo)
        OnBeforeFindStreamInfo(*this, context.get());

    {
        TTimedIO timed(*this);
        result = avformat_find_stream_info(context.get(), nullptr);
    }
    if (result < 0) {
        const QString text = QStringLiteral("%1: could not find codec parameters").arg(fileName);
        if (FSettings.Verbosity >= 0) {
            FLastErrorText = text;
            Log(llVerbose, text);
        }
        if (FLastErrorText.isEmpty())
            FLastErrorText = text;
        return false;
    }

    const int64_t startTime = FPending.StartTime;
    int64_t seekTarget = startTime;
    if (context->start_time != AV_NOPTS_VALUE)
        seekTarget += context->start_time;
    if (FPending.StartTime != 0) {
        TTimedIO timed(*this);
        if (av_seek_frame(context.get(), -1, seekTarget, AVSEEK_FLAG_BACKWARD) < 0 &&
            FSettings.Verbosity > 0)
            Log(llVerbose, QString::asprintf("%s: could not seek to position %0.3f",
                                             fileName.toUtf8().constData(), seekTarget / 1e6));
    }
    FPending.StartTime = 0;

    TInputFile file;
    file.FirstStream = static_cast<int>(FInputStreams.size());
    file.StreamCount = static_cast<int>(context->nb_streams);
    file.TimestampScales = FPending.InputTimestampScales;
    file.TimestampOffset = FPending.InputTimeOffset - (FSettings.CopyTimestamps ? 0 : seekTarget);
    file.Seeked = startTime != 0 && !FSettings.CopyTimestamps;
    file.StartTime = startTime;
    file.Duration = context->duration;

    for (unsigned i = 0; i < context->nb_streams; ++i) {
        AVStream* stream = context->streams[i];
        TInputStream input;
        input.FileIndex = static_cast<int>(FInputFiles.size());
        input.Stream = stream;
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            input.Shown = DisplayGeometryOf(context.get(), stream);
            // Without turning, the pixels are still made square.
            if (FPending.NoAutoRotate && input.Shown.Turned())
                std::swap(input.Shown.Width, input.Shown.Height);
            if (FPending.NoAutoRotate)
                input.Shown.Rotation = 0;
        }
        const AVCodecParameters* parameters = stream->codecpar;
        switch (parameters->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
            input.Decoder = forced[0] ? forced[0] : avcodec_find_decoder(parameters->codec_id);
            if (FPending.Kind(TStreamKind::Video).Disabled)
                stream->discard = AVDISCARD_ALL;
            else if (FPending.VideoDiscard != 0)
                stream->discard = static_cast<AVDiscard>(FPending.VideoDiscard);
            break;
        case AVMEDIA_TYPE_AUDIO:
            input.Decoder = forced[1] ? forced[1] : avcodec_find_decoder(parameters->codec_id);
            FPending.ChannelLayout = parameters->ch_layout.order == AV_CHANNEL_ORDER_NATIVE
                                         ? parameters->ch_layout.u.mask
                                         : 0;
            FPending.SampleFormat = static_cast<AVSampleFormat>(parameters->format);
            if (FPending.Kind(TStreamKind::Audio).Disabled)
                stream->discard = AVDISCARD_ALL;
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            input.Decoder = forced[2] ? forced[2] : avcodec_find_decoder(parameters->codec_id);
            if (FPending.Kind(TStreamKind::Subtitle).Disabled)
                stream->discard = AVDISCARD_ALL;
            break;
        default: // data, attachments and kinds the libraries cannot name are carried along
            break;
        }
        FInputStreams.push_back(std::move(input));
    }

    if (context->duration != AV_NOPTS_VALUE) {
        // What will be converted of it: from the start time on, at most the recording time.
        int64_t length = std::max<int64_t>(0, context->duration - startTime);
        if (FSettings.RecordingTime != INT64_MAX)
            length = std::min(length, FSettings.RecordingTime);
        FExpectedTotalDuration = std::max(FExpectedTotalDuration, length);
    }
    if (FSettings.Verbosity >= 0)
        av_dump_format(context.get(), static_cast<int>(FInputFiles.size()),
                       fileName.toUtf8().constData(), 0);

    file.Context = std::move(context);
    file.DecoderOptions = std::make_unique<TLibraryOptions>(std::move(FLibraryOptions));
    FInputFiles.push_back(std::move(file));
    FPending.ResetAfterInputOpen();
    FLibraryOptions = TLibraryOptions();
    return true;
}
