// The player's sound: SDL's audio device and its callback, which decodes the sound, converts it
// to signed 16-bit samples, mixes it at the player's volume and keeps the sound's clock.

#include "engine/player/FFPlayback.h"

#include "engine/FFLoad.h"
#include "engine/FFLog.h"

#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace {

constexpr int kDeviceSamples = 1024;
constexpr int kSilenceBytes = 1024;
constexpr size_t kSoundRingSamples = 4096; // mono, for the picture of the sound

} // namespace

bool TPlayback::OpenAudio() {
    std::lock_guard start(TSDLLoader::StartLock());
    if (!FPlayer.AudioDriver.isEmpty())
        qputenv("SDL_AUDIODRIVER", FPlayer.AudioDriver.toUtf8());
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        GetLogger()->Log(&FPlayer, llError,
                         QStringLiteral("Could not initialize SDL with ScreenHandle(%1): %2")
                             .arg(0)
                             .arg(QString::fromUtf8(SDL_GetError())));
        return false;
    }
    FSdlAudioStarted = true;
    GetLogger()->Log(&FPlayer, llDebug,
                     QStringLiteral("using audio driver: %1")
                         .arg(QString::fromUtf8(SDL_GetCurrentAudioDriver())));
    SDL_AudioSpec wanted{};
    wanted.freq = FAudioDecoder->sample_rate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = static_cast<Uint8>(std::min(FAudioDecoder->ch_layout.nb_channels, 2));
    wanted.samples = kDeviceSamples;
    wanted.callback = &TPlayback::AudioCallback;
    wanted.userdata = this;
    FAudioDevice =
        SDL_OpenAudioDevice(nullptr, 0, &wanted, &FAudioSpec,
                            SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
    if (FAudioDevice == 0 || FAudioSpec.channels < 1 || FAudioSpec.channels > 2) {
        GetLogger()->Log(&FPlayer, llError,
                         QStringLiteral("SDL_OpenAudio() failed: ") +
                             QString::fromUtf8(SDL_GetError()));
        if (FAudioDevice != 0)
            SDL_CloseAudioDevice(FAudioDevice);
        FAudioDevice = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        FSdlAudioStarted = false;
        return false;
    }
    FAudioFrame = ffmpeg::MakeFrame();
    FAudioPacket = ffmpeg::MakePacket();
    {
        std::lock_guard lock(FSoundLock);
        FSoundRing.assign(kSoundRingSamples, 0);
    }
    SDL_PauseAudioDevice(FAudioDevice, FPaused.load() ? 1 : 0);
    return true;
}

void TPlayback::CloseAudio() {
    std::lock_guard start(TSDLLoader::StartLock());
    // Closing waits for a callback in progress: after it nothing plays any more.
    if (FAudioDevice != 0)
        SDL_CloseAudioDevice(FAudioDevice);
    FAudioDevice = 0;
    if (FSdlAudioStarted)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    FSdlAudioStarted = false;
    av_channel_layout_uninit(&FResampledLayout);
}

void TPlayback::AudioCallback(void* self, Uint8* stream, int length) {
    static_cast<TPlayback*>(self)->FillAudio(stream, length);
}

void TPlayback::FillAudio(Uint8* stream, int length) {
    const double callbackTime = WallClock();
    bool decoded = false;
    while (length > 0) {
        if (FAudioBufferIndex >= FAudioBufferSize) {
            const int size = DecodeAudio();
            if (size < 0) {
                // Nothing to play now (paused, starved, at the end): a little silence.
                FAudioBuffer.assign(kSilenceBytes, 0);
                FAudioBufferSize = kSilenceBytes;
            } else {
                FAudioBufferSize = size;
                decoded = true;
            }
            FAudioBufferIndex = 0;
        }
        const int chunk = std::min(FAudioBufferSize - FAudioBufferIndex, length);
        const Uint8* from = FAudioBuffer.data() + FAudioBufferIndex;
        const int volume = FPlayer.AudioVolume();
        if (FPlayer.Mute() || volume == 0) {
            std::memset(stream, 0, static_cast<size_t>(chunk));
        } else if (volume == TCustomPlayer::kMaxVolume) {
            std::memcpy(stream, from, static_cast<size_t>(chunk));
        } else {
            std::memset(stream, 0, static_cast<size_t>(chunk));
            SDL_MixAudioFormat(stream, from, AUDIO_S16SYS, static_cast<Uint32>(chunk), volume);
        }
        length -= chunk;
        stream += chunk;
        FAudioBufferIndex += chunk;
    }
    // The sound's clock: the time of what was decoded, less what still waits to be heard.
    const double bytesPerSecond = 2.0 * FAudioSpec.channels * FAudioSpec.freq;
    if (decoded && !std::isnan(FAudioPts) && bytesPerSecond > 0) {
        const double buffered = 2.0 * FAudioSpec.size + (FAudioBufferSize - FAudioBufferIndex);
        FAudioClock.Set(FAudioPts - buffered / bytesPerSecond, callbackTime);
    }
}

