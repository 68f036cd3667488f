// The player's video decoding thread: decodes pictures, turns them upright, thins them out when
// the machine cannot keep up, runs the hooks, scales them for the display and queues them.

#include "engine/player/FFPlayback.h"

#include "engine/FFLog.h"
#include "engine/player/FFPlayEvents.h"

#include <chrono>
#include <cmath>

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libswscale/swscale.h>
}

void TPlayback::VideoMain() {
    ffmpeg::FramePtr decoded = ffmpeg::MakeFrame();
    ffmpeg::FramePtr upright = ffmpeg::MakeFrame();
    if (!decoded || !upright)
        return;
    AVCodecContext* decoder = FVideoDecoder.get();
    const AVRational timeBase = FInput->streams[FVideoStream]->time_base;
    int serial = 0;
    // The last picture left out after a seek: shown when the input ends before the target.
    ffmpeg::FramePtr leadIn = ffmpeg::MakeFrame();
    double leadInPts = 0.0;
    while (!FAbort.load()) {
        // Paused, only a seek's picture or the first pictures of a paused open are made.
        const bool wanted = FSeekWhilePaused.load() || (FStartPaused && FQueuedAfterOpen < 2);
        if (FPaused.load() && !wanted) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        TPacketQueue::TEntry entry;
        if (FVideoPackets.Get(entry, true) < 0)
            break;
        if (entry.Flush) {
            avcodec_flush_buffers(decoder);
            serial = entry.Serial;
            FSkipFactor = 1.0;
            FSkipCounter = 0.0;
            continue;
        }
        const bool atEnd = entry.Packet->data == nullptr;
        if (avcodec_send_packet(decoder, atEnd ? nullptr : entry.Packet.get()) < 0 && !atEnd)
            continue; // a damaged packet: the next one may decode
        bool any = false;
        while (!FAbort.load() && avcodec_receive_frame(decoder, decoded.get()) >= 0) {
            any = true;
            const int64_t timestamp = decoded->best_effort_timestamp;
            const double pts = timestamp == AV_NOPTS_VALUE ? 0.0 : timestamp * av_q2d(timeBase);
            const double duration = decoded->pkt_duration > 0
                                        ? decoded->pkt_duration * av_q2d(timeBase)
                                        : FFrameDuration;
            // After a seek the key picture before the target leads in: not shown.
            const double from = FAccurateVideo.load();
            if (from >= 0 && serial == FSerial.load()) {
                if (pts + duration / 2 < from) {
                    av_frame_unref(leadIn.get());
                    av_frame_move_ref(leadIn.get(), decoded.get());
                    leadInPts = pts;
                    continue;
                }
                FAccurateVideo = -1.0;
            }
            // A machine that cannot keep up decodes every picture but passes only some.
            FSkipCounter += 1.0;
            const double skip = std::max(1.0, FSkipFactor.load());
            if (FSkipCounter < skip) {
                av_frame_unref(decoded.get());
                std::lock_guard lock(FStatsLock);
                ++FStats.PicturesDropped;
                continue;
            }
            FSkipCounter -= skip;

            ffmpeg::FramePtr picture = ffmpeg::MakeFrame();
            if (!picture)
                break;
            if (FShown.StoredAsShown()) {
                av_frame_move_ref(picture.get(), decoded.get());
            } else {
                if (!ConfigureUpright(decoded.get()) ||
                    av_buffersrc_add_frame(FUprightSource, decoded.get()) < 0 ||
                    av_buffersink_get_frame(FUprightSink, picture.get()) < 0) {
                    av_frame_unref(decoded.get());
                    continue;
                }
            }
            if (!QueuePicture(std::move(picture), pts, duration, serial))
                return; // aborted
        }
        if (atEnd && FAccurateVideo.load() >= 0 && serial == FSerial.load() && leadIn->buf[0]) {
            // Sought beyond the last picture: the last one it is.
            FAccurateVideo = -1.0;
            ffmpeg::FramePtr last = ffmpeg::MakeFrame();
            if (last && av_frame_ref(last.get(), leadIn.get()) >= 0 &&
                (FShown.StoredAsShown() ||
                 (ConfigureUpright(last.get()) &&
                  av_buffersrc_add_frame(FUprightSource, last.get()) >= 0 &&
                  av_buffersink_get_frame(FUprightSink, last.get()) >= 0)) &&
                !QueuePicture(std::move(last), leadInPts, FFrameDuration, serial))
                return;
            any = true;
        }
        if (atEnd && !any) {
            FPositionAfterEnd = true; // the last picture is out: its position is told
            // A seek that found none waits no more; the end of what was read before a newer
            // seek says nothing about it.
            if (serial == FSerial.load())
                FPictureAfterSeek = true;
        }
    }
}

