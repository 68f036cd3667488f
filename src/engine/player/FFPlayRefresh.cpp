// The player's play thread: wakes every few milliseconds, shows each picture when its time has
// come against the sound's clock (dropping those that are too late), reports positions and the
// end, and at the end of playing closes everything down.

#include "engine/player/FFPlayback.h"

#include "engine/FFLog.h"
#include "engine/player/FFPlayEvents.h"

#include <chrono>
#include <cmath>

namespace {

constexpr int kRefreshMs = 5;
constexpr int kSoundRefreshMs = 20;
constexpr double kNoSyncBeyond = 10.0; // s: clocks this far apart are not compared

} // namespace

void TPlayback::StartPlaying() {
    FPlayThread = std::thread([this] {
        PlayMain();
        SDL_TLSCleanup(); // SDL keeps per-thread state for threads it did not start
    });
}

void TPlayback::RequestQuit() {
    FQuit = true;
    FPlayWake.notify_all();
}

void TPlayback::ReleaseDisplay() {
    std::lock_guard lock(FDisplayLock);
    if (IPlayerDisplay* display = FDisplay.exchange(nullptr))
        display->ClearPicture();
}

void TPlayback::AspectChanged() {
    FAspectChanged = true;
    FPlayWake.notify_all();
}

void TPlayback::Pause() {
    FPausedAt = WallClock();
    FPaused = true;
    FAudioClock.SetPaused(true);
    FVideoClock.SetPaused(true);
    if (FAudioDevice != 0)
        SDL_PauseAudioDevice(FAudioDevice, 1);
    FPictureAfterSeek = true; // a waiting seek must not wait for a paused picture
}

void TPlayback::Resume() {
    FResumeShift = FResumeShift.load() + (WallClock() - FPausedAt);
    FAudioClock.SetPaused(false);
    FVideoClock.SetPaused(false);
    FPaused = false;
    FSeekWhilePaused = false;
    if (FAudioDevice != 0)
        SDL_PauseAudioDevice(FAudioDevice, 0);
    FPlayWake.notify_all();
}

void TPlayback::PlayMain() {
    Post(psPlay);
    try {
        while (!FQuit.load()) {
            {
                std::unique_lock lock(FPlayLock);
                const int wait = FDisplayMode == TDisplayMode::Sound ? kSoundRefreshMs : kRefreshMs;
                FPlayWake.wait_for(lock, std::chrono::milliseconds(wait));
            }
            if (FQuit.load())
                break;
            Refresh();
        }
    } catch (const std::exception& error) {
        GetLogger()->Log(&FPlayer, llFatal,
                         QStringLiteral("PlayThread Exception: ") +
                             QString::fromLocal8Bit(error.what()));
    }
    CloseAll();
    {
        std::lock_guard lock(FDisplayLock);
        if (IPlayerDisplay* display = FDisplay.load())
            display->ClearPicture();
    }
    Post(psStop);
    FFinished = true;
}

void TPlayback::CloseAll() {
    FAbort = true;
    FIOCanceled = true;
    FAudioPackets.Abort();
    FVideoPackets.Abort();
    FSubtitlePackets.Abort();
    FPictures.Abort();
    if (FReaderThread.joinable())
        FReaderThread.join(); // it closes the streams and the input on its way out
    CloseStreams();
}

double TPlayback::MasterClock() const {
    return FAudioStream >= 0 ? FAudioClock.Get() : FVideoClock.Get();
}