int TPlayback::DecodeAudio() {
    AVCodecContext* decoder = FAudioDecoder.get();
    for (;;) {
        if (FAbort.load() || FPaused.load())
            return -1;
        const int received = avcodec_receive_frame(decoder, FAudioFrame.get());
        if (received >= 0) {
            AVFrame* frame = FAudioFrame.get();
            const double rate = frame->sample_rate > 0 ? frame->sample_rate : decoder->sample_rate;
            const AVRational base = FInput->streams[FAudioStream]->time_base;
            double pts = frame->pts != AV_NOPTS_VALUE ? frame->pts * av_q2d(base) : FAudioPts;
            if (std::isnan(pts))
                pts = 0.0;
            int skip = 0;
            const double from = FAccurateAudio.load();
            if (from >= 0) {
                // After a seek: the sound before the target is left out.
                const double end = pts + frame->nb_samples / rate;
                if (end <= from) {
                    av_frame_unref(frame);
                    continue;
                }
                skip = std::max(0, static_cast<int>((from - pts) * rate));
                FAccurateAudio = -1.0;
            }
            if (!PrepareResampler(frame)) {
                GetLogger()->Log(&FPlayer, llError,
                                 QStringLiteral("Cannot convert %1 sample format to %2 sample "
                                                "format")
                                     .arg(QString::fromUtf8(av_get_sample_fmt_name(
                                         static_cast<AVSampleFormat>(frame->format))))
                                     .arg(QStringLiteral("s16")));
                av_frame_unref(frame);
                return -1;
            }
            const int samples = frame->nb_samples - skip;
            const int room = swr_get_out_samples(FResampler.get(), samples) + 32;
            FAudioBuffer.resize(static_cast<size_t>(room) * 2 * FAudioSpec.channels);
            uint8_t* out8 = FAudioBuffer.data();
            const int bytesPerSample =
                av_get_bytes_per_sample(static_cast<AVSampleFormat>(frame->format));
            const bool planar = av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame->format));
            std::vector<const uint8_t*> in;
            for (int p = 0; p < (planar ? frame->ch_layout.nb_channels : 1); ++p)
                in.push_back(frame->extended_data[p] +
                             ptrdiff_t(skip) * bytesPerSample *
                                 (planar ? 1 : frame->ch_layout.nb_channels));
            const int converted = swr_convert(FResampler.get(), &out8, room, in.data(), samples);
            av_frame_unref(frame);
            if (converted < 0) {
                GetLogger()->Log(&FPlayer, llError, QStringLiteral("av_audio_convert() failed"));
                return -1;
            }
            const int bytes = converted * 2 * FAudioSpec.channels;
            FAudioPts = pts + (skip + samples) / rate;
            const auto* pcm = reinterpret_cast<const int16_t*>(FAudioBuffer.data());
            if (FPlayer.AudioHook.load() && FPlayer.OnAudioHook)
                FPlayer.OnAudioHook(&FPlayer, std::llround(pts * 1e6) - FStartTime,
                                    FAudioBuffer.data(), bytes, FAudioSpec.freq,
                                    FAudioSpec.channels);
            KeepSoundForDisplay(pcm, converted);
            return bytes;
        }
        if (received != AVERROR(EAGAIN) && received != AVERROR_EOF)
            return -1;
        // The decoder wants the next packet; none waiting is silence for now, never a wait
        // in the device's callback.
        TPacketQueue::TEntry entry;
        if (FAudioPackets.Get(entry, false) <= 0)
            return -1;
        if (entry.Flush) {
            avcodec_flush_buffers(decoder);
            FAudioPts = std::numeric_limits<double>::quiet_NaN();
            continue;
        }
        const bool atEnd = entry.Packet->data == nullptr;
        if (avcodec_send_packet(decoder, atEnd ? nullptr : entry.Packet.get()) < 0 && !atEnd)
            GetLogger()->Log(&FPlayer, llError, QStringLiteral("avcodec_decode_audio3() failed"));
    }
}

// To the device's format, rate and channels; made again when the sound changes its own.
bool TPlayback::PrepareResampler(const AVFrame* frame) {
    if (FResampler && frame->format == FResampledFormat && frame->sample_rate == FResampledRate &&
        av_channel_layout_compare(&frame->ch_layout, &FResampledLayout) == 0)
        return true;
    AVChannelLayout out{};
    av_channel_layout_default(&out, FAudioSpec.channels);
    SwrContext* raw = nullptr;
    const int made = swr_alloc_set_opts2(&raw, &out, AV_SAMPLE_FMT_S16, FAudioSpec.freq,
                                         const_cast<AVChannelLayout*>(&frame->ch_layout),
                                         static_cast<AVSampleFormat>(frame->format),
                                         frame->sample_rate, 0, nullptr);
    FResampler.reset(raw);
    av_channel_layout_uninit(&out);
    if (made < 0 || swr_init(FResampler.get()) < 0) {
        FResampler.reset();
        return false;
    }
    FResampledFormat = frame->format;
    FResampledRate = frame->sample_rate;
    av_channel_layout_uninit(&FResampledLayout);
    av_channel_layout_copy(&FResampledLayout, &frame->ch_layout);
    return true;
}

void TPlayback::KeepSoundForDisplay(const int16_t* samples, int count) {
    if (FDisplayMode != TDisplayMode::Sound)
        return;
    std::lock_guard lock(FSoundLock);
    if (FSoundRing.empty())
        return;
    const int channels = FAudioSpec.channels;
    for (int i = 0; i < count; ++i) {
        int sum = 0;
        for (int c = 0; c < channels; ++c)
            sum += samples[i * channels + c];
        FSoundRing[FSoundWrite] = static_cast<int16_t>(sum / channels);
        FSoundWrite = (FSoundWrite + 1) % FSoundRing.size();
    }
}
