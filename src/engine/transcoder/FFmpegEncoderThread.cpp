#include "engine/transcoder/FFmpegEncoderThread.h"

#include <new>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
}

TEncoderThread::TEncoderThread(AVCodecContext* encoder)
    : FEncoder(encoder), FThread([this] { Run(); }) {}

TEncoderThread::~TEncoderThread() {
    {
        std::lock_guard lock(FLock);
        FStop = true;
    }
    FChanged.notify_all();
    FThread.join();
}

bool TEncoderThread::Submit(const AVFrame* frame) {
    ffmpeg::FramePtr reference;
    if (frame != nullptr) {
        reference = ffmpeg::MakeFrame();
        if (!reference || av_frame_ref(reference.get(), frame) < 0)
            throw std::bad_alloc();
    }
    std::unique_lock lock(FLock);
    FChanged.wait(lock, [this] { return FFrames.size() < kDepth || FFailed; });
    if (FFailed)
        return false;
    FFrames.push_back(std::move(reference));
    FChanged.notify_all();
    return true;
}

bool TEncoderThread::Drain() {
    std::unique_lock lock(FLock);
    FChanged.wait(lock, [this] { return (FFrames.empty() && !FBusy) || FFailed; });
    return !FFailed;
}

std::vector<TEncoderThread::TEncoded> TEncoderThread::Take() {
    std::lock_guard lock(FLock);
    return std::exchange(FEncoded, {});
}

void TEncoderThread::Run() {
    for (;;) {
        ffmpeg::FramePtr frame;
        {
            std::unique_lock lock(FLock);
            FChanged.wait(lock, [this] { return FStop || (!FFrames.empty() && !FFailed); });
            if (FStop)
                return;
            frame = std::move(FFrames.front());
            FFrames.pop_front();
            FBusy = true;
        }
        std::vector<TEncoded> encoded;
        bool failed = false;
        Encode(frame.get(), encoded, failed);
        {
            std::lock_guard lock(FLock);
            for (TEncoded& packet : encoded)
                FEncoded.push_back(std::move(packet));
            FFailed = FFailed || failed;
            FBusy = false;
        }
        FChanged.notify_all();
    }
}

void TEncoderThread::Encode(const AVFrame* frame, std::vector<TEncoded>& encoded, bool& failed) {
    if (avcodec_send_frame(FEncoder, frame) < 0 && frame != nullptr) {
        failed = true;
        return;
    }
    for (;;) {
        ffmpeg::PacketPtr packet = ffmpeg::MakePacket();
        if (!packet) {
            failed = true;
            return;
        }
        const int result = avcodec_receive_packet(FEncoder, packet.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return;
        if (result < 0) {
            failed = true;
            return;
        }
        encoded.push_back(
            {std::move(packet), FEncoder->stats_out != nullptr ? FEncoder->stats_out : ""});
    }
}
