// The player's reader thread: opens the input and its streams, then reads packets into the
// decoders' queues, seeks when asked, and marks the end of the input.

#include "engine/player/FFPlayback.h"

#include "engine/FFLoad.h"
#include "engine/FFLog.h"
#include "engine/MainThread.h"
#include "engine/player/FFPlayEvents.h"

#include <QCoreApplication>

#include <chrono>
#include <cstring>

extern "C" {
#include <libavutil/time.h>
}

namespace {

constexpr int64_t kIOTimeout = 10000000;                // µs a blocking read or open may take
constexpr int64_t kQueuedBytesLimit = 15 * 1024 * 1024; // all queues together
constexpr int64_t kAudioQueueFull = 327680;             // bytes
constexpr int kPacketQueueFull = 5;                     // video or subtitle packets

enum TIOGiveUp { ioGoingOn, ioTimedOut, ioCanceled };

void Nap(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool IsCaptureFormat(const char* name) {
    for (const char* capture :
         {"video4linux2,v4l2", "x11grab", "fbdev", "kmsgrab", "alsa", "pulse", "jack", "oss"}) {
        if (std::strcmp(name, capture) == 0)
            return true;
    }
    return false;
}

// Image files and image pipes: one picture, no positions and no end.
bool IsStillPictureFormat(const char* name) {
    const size_t length = std::strlen(name);
    return std::strcmp(name, "image2") == 0 ||
           (length > 5 && std::strcmp(name + length - 5, "_pipe") == 0);
}

} // namespace

TPlayback::TPlayback(TCustomPlayer& player, TEventRing& events, const QString& fileName,
                     IPlayerDisplay* display, bool paused)
    : FPlayer(player), FEvents(events), FFileName(fileName), FDisplay(display),
      FStartPaused(paused) {
    FPaused = paused;
    FAudioClock.SetPaused(paused);
    FVideoClock.SetPaused(paused);
    FPausedAt = WallClock();
    FHookConverter.SetBitsPixel(24);
}

TPlayback::~TPlayback() {
    if (FPlayThread.joinable()) {
        RequestQuit();
        FPlayThread.join(); // it closes everything on its way out
    } else {
        CloseAll(); // the open failed, or the play thread never started
    }
}

void TPlayback::Post(TPlayState state) {
    if (FPlayer.OnState)
        FEvents.Add({TEventRing::ekState, state, 0});
    else if (state == psStop)
        FEvents.Add({TEventRing::ekEnd, state, 0});
}

QSize TPlayback::VideoSize() const {
    return FVideoStream >= 0 ? QSize(FShown.Width, FShown.Height) : QSize();
}

int TPlayback::StartReading() {
    try {
        FReaderThread = std::thread([this] {
            ReaderMain();
            SDL_TLSCleanup(); // SDL keeps per-thread state for threads it did not start
        });
    } catch (const std::system_error&) {
        FPlayer.Fail(QStringLiteral("SDL_CreateThread() failed."));
        return -1;
    }
    FPlayer.WaitFor([this] { return FOpenResult.load() != 0; });
    if (FOpenResult.load() < 0) {
        FPlayer.FLastError = FOpenError;
        return -1;
    }
    return 1;
}

// --- Blocking I/O ---------------------------------------------------------------------------

bool TPlayback::IOCheck(void* sender) {
    auto* self = static_cast<TPlayback*>(sender);
    int reason = ioGoingOn;
    if (self->FAbort.load() || self->FIOCanceled.load())
        reason = ioCanceled;
    else if (av_gettime_relative() - self->FIOStart.load() > kIOTimeout)
        reason = ioTimedOut;
    if (reason == ioGoingOn)
        return false;
    int goingOn = ioGoingOn;
    self->FIOGaveUp.compare_exchange_strong(goingOn, reason);
    return true;
}

void TPlayback::BeginIO() {
    FIOStart = av_gettime_relative();
}

void TPlayback::EndIO() {
    FIOStart = INT64_MAX;
    // Logged here, not in the check: the check runs under the interrupt registry's lock.
    switch (FIOGaveUp.exchange(ioGoingOn)) {
    case ioTimedOut:
        GetLogger()->Log(&FPlayer, llInfo, QStringLiteral("connecting/reading timeout"));
        break;
    case ioCanceled:
        GetLogger()->Log(&FPlayer, llInfo, QStringLiteral("connecting/reading canceled"));
        break;
    default: break;
    }
}

// --- Opening --------------------------------------------------------------------------------

void TPlayback::FailOpen(const QString& text) {
    FOpenError = text;
    GetLogger()->Log(&FPlayer, llError, text);
}

void TPlayback::ReaderMain() {
    const uint32_t thread = engine::CurrentThreadId();
    InterruptCB().Add(thread, this, &TPlayback::IOCheck);
    if (!OpenInput()) {
        // Whatever was opened of the streams goes again before the player hears of it.
        FAbort = true;
        CloseStreams();
        FInput.reset();
        InterruptCB().Remove(thread, this, &TPlayback::IOCheck);
        FOpenResult = -1;
        return;
    }
    FOpenResult = 1;
    ReadLoop();
    while (!FAbort.load())
        Nap(10);
    CloseStreams();
    FInput.reset();
    InterruptCB().Remove(thread, this, &TPlayback::IOCheck);
}

bool TPlayback::OpenInput() {
    ffmpeg::FormatContextPtr unopened(avformat_alloc_context());
    if (!unopened) {
        FailOpen(QStringLiteral("av_mallocz() failed."));
        return false;
    }
    unopened->interrupt_callback = EngineInterruptCallback();
    AVDictionary* rawOptions = nullptr;
    if (FPlayer.FrameWidth() > 0 && FPlayer.FrameHeight() > 0) {
        av_dict_set(&rawOptions, "video_size",
                    QStringLiteral("%1x%2")
                        .arg(FPlayer.FrameWidth())
                        .arg(FPlayer.FrameHeight())
                        .toUtf8()
                        .constData(),
                    0);
        av_dict_set(&rawOptions, "framerate", "25", 0);
    }
    ffmpeg::DictionaryPtr options(rawOptions);

    AVFormatContext* context = unopened.release(); // avformat_open_input frees it on failure
    rawOptions = options.release();
    BeginIO();
    const int opened =
        avformat_open_input(&context, FFileName.toUtf8().constData(), nullptr, &rawOptions);
    EndIO();
    options.reset(rawOptions);
    if (opened < 0) {
        FailOpen(QStringLiteral("%1: %2").arg(FFileName, engine::ErrorText(opened)));
        return false;
    }
    FInput.reset(context);

    if (FPlayer.OnBeforeFindStreamInfo) {
        if (FPlayer.TriggerEventInMainThread && QCoreApplication::instance() != nullptr)
            engine::RunInMainThread([&] { FPlayer.OnBeforeFindStreamInfo(&FPlayer, context); });
        else
            FPlayer.OnBeforeFindStreamInfo(&FPlayer, context);
    }
    BeginIO();
    const int analysed = avformat_find_stream_info(context, nullptr);
    EndIO();
    if (analysed < 0) {
        FailOpen(QStringLiteral("%1: could not find codec parameters").arg(FFileName));
        return false;
    }
    if (context->pb != nullptr) {
        context->pb->eof_reached = 0;
        context->pb->error = 0;
    }

    FStartTime = context->start_time != AV_NOPTS_VALUE ? context->start_time : 0;
    FDuration = context->duration != AV_NOPTS_VALUE ? context->duration : -1;
    FStillPicture = IsStillPictureFormat(context->iformat->name);
    FCapture = IsCaptureFormat(context->iformat->name);
    FSeekByBytes = (context->iformat->flags & AVFMT_TS_DISCONT) &&
                   std::strcmp(context->iformat->name, "ogg") != 0;

    for (unsigned i = 0; i < context->nb_streams; ++i)
        context->streams[i]->discard = AVDISCARD_ALL;
    const int video = FPlayer.DisableVideo
                          ? -1
                          : av_find_best_stream(context, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int audio = FPlayer.DisableAudio
                          ? -1
                          : av_find_best_stream(context, AVMEDIA_TYPE_AUDIO, -1, video, nullptr, 0);
    const int subtitle = av_find_best_stream(context, AVMEDIA_TYPE_SUBTITLE, -1,
                                             audio >= 0 ? audio : video, nullptr, 0);
    for (const int index : {audio, video, subtitle}) {
        if (index >= 0)
            OpenStream(index);
    }
    FDisplayMode = FVideoStream >= 0 ? TDisplayMode::Picture : TDisplayMode::Sound;
    if (FAudioStream < 0 && FVideoStream < 0) {
        FailOpen(QStringLiteral("%1: could not open codecs, no stream to play.").arg(FFileName));
        return false;
    }
    return true;
}

bool TPlayback::OpenStream(int index) {
    AVStream* stream = FInput->streams[index];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (codec == nullptr) {
        GetLogger()->Log(&FPlayer, llError, QStringLiteral("Cannot find decoder."));
        return false;
    }
    ffmpeg::CodecContextPtr decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0) {
        GetLogger()->Log(&FPlayer, llError, QStringLiteral("avcodec_open() failed."));
        return false;
    }
    decoder->pkt_timebase = stream->time_base;
    if (decoder->codec_type == AVMEDIA_TYPE_VIDEO) {
        decoder->thread_count = 0; // as many as the machine has
        decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    }
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        GetLogger()->Log(&FPlayer, llError, QStringLiteral("avcodec_open() failed."));
        return false;
    }
    stream->discard = AVDISCARD_DEFAULT;

