// The output side of the media paths: keeping video and audio in step with the source,
// encoding, copying packets, the output hooks, previews and the statistics file.

#include "engine/transcoder/FFmpeg.h"

#include "engine/FFLog.h"
#include "engine/FFmpegException.h"

#include <cmath>
#include <cstring>
#include <vector>

extern "C" {
#include <libavutil/intreadwrite.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libavutil/time.h>
}

namespace {

bool VariableFrameRate(const AVFormatContext* context) {
    return (context->oformat->flags & AVFMT_VARIABLE_FPS) != 0;
}

QString SampleFormatName(int format) {
    const char* name = av_get_sample_fmt_name(static_cast<AVSampleFormat>(format));
    return QString::fromUtf8(name ? name : "none");
}

QString PixelFormatName(int format) {
    const char* name = av_get_pix_fmt_name(static_cast<AVPixelFormat>(format));
    return QString::fromUtf8(name ? name : "none");
}

} // namespace

// --- Video ------------------------------------------------------------------------------

int64_t TCustomFFmpeg::FramesToWrite(TOutputStream& output, double position) {
    const AVFormatContext* context = FOutputFiles[output.FileIndex].Context.get();
    const int sync = FSettings.VideoSync;
    if (sync == 0) {
        // Encoders refuse a time that does not grow: two pictures on one tick go to the next.
        const int64_t tick = std::llround(position);
        output.SyncCounter = output.FrameCount == 0 ? tick : std::max(tick, output.SyncCounter);
        return 1;
    }
    const double d = position - static_cast<double>(output.SyncCounter);
    if (d < -1.1)
        return 0;
    if (sync == 2 || (sync == -1 && VariableFrameRate(context))) {
        if (d <= -0.6)
            return 0;
        if (d > 0.6)
            output.SyncCounter = std::llround(position);
        return 1;
    }
    return d > 1.1 ? std::llround(d) : 1;
}

void TCustomFFmpeg::OutputVideoFrame(TOutputStream& output, TInputStream& input, AVFrame* frame) {
    AVCodecContext* encoder = output.EncoderContext.get();
    if (FSettings.RecordingTime != INT64_MAX &&
        input.Pts >= FRunStartTime + FSettings.RecordingTime)
        return; // decoded from before the cut, shown after it
    const double position = (input.Pts - FRunStartTime) / 1e6 / av_q2d(encoder->time_base);
    int64_t count = FramesToWrite(output, position);
    if (count == 0) {
        ++FFramesDropped;
        FReportDupDrop = true;
        if (FSettings.Verbosity > 2)
            Log(llVerbose, QStringLiteral("*** drop!"));
        return;
    }
    if (count > 1) {
        FFramesDuplicated += count - 1;
        FReportDupDrop = true;
        if (FSettings.Verbosity > 2)
            Log(llVerbose, QStringLiteral("*** %1 dup!").arg(count - 1));
    }
    const int64_t remaining = FSettings.MaxFrames[0] - output.FrameCount;
    count = std::min(count, std::max<int64_t>(remaining, 0));

    AVFrame* picture = frame;
    if (!FFiltersVideo) {
        if (output.SeenFormat != AV_PIX_FMT_NONE &&
            (frame->width != output.SeenWidth || frame->height != output.SeenHeight ||
             frame->format != output.SeenFormat)) {
            LogInfo(QStringLiteral("Input stream #%1.%2 frame changed from size:%3x%4 fmt:%5 to "
                                   "size:%6x%7 fmt:%8")
                        .arg(input.FileIndex)
                        .arg(input.Stream->index)
                        .arg(output.SeenWidth)
                        .arg(output.SeenHeight)
                        .arg(PixelFormatName(output.SeenFormat))
                        .arg(frame->width)
                        .arg(frame->height)
                        .arg(PixelFormatName(frame->format)));
        }
        output.SeenWidth = frame->width;
        output.SeenHeight = frame->height;
        output.SeenFormat = frame->format;
        if (frame->width != encoder->width || frame->height != encoder->height ||
            frame->format != encoder->pix_fmt)
            picture = ScaleForEncoder(output, frame);
    }

    for (int64_t i = 0; i < count && !FStopRequested; ++i) {
        ffmpeg::FramePtr out = ffmpeg::MakeFrame();
        if (!out || av_frame_ref(out.get(), picture) < 0)
            throw std::bad_alloc();
        out->pts = output.SyncCounter;
        out->pict_type = AV_PICTURE_TYPE_NONE;
        out->quality = encoder->global_quality;
        if (output.NextForcedKeyFrame < output.ForcedKeyFrames.size() &&
            output.SyncCounter >= output.ForcedKeyFrames[output.NextForcedKeyFrame]) {
            out->pict_type = AV_PICTURE_TYPE_I;
            ++output.NextForcedKeyFrame;
        }
        RunOutputHooks(output, out, input.Pts);
        Preview(out.get(), input.Pts, static_cast<int>(output.FrameCount));
        EncodeVideo(output, out.get());
        ++output.SyncCounter;
        ++output.FrameCount;
    }
}

