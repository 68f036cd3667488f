// Decoding one packet of an input stream (or flushing its decoder), the input hooks, and
// handing what comes out to the output streams it feeds.

#include "engine/transcoder/FFmpeg.h"

#include "engine/FFLog.h"
#include "engine/FFmpegException.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/time.h>
}

namespace {

// Samples as signed 16-bit scaled by volume/256 and clipped; other formats in their own range.
void ApplyVolume(AVFrame* frame, int volume) {
    const int channels = frame->ch_layout.nb_channels;
    const bool planar = av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame->format));
    const int planes = planar ? channels : 1;
    const int perPlane = frame->nb_samples * (planar ? 1 : channels);
    for (int p = 0; p < planes; ++p) {
        uint8_t* data = frame->extended_data[p];
        switch (av_get_packed_sample_fmt(static_cast<AVSampleFormat>(frame->format))) {
        case AV_SAMPLE_FMT_S16: {
            auto* samples = reinterpret_cast<int16_t*>(data);
            for (int i = 0; i < perPlane; ++i)
                samples[i] = static_cast<int16_t>(
                    std::clamp((samples[i] * volume + 128) >> 8, -32768, 32767));
            break;
        }
        case AV_SAMPLE_FMT_S32: {
            auto* samples = reinterpret_cast<int32_t*>(data);
            for (int i = 0; i < perPlane; ++i)
                samples[i] = static_cast<int32_t>(std::clamp<int64_t>(
                    (int64_t(samples[i]) * volume + 128) >> 8, INT32_MIN, INT32_MAX));
            break;
        }
        case AV_SAMPLE_FMT_FLT: {
            auto* samples = reinterpret_cast<float*>(data);
            for (int i = 0; i < perPlane; ++i)
                samples[i] = std::clamp(samples[i] * volume / 256.0f, -1.0f, 1.0f);
            break;
        }
        case AV_SAMPLE_FMT_DBL: {
            auto* samples = reinterpret_cast<double*>(data);
            for (int i = 0; i < perPlane; ++i)
                samples[i] = std::clamp(samples[i] * volume / 256.0, -1.0, 1.0);
            break;
        }
        case AV_SAMPLE_FMT_U8: {
            for (int i = 0; i < perPlane; ++i)
                data[i] = static_cast<uint8_t>(
                    std::clamp(((int(data[i]) - 128) * volume + 128) / 256 + 128, 0, 255));
            break;
        }
        default: break;
        }
    }
}

} // namespace

bool TCustomFFmpeg::StartReached(int64_t time) const {
    return FRunStartTime == 0 || time >= FRunStartTime;
}

void TCustomFFmpeg::DecodeFailed(const TInputStream& input) {
    const QString text = QStringLiteral("Error while decoding stream #%1.%2 (%3)")
                             .arg(input.FileIndex)
                             .arg(input.Stream->index)
                             .arg(KindName(input.Stream->codecpar->codec_type));
    if (FSettings.ExitOnError)
        throw FFmpegException(text);
    if (FSettings.Verbosity >= 0)
        Log(llVerbose, text);
}