void TPlayback::Refresh() {
    // The display's own size, unless the user of the player set one.
    QSize size;
    bool hasDisplay = false;
    {
        std::lock_guard lock(FDisplayLock);
        if (IPlayerDisplay* display = FDisplay.load()) {
            size = display->DisplaySize();
            hasDisplay = true;
        }
    }
    if (hasDisplay) {
        if (size != FLastDisplaySize) {
            FLastDisplaySize = size;
            if (!size.isEmpty()) {
                FPlayer.FScreenWidth = size.width();
                FPlayer.FScreenHeight = size.height();
            }
            FAspectChanged = true;
        }
    }
    const double shift = FResumeShift.exchange(0.0);
    FFrameTimer += shift;

    if (FVideoStream < 0) {
        ShowSound();
        if (!FPaused.load())
            ReportPosition(FAudioClock.Get());
        return;
    }
    if (FAspectChanged.exchange(false)) {
        // Laid out again: the picture on screen in the new area.
        std::unique_lock lock(FShownLock);
        if (FShownFrame) {
            ffmpeg::FramePtr frame = ffmpeg::MakeFrame();
            if (frame && av_frame_ref(frame.get(), FShownFrame.get()) >= 0) {
                lock.unlock();
                TPictureSlot again;
                again.Frame = std::move(frame);
                again.Pts = FShownPts;
                again.Serial = FShownSerial;
                ShowSlot(again, false);
            }
        }
    }

    bool shown = false;
    for (;;) {
        TPictureSlot* slot = FPictures.Front();
        if (slot == nullptr)
            break;
        if (slot->Serial != FSerial.load()) {
            FPictures.Pop(); // from before the latest seek
            continue;
        }
        const double now = WallClock();
        if (slot->Serial != FShownSerial) {
            // The first picture after an open or a seek is shown at once, even paused.
            FFrameTimer = now;
            FLastShownPts = slot->Pts;
            FShownSerial = slot->Serial;
            FEndReported = false;
            ShowSlot(*slot, true);
            // Told to other threads only once it is the shown frame (ShownPicture looks in
            // the queue until then).
            FShownSerialSeen = slot->Serial;
            FPictures.Pop();
            shown = true;
            break;
        }
        if (FPaused.load())
            break;

        double lastDuration = slot->Pts - FLastShownPts;
        if (lastDuration <= 0 || lastDuration >= kNoSyncBeyond)
            lastDuration = FLastDuration;
        FLastDuration = lastDuration;
        double delay = lastDuration;
        if (FAudioStream >= 0) {
            // Against the sound: a picture behind it goes at once, one ahead waits longer.
            const double difference = FVideoClock.Get() - FAudioClock.Get();
            // Half a picture's time: corrected early enough to stay well within one.
            const double threshold = std::clamp(delay / 2, 0.01, 0.1);
            if (!std::isnan(difference) && std::fabs(difference) < kNoSyncBeyond) {
                if (difference <= -threshold)
                    delay = std::max(0.0, delay + difference);
                else if (difference >= threshold && delay > 0.1)
                    delay += difference;
                else if (difference >= threshold)
                    delay *= 2;
            }
        }
        if (now < FFrameTimer + delay)
            break; // its time has not come
        FFrameTimer += delay;
        if (delay > 0 && now - FFrameTimer > 0.1)
            FFrameTimer = now;
        FLastShownPts = slot->Pts;

        // Too late for the next one too: this one is dropped, and fewer are decoded.
        const TPictureSlot* next = FPictures.Second();
        if (next != nullptr && next->Serial == slot->Serial && FAudioStream >= 0 && !FCapture) {
            double duration = next->Pts - slot->Pts;
            if (duration <= 0 || duration >= kNoSyncBeyond)
                duration = slot->Duration;
            if (now > FFrameTimer + duration) {
                FSkipFactor = std::min(8.0, FSkipFactor.load() * 1.05);
                FVideoClock.Set(slot->Pts, now);
                FPictures.Pop();
                std::lock_guard lock(FStatsLock);
                ++FStats.PicturesDropped;
                continue;
            }
        }
        ShowSlot(*slot, true);
        FPictures.Pop();
        shown = true;
        break;
    }
    // The time of the picture on screen, after each new one, and at the end.
    if (shown || FEndReached.load())
        ReportPosition(FLastShownPts);
}