AVFrame* TCustomFFmpeg::ScaleForEncoder(TOutputStream& output, const AVFrame* frame) {
    AVCodecContext* encoder = output.EncoderContext.get();
    output.Scaler.reset(sws_getCachedContext(output.Scaler.release(), frame->width, frame->height,
                                             static_cast<AVPixelFormat>(frame->format),
                                             encoder->width, encoder->height, encoder->pix_fmt,
                                             output.ScalerFlags, nullptr, nullptr, nullptr));
    if (!output.Scaler)
        throw FFmpegException(QStringLiteral("Cannot get resampling context"));
    if (!output.ScaledFrame || output.ScaledFrame->width != encoder->width ||
        output.ScaledFrame->height != encoder->height) {
        output.ScaledFrame = ffmpeg::MakeFrame();
        output.ScaledFrame->width = encoder->width;
        output.ScaledFrame->height = encoder->height;
        output.ScaledFrame->format = encoder->pix_fmt;
        if (av_frame_get_buffer(output.ScaledFrame.get(), 0) < 0)
            throw FFmpegException(QStringLiteral("Cannot allocate temp picture, check pix fmt"));
    }
    // The encoder may still hold the last picture: scale into a fresh buffer then.
    if (av_frame_make_writable(output.ScaledFrame.get()) < 0)
        throw FFmpegException(QStringLiteral("Cannot allocate temp picture, check pix fmt"));
    sws_scale(output.Scaler.get(), frame->data, frame->linesize, 0, frame->height,
              output.ScaledFrame->data, output.ScaledFrame->linesize);
    av_frame_copy_props(output.ScaledFrame.get(), frame);
    return output.ScaledFrame.get();
}

void TCustomFFmpeg::RunOutputHooks(TOutputStream& output, ffmpeg::FramePtr& frame, int64_t pts) {
    const bool videoHook = OnVideoOutputHook && FVideoOutputHookOn;
    if (!videoHook && !OnFrameOutputHook)
        return;
    if (av_frame_make_writable(frame.get()) < 0) {
        Log(llError, QStringLiteral("hook buf malloc error."));
        return;
    }
    const int frameNumber = static_cast<int>(output.FrameCount);
    if (videoHook) {
        FVideoOutputHookOn =
            RunVideoHook(OnVideoOutputHook, FOutputHookConverter, frame.get(), pts, frameNumber);
        FOutputHookBitmapValid = true;
    }
    if (OnFrameOutputHook) {
        TFrameHookData data{frame.get(),   frame->format, frame->width,
                            frame->height, pts,           frameNumber};
        OnFrameOutputHook(*this, data);
    }
}