bool TPlayback::ConfigureUpright(const AVFrame* frame) {
    if (FUprightGraph && frame->width == FUprightWidth && frame->height == FUprightHeight &&
        frame->format == FUprightFormat)
        return true;
    FUprightGraph.reset(avfilter_graph_alloc());
    if (!FUprightGraph)
        return false;
    AVFilterGraph* graph = FUprightGraph.get();
    const AVRational aspect =
        frame->sample_aspect_ratio.num > 0 ? frame->sample_aspect_ratio : FShown.SampleAspect;
    const QByteArray args =
        QString::asprintf("video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=%d/%d",
                          frame->width, frame->height, frame->format, AV_TIME_BASE, aspect.num,
                          aspect.den)
            .toUtf8();
    if (avfilter_graph_create_filter(&FUprightSource, avfilter_get_by_name("buffer"), "src",
                                     args.constData(), nullptr, graph) < 0 ||
        avfilter_graph_create_filter(&FUprightSink, avfilter_get_by_name("buffersink"), "out",
                                     nullptr, nullptr, graph) < 0) {
        FUprightGraph.reset();
        return false;
    }
    AVFilterContext* last = FUprightSource;
    QSize shown;
    if (!AddUprightFilters(graph, last, FShown, frame->width, frame->height, aspect, &shown) ||
        avfilter_link(last, 0, FUprightSink, 0) < 0 || avfilter_graph_config(graph, nullptr) < 0) {
        FUprightGraph.reset();
        return false;
    }
    FUprightWidth = frame->width;
    FUprightHeight = frame->height;
    FUprightFormat = frame->format;
    return true;
}

bool TPlayback::QueuePicture(ffmpeg::FramePtr frame, double pts, double duration, int serial) {
    // Decoding ahead of the display: pass more of them again.
    if (FPictures.Full())
        FSkipFactor = std::max(0.95, FSkipFactor.load() * 0.95);
    RunVideoHook(frame.get(), pts);
    RunFrameHook(frame.get(), pts);

    TPictureSlot slot;
    slot.Pts = pts;
    slot.Duration = duration;
    slot.Serial = serial;
    if (FDisplay.load() != nullptr) {
        slot.Area = DisplayArea(frame->width, frame->height);
        slot.Scaled = ScaleForDisplay(frame.get(), slot.Area, FDisplayScaler);
    }
    slot.Frame = std::move(frame);
    if (!FPictures.Push(std::move(slot)))
        return false;
    if (serial == FSerial.load())
        FPictureAfterSeek = true;
    if (FStartPaused && ++FQueuedAfterOpen == 2 && !FPausedOpenReported.exchange(true))
        Post(psPause); // said even when resumed meanwhile; it does not pause
    FPlayWake.notify_all();
    return true;
}

void TPlayback::RunVideoHook(AVFrame* frame, double pts) {
    if (!FPlayer.VideoHook.load() || !FPlayer.OnVideoHook)
        return;
    // The hook may draw into the picture: it must be the player's own.
    if (av_frame_make_writable(frame) < 0 || !FHookConverter.ToRGB(frame, true)) {
        GetLogger()->Log(&FPlayer, llError, FHookConverter.LastErrMsg());
        return;
    }
    bool update = true;
    try {
        FPlayer.OnVideoHook(&FPlayer, &FHookConverter.Bitmap(),
                            std::llround(pts * 1e6) - FStartTime, update);
    } catch (const std::exception& error) {
        GetLogger()->Log(&FPlayer, llError,
                         QStringLiteral("Error occurs OnVideoHook: ") +
                             QString::fromLocal8Bit(error.what()));
        return;
    }
    if (!update)
        return;
    FHookConverter.CopyFromBitmap();
    if (FHookConverter.Converted() && !FHookConverter.FromRGB(frame))
        GetLogger()->Log(&FPlayer, llError, FHookConverter.LastErrMsg());
}

void TPlayback::RunFrameHook(AVFrame* frame, double pts) {
    if (!FPlayer.FrameHook.load() || !FPlayer.OnFrameHook)
        return;
    try {
        FPlayer.OnFrameHook(&FPlayer, frame, frame->format, frame->width, frame->height,
                            std::llround(pts * 1e6) - FStartTime);
    } catch (const std::exception& error) {
        GetLogger()->Log(&FPlayer, llError,
                         QStringLiteral("Error occurs OnFrameHook: ") +
                             QString::fromLocal8Bit(error.what()));
    }
}

QImage TPlayback::ScaleForDisplay(const AVFrame* frame, const QRect& area,
                                  ffmpeg::ScalerPtr& scaler) {
    if (area.isEmpty())
        return QImage();
    QImage image(area.size(), QImage::Format_RGB32);
    scaler.reset(sws_getCachedContext(
        scaler.release(), frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
        area.width(), area.height(), AV_PIX_FMT_RGB32, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!scaler)
        return QImage();
    uint8_t* planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int strides[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
    sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes, strides);
    return image;
}

QRect TPlayback::DisplayArea(int width, int height) const {
    int screenWidth = FPlayer.ScreenWidth();
    int screenHeight = FPlayer.ScreenHeight();
    if (screenWidth <= 0 || screenHeight <= 0) {
        screenWidth = width & ~1;
        screenHeight = height & ~1;
    }
    if (screenWidth <= 0 || screenHeight <= 0) {
        screenWidth = 640;
        screenHeight = 480;
    }
    const float forced = FPlayer.AspectRatio();
    if (forced < 0)
        return QRect(0, 0, screenWidth, screenHeight);
    // The pictures are upright and of square pixels: their own shape is their display shape.
    const double aspect = forced > 0 ? forced : double(width) / std::max(1, height);
    int shownHeight = screenHeight;
    int shownWidth = static_cast<int>(std::lround(shownHeight * aspect)) & ~1;
    if (shownWidth > screenWidth) {
        shownWidth = screenWidth;
        shownHeight = static_cast<int>(std::lround(shownWidth / aspect)) & ~1;
    }
    shownWidth = std::max(1, shownWidth);
    shownHeight = std::max(1, shownHeight);
    return QRect((screenWidth - shownWidth) / 2, (screenHeight - shownHeight) / 2, shownWidth,
                 shownHeight);
}