void TPlayback::ShowSlot(TPictureSlot& slot, bool advance) {
    const double now = WallClock();
    if (FDisplay.load() != nullptr) {
        const QRect area = DisplayArea(slot.Frame->width, slot.Frame->height);
        QImage image = slot.Area == area && !slot.Scaled.isNull()
                           ? slot.Scaled
                           : ScaleForDisplay(slot.Frame.get(), area, FShowScaler);
        if (FSubtitleStream >= 0 && !image.isNull())
            DrawSubtitle(image, slot.Pts);
        if (!image.isNull()) {
            std::lock_guard lock(FDisplayLock);
            if (IPlayerDisplay* display = FDisplay.load())
                display->ShowPicture(image, area);
        }
    }
    if (!advance)
        return;
    FVideoClock.Set(slot.Pts, now);
    {
        std::lock_guard lock(FShownLock);
        FShownFrame = std::move(slot.Frame);
        FShownPts = slot.Pts;
    }
    std::lock_guard lock(FStatsLock);
    ++FStats.PicturesShown;
    if (FStatsFrom < 0)
        FStatsFrom = now;
    const double sound = FAudioClock.Get();
    if (FAudioStream >= 0 && !std::isnan(sound) && !FPaused.load()) {
        FStats.LastSyncDifference = (slot.Pts - sound) * 1000.0;
        if (now - FStatsFrom > 1.0 &&
            std::fabs(FStats.LastSyncDifference) > std::fabs(FStats.MaxSyncDifference))
            FStats.MaxSyncDifference = FStats.LastSyncDifference;
    }
}

void TPlayback::ShowSound() {
    if (FDisplay.load() == nullptr || FPaused.load())
        return;
    std::lock_guard lock(FDisplayLock);
    IPlayerDisplay* display = FDisplay.load();
    const QSize size = display != nullptr ? display->DisplaySize() : QSize();
    if (size.isEmpty())
        return;
    display->ShowPicture(DrawSoundPicture(size), QRect(QPoint(0, 0), size));
}

void TPlayback::ReportPosition(double clock) {
    if (FStillPicture || std::isnan(clock) || clock < 0)
        return; // a picture has no position and no end
    int64_t position = std::max<int64_t>(0, std::llround(clock * 1e6) - FStartTime);
    if (FDuration > 0 && position >= FDuration)
        position = FDuration;
    const bool ended =
        FEndReached.load() && !FCapture && (FVideoStream < 0 || FPictures.Count() == 0);
    if (FLastPosition == INT64_MIN || std::llabs(position - FLastPosition) > 10000 ||
        (ended && FPositionAfterEnd.exchange(false))) {
        FLastPosition = position;
        if (FPlayer.OnPosition)
            FEvents.Add({TEventRing::ekPosition, psPlay, position});
    }
    if (!ended)
        return;
    // With video the end is told once (until a seek brings pictures again); without video
    // at every report while it holds.
    if (FVideoStream < 0 || !FEndReported) {
        FEndReported = true;
        Post(psEnd);
    }
}

ffmpeg::FramePtr TPlayback::ShownPicture(double* pts) {
    // After a seek the new picture may be queued before it is shown: it is the one.
    const int serial = FSerial.load();
    if (serial != FShownSerialSeen.load()) {
        if (ffmpeg::FramePtr queued = FPictures.FirstFrame(serial, pts))
            return queued;
    }
    std::lock_guard lock(FShownLock);
    if (!FShownFrame)
        return FPictures.FirstFrame(-1, pts);
    ffmpeg::FramePtr copy = ffmpeg::MakeFrame();
    if (!copy || av_frame_ref(copy.get(), FShownFrame.get()) < 0)
        return nullptr;
    *pts = FShownPts;
    return copy;
}

TPlayerStatistics TPlayback::Statistics() const {
    std::lock_guard lock(FStatsLock);
    return FStats;
}