void TCustomFFmpeg::Preview(AVFrame* frame, int64_t pts, int frameNumber) {
    if (FPreviewFlags.load() == 0)
        return;
    int flags = 0;
    {
        // The lock guards the flags only: it is never held while a handler runs, since a
        // handler may wait for the main thread, which may be setting the flags.
        std::lock_guard lock(PreviewLock());
        flags = FPreviewFlags.load();
        const int64_t now = av_gettime_relative();
        if (flags == 0 || (!FPreviewDue && now - FLastPreview < PreviewInterval))
            return;
        FLastPreview = now;
        FPreviewDue = false;
    }
    QImage* bitmap = nullptr;
    if (FOutputHookBitmapValid) {
        bitmap = &FOutputHookConverter.Bitmap();
    } else {
        FPreviewConverter.SetBitsPixel(HookBitsPixel);
        if (!FPreviewConverter.ToRGB(frame, true)) {
            Log(llError, FPreviewConverter.LastErrMsg());
            std::lock_guard lock(PreviewLock());
            FPreviewFlags = FPreviewFlags.load() & ~(flags & pfBitmap ? pfBitmap : pfWindow);
            return;
        }
        bitmap = &FPreviewConverter.Bitmap();
    }
    FOutputHookBitmapValid = false;
    if ((flags & pfBitmap) && OnPreviewBitmap)
        OnPreviewBitmap(*this, *bitmap, pts, frameNumber);
    else if ((flags & pfWindow) && OnPreviewWindow)
        OnPreviewWindow(*this, *bitmap, pts);
}

void TCustomFFmpeg::EncodeVideo(TOutputStream& output, AVFrame* frame) {
    if (output.EncoderThread) {
        if (!output.EncoderThread->Submit(frame))
            throw FFmpegException(QStringLiteral("Video encoding failed"));
        WriteThreadedPackets(output);
        return;
    }
    AVCodecContext* encoder = output.EncoderContext.get();
    if (avcodec_send_frame(encoder, frame) < 0 && frame != nullptr)
        throw FFmpegException(QStringLiteral("Video encoding failed"));
    ReceivePackets(output, QStringLiteral("Video encoding failed"));
}