    switch (decoder->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
        if (decoder->sample_rate < 1 || decoder->ch_layout.nb_channels < 1) {
            GetLogger()->Log(&FPlayer, llError,
                             QStringLiteral("Invalid sample rate or channel count."));
            stream->discard = AVDISCARD_ALL;
            return false;
        }
        FAudioDecoder = std::move(decoder);
        FAudioStream = index;
        FAudioPackets.Start();
        if (!OpenAudio()) {
            // No sound device: the pictures play on their own clock.
            FAudioDecoder.reset();
            FAudioStream = -1;
            FAudioPackets.Clear();
            stream->discard = AVDISCARD_ALL;
            return false;
        }
        return true;
    case AVMEDIA_TYPE_VIDEO: {
        const AVRational container = stream->r_frame_rate;
        AVRational rate = stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : container;
        if (decoder->framerate.num > 0 && container.num > 0 &&
            av_cmp_q(decoder->framerate, container) != 0) {
            GetLogger()->Log(
                &FPlayer, llInfo,
                QString::asprintf("Seems stream %d codec frame rate differs from container frame "
                                  "rate: %2.2f (%d/%d) -> %2.2f (%d/%d)",
                                  index, av_q2d(decoder->framerate), decoder->framerate.num,
                                  decoder->framerate.den, av_q2d(container), container.num,
                                  container.den));
            rate = container;
        }
        FFrameDuration = rate.num > 0 && rate.den > 0 ? av_q2d(av_inv_q(rate)) : 0.04;
        FShown = DisplayGeometryOf(FInput.get(), stream);
        FVideoDecoder = std::move(decoder);
        FVideoStream = index;
        FVideoPackets.Start();
        FVideoThread = std::thread([this] { VideoMain(); });
        return true;
    }
    case AVMEDIA_TYPE_SUBTITLE:
        FSubtitleDecoder = std::move(decoder);
        FSubtitleStream = index;
        FSubtitlePackets.Start();
        FSubtitleThread = std::thread([this] { SubtitleMain(); });
        return true;
    default: return false;
    }
}