void TCustomFFmpeg::ProcessPacket(int inputIndex, const AVPacket* packet) {
    TInputStream& input = FInputStreams[inputIndex];
    const AVRational timeBase = input.Stream->time_base;
    if (input.NextPts == AV_NOPTS_VALUE)
        input.NextPts = input.Pts;
    if (packet != nullptr && packet->dts != AV_NOPTS_VALUE)
        input.NextPts = input.Pts = av_rescale_q(packet->dts, timeBase, AV_TIME_BASE_Q);

    if (!input.DecodingNeeded) {
        if (packet == nullptr)
            return;
        input.Pts = input.NextPts;
        const AVCodecParameters* parameters = input.Stream->codecpar;
        if (packet->duration > 0) {
            input.NextPts += av_rescale_q(packet->duration, timeBase, AV_TIME_BASE_Q);
        } else if (parameters->codec_type == AVMEDIA_TYPE_AUDIO && parameters->sample_rate > 0) {
            input.NextPts +=
                int64_t(AV_TIME_BASE) * parameters->frame_size / parameters->sample_rate;
        } else if (parameters->codec_type == AVMEDIA_TYPE_VIDEO) {
            const AVRational rate = input.Stream->avg_frame_rate.num != 0
                                        ? input.Stream->avg_frame_rate
                                        : input.Stream->r_frame_rate;
            if (rate.num != 0 && rate.den != 0)
                input.NextPts += av_rescale_q(1, av_inv_q(rate), AV_TIME_BASE_Q);
        }
        if (StartReached(input.Pts)) {
            for (TOutputStream& output : FOutputStreams) {
                if (output.SourceIndex == inputIndex && output.Copy)
                    CopyPacket(output, input, packet);
            }
        }
        return;
    }

    // Decoded for some outputs; those that copy the stream still get the packet as it is.
    if (packet != nullptr && StartReached(input.Pts)) {
        for (TOutputStream& output : FOutputStreams) {
            if (output.SourceIndex == inputIndex && output.Copy)
                CopyPacket(output, input, packet);
        }
    }

    AVCodecContext* decoder = input.DecoderContext.get();
    if (decoder->codec_type == AVMEDIA_TYPE_SUBTITLE) {
        DecodeSubtitle(inputIndex, packet);
        return;
    }
    int result = avcodec_send_packet(decoder, packet);
    if (result < 0 && result != AVERROR_EOF) {
        DecodeFailed(input);
        return;
    }
    int frames = 0;
    for (;;) {
        result = avcodec_receive_frame(decoder, FDecodedFrame.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            break;
        if (result < 0) {
            DecodeFailed(input);
            break;
        }
        ++frames;
        if (frames == 2 && packet != nullptr && decoder->codec_type == AVMEDIA_TYPE_VIDEO &&
            (FSettings.Verbosity > 1 || (FSettings.Verbosity > 0 && !input.MultipleFramesLogged))) {
            Log(llError, QStringLiteral("Multiple frames in a packet from stream %1")
                             .arg(input.Stream->index));
            input.MultipleFramesLogged = true;
        }
        AVFrame* frame = FDecodedFrame.get();
        const int64_t timestamp = frame->best_effort_timestamp;
        if (timestamp != AV_NOPTS_VALUE)
            input.Pts = av_rescale_q(timestamp, timeBase, AV_TIME_BASE_Q);
        else
            input.Pts = input.NextPts;
        if (decoder->codec_type == AVMEDIA_TYPE_VIDEO) {
            input.NextPts = input.Pts + FrameDuration(input, frame);
            ++input.DecodedFrames;
            RunInputHooks(input, frame);
            OutputVideo(inputIndex, frame);
        } else {
            input.NextPts =
                input.Pts + av_rescale(frame->nb_samples, AV_TIME_BASE, frame->sample_rate);
            if (OnAudioHook)
                RunAudioHook(input, frame);
            if (FSettings.AudioVolume != 256 && av_frame_make_writable(frame) >= 0)
                ApplyVolume(frame, FSettings.AudioVolume);
            for (TOutputStream& output : FOutputStreams) {
                if (output.SourceIndex == inputIndex && output.EncodingNeeded)
                    OutputAudio(output, input, frame);
            }
        }
        av_frame_unref(FDecodedFrame.get());
        RateEmulation(input);
    }
}

void TCustomFFmpeg::RunAudioHook(const TInputStream& input, const AVFrame* frame) {
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const int channels = frame->ch_layout.nb_channels;
    const int size = av_samples_get_buffer_size(nullptr, channels, frame->nb_samples, format, 1);
    if (size <= 0)
        return;
    if (!av_sample_fmt_is_planar(format) || channels == 1) {
        OnAudioHook(*this, input.Pts, frame->extended_data[0], size, frame->sample_rate, channels,
                    av_get_packed_sample_fmt(format));
        return;
    }
    // Decoders mostly give one plane per channel: the hook gets all channels interleaved.
    const int bytes = av_get_bytes_per_sample(format);
    if (FAudioHookBuffer.size() < size_t(size))
        FAudioHookBuffer.resize(size_t(size));
    uint8_t* to = FAudioHookBuffer.data();
    for (int sample = 0; sample < frame->nb_samples; ++sample) {
        for (int channel = 0; channel < channels; ++channel) {
            std::memcpy(to, frame->extended_data[channel] + size_t(sample) * bytes, size_t(bytes));
            to += bytes;
        }
    }
    OnAudioHook(*this, input.Pts, FAudioHookBuffer.data(), size, frame->sample_rate, channels,
                av_get_packed_sample_fmt(format));
}

int64_t TCustomFFmpeg::FrameDuration(const TInputStream& input, const AVFrame* frame) const {
    if (frame->pkt_duration > 0)
        return av_rescale_q(frame->pkt_duration, input.Stream->time_base, AV_TIME_BASE_Q);
    AVRational rate = input.DecoderContext->framerate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = input.Stream->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = input.Stream->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        return 0;
    return av_rescale(int64_t(AV_TIME_BASE) * (frame->repeat_pict + 2), rate.den, 2 * rate.num);
}

void TCustomFFmpeg::RateEmulation(const TInputStream& input) {
    if (!FSettings.RateEmulation)
        return;
    // In short naps: a jump in the source's times must not keep a stop waiting.
    constexpr int64_t kNap = 100000;
    for (;;) {
        const int64_t ahead = input.Pts - (av_gettime_relative() - input.WallStart);
        if (ahead <= 1000 || FStopRequested)
            return;
        av_usleep(static_cast<unsigned>(std::min(ahead / 1000 * 1000, kNap)));
    }
}

void TCustomFFmpeg::OutputVideo(int inputIndex, AVFrame* frame) {
    TInputStream& input = FInputStreams[inputIndex];
    // Pictures decoded only to reach the start from the key picture before it end before 0:
    // they are neither shown nor counted as dropped.
    if (frame != nullptr && FInputFiles[input.FileIndex].Seeked &&
        input.Pts + std::max<int64_t>(FrameDuration(input, frame), 1) <= 0)
        return;
    for (TOutputStream& output : FOutputStreams) {
        if (output.SourceIndex != inputIndex || !output.EncodingNeeded)
            continue;
        if (!FFiltersVideo) {
            if (frame != nullptr && StartReached(input.Pts))
                OutputVideoFrame(output, input, frame);
            continue;
        }
        if (frame != nullptr && !StartReached(input.Pts))
            continue;
        if (frame != nullptr)
            frame->pts = input.Pts; // the graph counts in µs
        PushToFilter(output, frame);
        while (PullFromFilter(output, FFilteredFrame.get())) {
            AVFrame* filtered = FFilteredFrame.get();
            if (filtered->pts != AV_NOPTS_VALUE)
                input.Pts = filtered->pts;
            OutputVideoFrame(output, input, filtered);
            av_frame_unref(filtered);
        }
    }
}

void TCustomFFmpeg::RunInputHooks(TInputStream& input, AVFrame* frame) {
    if (!OnFrameInputHook && !(OnVideoInputHook && FVideoInputHookOn))
        return;
    // The decoder may still use the picture as a reference: work on a writable copy.
    if (av_frame_make_writable(frame) < 0) {
        Log(llError, QStringLiteral("hook buf malloc error."));
        return;
    }
    const int frameNumber = static_cast<int>(input.DecodedFrames);
    if (OnFrameInputHook) {
        TFrameHookData data{frame,         frame->format, frame->width,
                            frame->height, input.Pts,     frameNumber};
        OnFrameInputHook(*this, data);
    }
    if (OnVideoInputHook && FVideoInputHookOn)
        FVideoInputHookOn =
            RunVideoHook(OnVideoInputHook, FInputHookConverter, frame, input.Pts, frameNumber);
}

bool TCustomFFmpeg::RunVideoHook(const std::function<void(TCustomFFmpeg&, TVideoHookData&)>& hook,
                                 TFormatConverter& converter, AVFrame* frame, int64_t pts,
                                 int frameNumber) {
    converter.SetBitsPixel(HookBitsPixel);
    if (!converter.ToRGB(frame, true)) {
        Log(llError, converter.LastErrMsg());
        return false;
    }
    TVideoHookData data;
    data.Bitmap = &converter.Bitmap();
    data.FrameNumber = frameNumber;
    data.PTS = pts;
    try {
        hook(*this, data);
    } catch (const std::exception& error) {
        Log(llError, QStringLiteral("Error occurs VideoHook event: ") +
                         QString::fromLocal8Bit(error.what()));
        return true;
    }
    if (data.Update) {
        converter.CopyFromBitmap();
        if (converter.Converted() && !converter.FromRGB(frame)) {
            Log(llError, converter.LastErrMsg());
            return false;
        }
    }
    return !data.StopHook;
}

void TCustomFFmpeg::DecodeSubtitle(int inputIndex, const AVPacket* packet) {
    TInputStream& input = FInputStreams[inputIndex];
    AVSubtitle subtitle{};
    int got = 0;
    ffmpeg::PacketPtr empty;
    if (packet == nullptr) {
        empty = ffmpeg::MakePacket();
        packet = empty.get();
    }
    const int result = avcodec_decode_subtitle2(input.DecoderContext.get(), &subtitle, &got,
                                                const_cast<AVPacket*>(packet));
    if (result < 0) {
        DecodeFailed(input);
        return;
    }
    if (!got)
        return;
    struct Release {
        AVSubtitle& Subtitle;
        ~Release() { avsubtitle_free(&Subtitle); }
    } release{subtitle};
    if (StartReached(input.Pts)) {
        for (TOutputStream& output : FOutputStreams) {
            if (output.SourceIndex == inputIndex && output.EncodingNeeded)
                OutputSubtitle(output, input, subtitle);
        }
    }
}