void TCustomFFmpeg::ReceivePackets(TOutputStream& output, const QString& failure) {
    AVCodecContext* encoder = output.EncoderContext.get();
    for (;;) {
        const int result = avcodec_receive_packet(encoder, FEncodedPacket.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return;
        if (result < 0)
            throw FFmpegException(failure);
        WriteEncodedPacket(output, FEncodedPacket.get(), encoder->stats_out);
    }
}

void TCustomFFmpeg::WriteThreadedPackets(TOutputStream& output) {
    for (TEncoderThread::TEncoded& encoded : output.EncoderThread->Take())
        WriteEncodedPacket(output, encoded.Packet.get(),
                           encoded.Statistics.empty() ? nullptr : encoded.Statistics.c_str());
}

bool TCustomFFmpeg::DrainEncoderThreads() {
    bool encoded = true;
    for (TOutputStream& output : FOutputStreams) {
        if (!output.EncoderThread)
            continue;
        encoded = output.EncoderThread->Drain() && encoded;
        WriteThreadedPackets(output);
    }
    return encoded;
}

void TCustomFFmpeg::WriteEncodedPacket(TOutputStream& output, AVPacket* packet,
                                       const char* statistics) {
    const AVCodecContext* encoder = output.EncoderContext.get();
    const int size = packet->size;
    if (output.Kind == TStreamKind::Video) {
        FVideoBytes += size;
        size_t qualitySize = 0;
        if (const uint8_t* stats =
                av_packet_get_side_data(packet, AV_PKT_DATA_QUALITY_STATS, &qualitySize);
            stats != nullptr && qualitySize >= 5) {
            output.LastQuality = float(AV_RL32(stats)) / FF_QP2LAMBDA;
            output.LastPictureType = av_get_picture_type_char(AVPictureType(stats[4]));
        }
        if (output.PassLog && statistics != nullptr)
            std::fputs(statistics, output.PassLog.get());
        WriteVideoStatistics(output, size);
    } else if (output.Kind == TStreamKind::Audio) {
        FAudioBytes += size;
    }
    av_packet_rescale_ts(packet, encoder->time_base, output.Stream->time_base);
    NoteOutputTime(output, packet);
    WritePacket(output, packet);
    av_packet_unref(packet);
}

void TCustomFFmpeg::NoteOutputTime(TOutputStream& output, const AVPacket* packet) {
    const int64_t time = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (time == AV_NOPTS_VALUE)
        return;
    const int64_t end = av_rescale_q(time + std::max<int64_t>(packet->duration, 0),
                                     output.Stream->time_base, AV_TIME_BASE_Q);
    output.OutputTime = std::max(output.OutputTime, end);
}

void TCustomFFmpeg::WriteVideoStatistics(TOutputStream& output, int frameBytes) {
    if (FSettings.VStatsFile.isEmpty() || frameBytes <= 0)
        return;
    if (!FVStats) {
        FVStats.reset(std::fopen(FSettings.VStatsFile.toLocal8Bit().constData(), "w"));
        if (!FVStats)
            throw FFmpegException(QStringLiteral("fopen fail: ") + FSettings.VStatsFile);
    }
    const AVCodecContext* encoder = output.EncoderContext.get();
    const double time = output.SyncCounter * av_q2d(encoder->time_base);
    const double frameTime = av_q2d(encoder->time_base);
    std::fprintf(FVStats.get(), "frame= %5d q= %2.1f ", static_cast<int>(output.FrameCount),
                 output.LastQuality);
    std::fprintf(FVStats.get(), "f_size= %6d ", frameBytes);
    std::fprintf(FVStats.get(),
                 "s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
                 FVideoBytes / 1024.0, time, frameTime > 0 ? frameBytes * 8 / frameTime / 1000 : 0,
                 time > 0 ? FVideoBytes * 8 / time / 1000 : 0);
    std::fprintf(FVStats.get(), "type= %c\n", output.LastPictureType);
}

// --- Audio ------------------------------------------------------------------------------

void TCustomFFmpeg::PrepareResampler(TOutputStream& output, const TInputStream& input,
                                     const AVFrame* frame) {
    const int channels = frame->ch_layout.nb_channels;
    if (output.Resampler && frame->sample_rate == output.SeenSampleRate &&
        frame->format == output.SeenSampleFormat && channels == output.SeenChannels)
        return;
    if (output.Resampler) {
        LogInfo(QStringLiteral("Input stream #%1.%2 frame changed from rate:%3 fmt:%4 ch:%5 to "
                               "rate:%6 fmt:%7 ch:%8")
                    .arg(input.FileIndex)
                    .arg(input.Stream->index)
                    .arg(output.SeenSampleRate)
                    .arg(SampleFormatName(output.SeenSampleFormat))
                    .arg(output.SeenChannels)
                    .arg(frame->sample_rate)
                    .arg(SampleFormatName(frame->format))
                    .arg(channels));
    }
    output.SeenSampleRate = frame->sample_rate;
    output.SeenSampleFormat = frame->format;
    output.SeenChannels = channels;

    const AVCodecContext* encoder = output.EncoderContext.get();
    AVChannelLayout inLayout{};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&inLayout, channels);
    else
        av_channel_layout_copy(&inLayout, const_cast<AVChannelLayout*>(&frame->ch_layout));
    SwrContext* raw = nullptr;
    int result = swr_alloc_set_opts2(&raw, const_cast<AVChannelLayout*>(&encoder->ch_layout),
                                     encoder->sample_fmt, encoder->sample_rate, &inLayout,
                                     static_cast<AVSampleFormat>(frame->format), frame->sample_rate,
                                     0, nullptr);
    output.Resampler.reset(raw);
    av_channel_layout_uninit(&inLayout);
    if (result >= 0) {
        av_opt_set_int(raw, "filter_size", 16, 0);
        av_opt_set_int(raw, "phase_shift", 10, 0);
        av_opt_set_int(raw, "linear_interp", 0, 0);
        av_opt_set_double(raw, "cutoff", 0.8, 0);
        result = swr_init(raw);
    }
    if (result < 0)
        throw FFmpegException(QStringLiteral("Can not resample %1 channels @ %2 Hz to %3 channels "
                                             "@ %4 Hz")
                                  .arg(channels)
                                  .arg(frame->sample_rate)
                                  .arg(encoder->ch_layout.nb_channels)
                                  .arg(encoder->sample_rate));
}