// The decoding threads end on their aborted queues; the sound device is closed before the
// sound's decoder goes.
void TPlayback::CloseStreams() {
    FAudioPackets.Abort();
    FVideoPackets.Abort();
    FSubtitlePackets.Abort();
    FPictures.Abort();
    CloseAudio();
    if (FVideoThread.joinable())
        FVideoThread.join();
    if (FSubtitleThread.joinable())
        FSubtitleThread.join();
    FUprightGraph.reset();
    FVideoDecoder.reset();
    FSubtitleDecoder.reset();
    FAudioDecoder.reset();
}

// --- Reading --------------------------------------------------------------------------------

bool TPlayback::QueuesFull() const {
    if (FAudioPackets.Bytes() + FVideoPackets.Bytes() + FSubtitlePackets.Bytes() >
        kQueuedBytesLimit)
        return true;
    return (FAudioStream < 0 || FAudioPackets.Bytes() > kAudioQueueFull) &&
           (FVideoStream < 0 || FVideoPackets.Count() > kPacketQueueFull) &&
           (FSubtitleStream < 0 || FSubtitlePackets.Count() > kPacketQueueFull);
}

// Everything read has been taken by the decoders of the played streams.
bool TPlayback::QueuesDrained() const {
    return (FAudioStream < 0 || FAudioPackets.Count() == 0) &&
           (FVideoStream < 0 || FVideoPackets.Count() == 0) &&
           (FSubtitleStream < 0 || FSubtitlePackets.Count() == 0);
}