void TCustomFFmpeg::AppendSilence(TOutputStream& output, int samples) {
    const AVCodecContext* encoder = output.EncoderContext.get();
    const ffmpeg::SamplePlanesPtr planes =
        ffmpeg::AllocSamplePlanes(encoder->ch_layout.nb_channels, samples, encoder->sample_fmt);
    if (!planes)
        throw std::bad_alloc();
    av_samples_set_silence(planes.get(), 0, samples, encoder->ch_layout.nb_channels,
                           encoder->sample_fmt);
    const int written =
        av_audio_fifo_write(output.Fifo.get(), reinterpret_cast<void**>(planes.get()), samples);
    if (written < samples)
        throw FFmpegException(QStringLiteral("av_fifo_realloc2() failed"));
}

void TCustomFFmpeg::ConvertIntoFifo(TOutputStream& output, const AVFrame* frame, int skip) {
    const AVCodecContext* encoder = output.EncoderContext.get();
    const int inSamples = frame ? frame->nb_samples - skip : 0;
    const int room = swr_get_out_samples(output.Resampler.get(), std::max(inSamples, 0));
    if (room < 0)
        throw FFmpegException(QStringLiteral("Buffer sizes too large in do_audio_out"));
    if (room == 0)
        return;
    const ffmpeg::SamplePlanesPtr planes =
        ffmpeg::AllocSamplePlanes(encoder->ch_layout.nb_channels, room, encoder->sample_fmt);
    if (!planes)
        throw FFmpegException(QStringLiteral("Out of memory in do_audio_out"));
    std::vector<const uint8_t*> in;
    if (frame != nullptr) {
        const auto format = static_cast<AVSampleFormat>(frame->format);
        const bool planar = av_sample_fmt_is_planar(format);
        const int planeCount = planar ? frame->ch_layout.nb_channels : 1;
        const int stride =
            av_get_bytes_per_sample(format) * (planar ? 1 : frame->ch_layout.nb_channels);
        for (int p = 0; p < planeCount; ++p)
            in.push_back(frame->extended_data[p] + ptrdiff_t(skip) * stride);
    }
    const int converted = swr_convert(output.Resampler.get(), planes.get(), room,
                                      frame ? in.data() : nullptr, inSamples);
    int written = 0;
    if (converted > 0)
        written = av_audio_fifo_write(output.Fifo.get(), reinterpret_cast<void**>(planes.get()),
                                      converted);
    if (converted < 0)
        throw FFmpegException(QStringLiteral("av_audio_convert() failed"));
    if (written < converted)
        throw FFmpegException(QStringLiteral("av_fifo_realloc2() failed"));
}

void TCustomFFmpeg::OutputAudio(TOutputStream& output, TInputStream& input, const AVFrame* frame) {
    const AVCodecContext* encoder = output.EncoderContext.get();
    const int rate = encoder->sample_rate;
    if (FSettings.RecordingTime != INT64_MAX &&
        input.Pts >= FRunStartTime + FSettings.RecordingTime)
        return;
    PrepareResampler(output, input, frame);

    // Samples before the start (after a seek to the key frame before it) are left out.
    int skip = 0;
    if (input.Pts < FRunStartTime) {
        skip = static_cast<int>(
            av_rescale(FRunStartTime - input.Pts, frame->sample_rate, AV_TIME_BASE));
        if (skip >= frame->nb_samples)
            return;
    }
    const int64_t sourceTime = std::max(input.Pts, FRunStartTime) - FRunStartTime;
    const int64_t waiting =
        av_audio_fifo_size(output.Fifo.get()) + swr_get_delay(output.Resampler.get(), rate);
    const int sync = FSettings.AudioSync;
    if (sync != 0) {
        const double delta =
            rate * (sourceTime / 1e6) - static_cast<double>(output.SyncCounter + waiting);
        if (std::fabs(delta) > 50) {
            if (input.AtStart || std::fabs(delta) > FSettings.AudioDriftThreshold * rate) {
                if (delta < 0) {
                    const int drop = static_cast<int>(
                        av_rescale(std::llround(-delta), frame->sample_rate, rate));
                    if (FSettings.Verbosity > 2)
                        Log(llVerbose, QStringLiteral("discarding %1 audio samples").arg(drop));
                    skip += drop;
                    if (skip >= frame->nb_samples)
                        return;
                } else {
                    if (FSettings.Verbosity > 2)
                        Log(llVerbose, QStringLiteral("adding %1 audio samples of silence")
                                           .arg(std::llround(delta)));
                    AppendSilence(output, static_cast<int>(std::llround(delta)));
                }
                input.AtStart = false;
            } else if (sync > 1) {
                const int compensation = static_cast<int>(std::clamp<double>(delta, -sync, sync));
                if (FSettings.Verbosity > 2)
                    Log(llVerbose, QString::asprintf("compensating audio timestamp drift:%f "
                                                     "compensation:%d in:%d",
                                                     delta, compensation, frame->nb_samples));
                swr_set_compensation(output.Resampler.get(), compensation, rate);
            }
        }
    } else {
        // Follow the source's clock, but never backwards: that would repeat timestamps.
        output.SyncCounter = std::max<int64_t>(output.SyncCounter,
                                               std::llround(rate * (sourceTime / 1e6)) - waiting);
        input.AtStart = false;
    }
    ConvertIntoFifo(output, frame, skip);
    EncodeFromFifo(output, false);
}