void TPlayback::ReadLoop() {
    ffmpeg::PacketPtr packet = ffmpeg::MakePacket();
    if (!packet)
        return;
    bool emptyPacketSent = false;
    while (!FAbort.load()) {
        if (FPaused.load() != FLastPausedOnInput) {
            FLastPausedOnInput = FPaused.load();
            if (FLastPausedOnInput)
                av_read_pause(FInput.get()); // network inputs stop sending
            else
                av_read_play(FInput.get());
        }
        if (FSeekPending.load()) {
            DoSeek();
            emptyPacketSent = false;
        }
        if (QueuesFull()) {
            Nap(10);
            continue;
        }
        if (FEndOfInput.load()) {
            // The decoders give out what they hold; then the end is reached.
            if (!emptyPacketSent) {
                if (FVideoStream >= 0)
                    FVideoPackets.PutEmpty(FVideoStream);
                if (FAudioStream >= 0)
                    FAudioPackets.PutEmpty(FAudioStream);
                emptyPacketSent = true;
            }
            Nap(10);
            if (QueuesDrained())
                FEndReached = true;
            continue;
        }

        BeginIO();
        const int result = av_read_frame(FInput.get(), packet.get());
        EndIO();
        if (result == AVERROR(EAGAIN)) {
            if (FInput->pb != nullptr)
                FInput->pb->eof_reached = 0;
            Nap(10);
            continue;
        }
        if (result < 0) {
            const bool ioError =
                FInput->pb != nullptr && FInput->pb->error < 0 && FInput->pb->error != AVERROR_EOF;
            if (result == AVERROR_EOF || (FInput->pb != nullptr && avio_feof(FInput->pb))) {
                if (!FEndOfFileLogged && !FStillPicture)
                    GetLogger()->Log(&FPlayer, llInfo,
                                     QStringLiteral("reach end of file: %1").arg(FFileName));
                FEndOfFileLogged = true;
            } else if (!FReadErrorLogged) {
                GetLogger()->Log(
                    &FPlayer, llError,
                    QStringLiteral("error #%1 while reading file: %2").arg(result).arg(FFileName));
                FReadErrorLogged = true;
            }
            FEndOfInput = true;
            if (ioError)
                break; // what could be read plays; the input is not read any more
            Nap(100);
            continue;
        }
        if (packet->stream_index == FAudioStream)
            FAudioPackets.Put(packet.get());
        else if (packet->stream_index == FVideoStream)
            FVideoPackets.Put(packet.get());
        else if (packet->stream_index == FSubtitleStream)
            FSubtitlePackets.Put(packet.get());
        av_packet_unref(packet.get());
    }
    // A broken input still ends as an end: what was read plays out.
    if (!FAbort.load()) {
        if (FVideoStream >= 0)
            FVideoPackets.PutEmpty(FVideoStream);
        while (!FAbort.load() && !QueuesDrained())
            Nap(10);
        FEndReached = true;
    }
}

bool TPlayback::RequestSeek(int64_t target, int64_t relative, int flags) {
    std::lock_guard lock(FSeekLock);
    if (FSeekPending.load())
        return false;
    FSeekTarget = target;
    FSeekRelative = relative;
    FSeekFlags = flags;
    // From here on what was decoded before is out of date, and only a picture of after the
    // seek releases a waiting Seek.
    FSerial = FSerial.load() + 1;
    FPictureAfterSeek = FVideoStream < 0;
    FSeekPending = true;
    return true;
}

void TPlayback::DoSeek() {
    int64_t target = 0, relative = 0;
    int flags = 0;
    {
        std::lock_guard lock(FSeekLock);
        target = FSeekTarget;
        relative = FSeekRelative;
        flags = FSeekFlags;
    }
    const int64_t lowest = relative > 0 ? target - relative + 2 : INT64_MIN;
    const int64_t highest = relative < 0 ? target - relative - 2 : INT64_MAX;
    BeginIO();
    int result = avformat_seek_file(FInput.get(), -1, lowest, target, highest, flags);
    if (result < 0)
        result = av_seek_frame(FInput.get(), -1, target, flags);
    if (result < 0)
        result = av_seek_frame(FInput.get(), -1, target, flags ^ AVSEEK_FLAG_BACKWARD);
    EndIO();
    // The decoders start afresh either way: after a failed seek, where the input stands.
    const int serial = FSerial.load();
    if (result < 0)
        GetLogger()->Log(&FPlayer, llError,
                         QStringLiteral("%1: error while seeking").arg(FFileName));
    // What the decoders show first is the target itself, not the key picture before it.
    const double from = (flags & AVSEEK_FLAG_BYTE) || result < 0 ? -1.0 : target / 1e6;
    FAccurateVideo = from;
    FAccurateAudio = from;
    // Only the queues of played streams get a marker: nobody takes from the others.
    for (const auto& [queue, stream] :
         {std::pair{&FAudioPackets, FAudioStream}, std::pair{&FVideoPackets, FVideoStream},
          std::pair{&FSubtitlePackets, FSubtitleStream}}) {
        queue->Clear();
        if (stream >= 0)
            queue->PutFlush(serial);
    }
    FEndOfInput = false;
    FEndReached = false;
    FEndOfFileLogged = false;
    FSeekWhilePaused = FPaused.load();
    FSeekPending = false;
}