void TCustomFFmpeg::EncodeFromFifo(TOutputStream& output, bool flushing) {
    AVCodecContext* encoder = output.EncoderContext.get();
    AVAudioFifo* fifo = output.Fifo.get();
    const bool fixedSize = encoder->frame_size > 0 &&
                           !(encoder->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    for (;;) {
        const int available = av_audio_fifo_size(fifo);
        int samples = fixedSize ? encoder->frame_size : available;
        if (available == 0 || (available < samples && !flushing))
            return;
        const int fromFifo = std::min(samples, available);
        if (fromFifo < samples && (encoder->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME))
            samples = fromFifo; // a short last frame is allowed
        ffmpeg::FramePtr frame = ffmpeg::MakeFrame();
        frame->nb_samples = samples;
        frame->format = encoder->sample_fmt;
        frame->sample_rate = encoder->sample_rate;
        av_channel_layout_copy(&frame->ch_layout, &encoder->ch_layout);
        if (av_frame_get_buffer(frame.get(), 0) < 0)
            throw FFmpegException(QStringLiteral("frame_bytes invalid."));
        if (fromFifo < samples) // the last frame, padded with silence
            av_samples_set_silence(frame->extended_data, fromFifo, samples - fromFifo,
                                   encoder->ch_layout.nb_channels, encoder->sample_fmt);
        if (av_audio_fifo_read(fifo, reinterpret_cast<void**>(frame->extended_data), fromFifo) <
            fromFifo)
            throw FFmpegException(QStringLiteral("Audio encoding failed"));
        frame->pts = output.SyncCounter;
        if (avcodec_send_frame(encoder, frame.get()) < 0)
            throw FFmpegException(QStringLiteral("Audio encoding failed"));
        ReceivePackets(output, QStringLiteral("Audio encoding failed"));
        output.SyncCounter += samples;
        output.FrameCount += 1;
    }
}

// --- Subtitles and copies ----------------------------------------------------------------

void TCustomFFmpeg::OutputSubtitle(TOutputStream& output, const TInputStream& input,
                                   AVSubtitle& subtitle) {
    if (subtitle.pts == AV_NOPTS_VALUE) {
        const QString text = QStringLiteral("Subtitle packets must have a pts");
        if (FSettings.ExitOnError)
            throw FFmpegException(text);
        Log(llError, text);
        return;
    }
    (void)input;
    AVCodecContext* encoder = output.EncoderContext.get();
    const bool dvb = encoder->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
    const int64_t start = subtitle.pts - FRunStartTime;
    constexpr int kBufferSize = 1024 * 1024;
    if (FSubtitleBuffer.size() < kBufferSize)
        FSubtitleBuffer.resize(kBufferSize);
    for (int pass = 0; pass < (dvb ? 2 : 1); ++pass) {
        AVSubtitle copy = subtitle;
        copy.pts = start;
        if (pass == 1)
            copy.num_rects = 0; // DVB: the packet that clears what the first showed
        const int size = avcodec_encode_subtitle(
            encoder, reinterpret_cast<uint8_t*>(FSubtitleBuffer.data()), kBufferSize, &copy);
        if (size < 0)
            throw FFmpegException(QStringLiteral("Subtitle encoding failed"));
        ffmpeg::PacketPtr packet = ffmpeg::MakePacket();
        if (av_new_packet(packet.get(), size) < 0)
            throw std::bad_alloc();
        std::memcpy(packet->data, FSubtitleBuffer.data(), size);
        const int64_t at =
            start +
            (pass == 0 ? subtitle.start_display_time : subtitle.end_display_time) * int64_t(1000);
        packet->pts = packet->dts = av_rescale_q(at, AV_TIME_BASE_Q, output.Stream->time_base);
        packet->duration =
            av_rescale_q(int64_t(subtitle.end_display_time - subtitle.start_display_time) * 1000,
                         AV_TIME_BASE_Q, output.Stream->time_base);
        NoteOutputTime(output, packet.get());
        WritePacket(output, packet.get());
    }
}

void TCustomFFmpeg::CopyPacket(TOutputStream& output, const TInputStream& input,
                               const AVPacket* packet) {
    if (output.FrameCount == 0 && !(packet->flags & AV_PKT_FLAG_KEY) &&
        FSettings.CopyInitialNonKeyFrames == 0)
        return;
    if (FSettings.RecordingTime != INT64_MAX &&
        input.Pts >= FRunStartTime + FSettings.RecordingTime)
        return;
    ffmpeg::PacketPtr copy = ffmpeg::MakePacket();
    if (av_packet_ref(copy.get(), packet) < 0)
        throw std::bad_alloc();
    const AVRational from = input.Stream->time_base;
    const AVRational to = output.Stream->time_base;
    const int64_t start = av_rescale_q(FRunStartTime, AV_TIME_BASE_Q, to);
    copy->pts = packet->pts != AV_NOPTS_VALUE ? av_rescale_q(packet->pts, from, to) - start
                                              : AV_NOPTS_VALUE;
    copy->dts = packet->dts != AV_NOPTS_VALUE ? av_rescale_q(packet->dts, from, to)
                                              : av_rescale_q(input.Pts, AV_TIME_BASE_Q, to);
    copy->dts -= start;
    copy->duration = av_rescale_q(packet->duration, from, to);
    if (output.Kind == TStreamKind::Video)
        FVideoBytes += copy->size;
    else if (output.Kind == TStreamKind::Audio)
        FAudioBytes += copy->size;
    NoteOutputTime(output, copy.get());
    WritePacket(output, copy.get());
    ++output.FrameCount;
}

// --- The end ------------------------------------------------------------------------------

void TCustomFFmpeg::FlushEncoders() {
    for (TOutputStream& output : FOutputStreams) {
        if (!output.EncoderOpened)
            continue;
        AVCodecContext* encoder = output.EncoderContext.get();
        if (output.Kind == TStreamKind::Audio) {
            if (output.Resampler)
                ConvertIntoFifo(output, nullptr, 0);
            EncodeFromFifo(output, true);
        }
        if (output.EncoderThread) {
            if (!output.EncoderThread->Submit(nullptr) || !output.EncoderThread->Drain())
                throw FFmpegException(QStringLiteral("Video encoding failed"));
            WriteThreadedPackets(output);
        } else if (output.Kind == TStreamKind::Audio || output.Kind == TStreamKind::Video) {
            avcodec_send_frame(encoder, nullptr);
            ReceivePackets(output, output.Kind == TStreamKind::Audio
                                       ? QStringLiteral("Audio encoding failed")
                                       : QStringLiteral("Video encoding failed"));
        }
    }
}
