#include "engine/player/FFPlay.h"

#include "engine/FFLog.h"
#include "engine/FFmpegException.h"
#include "engine/MainThread.h"
#include "engine/player/FFPlayEvents.h"
#include "engine/player/FFPlayback.h"

#include <QCoreApplication>
#include <QThread>

#include <chrono>

TCustomPlayer::TCustomPlayer(QObject* parent) : TFFBaseComponent(parent) {
    FPictureConverter.SetBitsPixel(32);
}

TCustomPlayer::~TCustomPlayer() {
    // No event may reach an owner that is going away.
    OnFileOpen = nullptr;
    OnPosition = nullptr;
    OnState = nullptr;
    OnVideoHook = nullptr;
    OnFrameHook = nullptr;
    OnAudioHook = nullptr;
    OnBeforeFindStreamInfo = nullptr;
    Close(true);
    StopEventThread();
}

void TCustomPlayer::SetAspectRatio(float ratio) {
    FAspectRatio = ratio;
    if (FPlayback)
        FPlayback->AspectChanged();
}

void TCustomPlayer::SetAudioVolume(int volume) {
    FAudioVolume = std::clamp(volume, 0, kMaxVolume);
}

void TCustomPlayer::SetFrameWidth(int width) {
    if (width % 2 != 0)
        throw FFmpegException(QStringLiteral("Frame size must be a multiple of 2"));
    FFrameWidth = width;
}

void TCustomPlayer::SetFrameHeight(int height) {
    if (height % 2 != 0)
        throw FFmpegException(QStringLiteral("Frame size must be a multiple of 2"));
    FFrameHeight = height;
}

bool TCustomPlayer::LoadLibraries(const QString& folder, bool loadSDL) {
    FFLoader().SetLibraryPath(folder);
    if (!FFLoader().LoadLibraries(TLibrarySet::All())) {
        FLastError = FFLoader().LastError();
        return false;
    }
    return !loadSDL || LoadSDL(folder, TSDLLoader::DefaultFileName());
}

bool TCustomPlayer::LibrariesLoaded() const {
    return FFLoader().LibrariesLoaded(TLibrarySet::All()) && FSdl.Loaded();
}

bool TCustomPlayer::LoadSDL(const QString& folder, const QString& fileName) {
    if (FSdl.Load(folder, fileName))
        return true;
    FLastError = FSdl.LastError();
    return false;
}

void TCustomPlayer::Fail(const QString& text, TLogLevel level) {
    FLastError = text;
    GetLogger()->Log(this, level, text);
}

void TCustomPlayer::WaitFor(const std::function<bool()>& done, int stepMs) {
    const bool pump = engine::IsMainThread() && QCoreApplication::instance() != nullptr;
    while (!done()) {
        if (pump)
            QCoreApplication::processEvents(QEventLoop::AllEvents, stepMs);
        QThread::msleep(static_cast<unsigned long>(pump ? 1 : stepMs));
    }
}

// --- Events ---------------------------------------------------------------------------------

void TCustomPlayer::StartEventThread() {
    StopEventThread();
    FEvents = std::make_unique<TEventRing>([this](const TEventRing::TEntry& entry) {
        const auto deliver = [this, entry] {
            if (entry.Kind == TEventRing::ekPosition && OnPosition)
                OnPosition(this, entry.Time);
            else if (entry.Kind == TEventRing::ekState && OnState)
                OnState(this, entry.State);
        };
        if (TriggerEventInMainThread && QCoreApplication::instance() != nullptr)
            engine::RunInMainThread(deliver);
        else
            deliver();
    });
}

void TCustomPlayer::StopEventThread() {
    if (!FEvents)
        return;
    // It ends by itself once it has delivered psStop; deliveries on this thread keep running.
    WaitFor([this] { return FEvents->Finished(); });
    FEvents.reset();
}

// --- Open and close -------------------------------------------------------------------------

bool TCustomPlayer::Open(const QString& fileName, IPlayerDisplay* display, bool paused) {
    if (!FFLoader().LibrariesLoaded(TLibrarySet::All())) {
        Fail(QStringLiteral("libav not loaded."));
        return false;
    }
    if (!FSdl.Loaded()) {
        Fail(QStringLiteral("sdl not loaded."));
        return false;
    }
    Close(true);
    StopEventThread();
    if (DisableDisplay) {
        DisableVideo = true;
        display = nullptr;
    }

    // The ring outlives the playback: its last state, psStop, comes from the play thread's end.
    StartEventThread();
    auto playback = std::make_unique<TPlayback>(*this, *FEvents, fileName, display, paused);
    if (playback->StartReading() <= 0) {
        playback.reset();
        FEvents.reset(); // nothing was ever posted: the thread ends at once
        return false;
    }
    FFileName = fileName;
    FPlayback = std::move(playback);
    FDecoder.AttachFormatContext(FPlayback->Input());

    const QSize video = FPlayback->VideoSize();
    int screenWidth = FScreenWidth;
    int screenHeight = FScreenHeight;
    if (OnFileOpen) {
        OnFileOpen(this, FPlayback->StillPicture() ? 0 : FPlayback->Duration(),
                   video.isEmpty() ? -1 : video.width(), video.isEmpty() ? -1 : video.height(),
                   screenWidth, screenHeight);
    }
    if (display != nullptr && (screenWidth <= 0 || screenHeight <= 0)) {
        screenWidth = display->DisplaySize().width();
        screenHeight = display->DisplaySize().height();
    }
    FScreenWidth = screenWidth;
    FScreenHeight = screenHeight;
    FPlayback->StartPlaying();
    return true;
}

void TCustomPlayer::Close(bool wait) {
    // Nothing of the file may be read through the decoder once its input goes away.
    FDecoder.CloseFile();
    if (FPlayback) {
        if (FPlayback->Paused())
            FPlayback->Resume(); // leaving the pause reports nothing: psStop follows
        FPlayback->RequestQuit();
        FPlayback->ReleaseDisplay();
        // One that was closing already ends first.
        if (FClosing)
            WaitFor([this] { return FClosing->Finished(); });
        FClosing = std::move(FPlayback);
        FFileName.clear();
        FScreenWidth = 0;
        FScreenHeight = 0;
    }
    if (wait && FClosing) {
        WaitFor([this] { return FClosing->Finished(); });
        FClosing.reset();  // joins its threads, all of them done
        StopEventThread(); // once psStop has been delivered
    }
}

// --- While playing --------------------------------------------------------------------------

void TCustomPlayer::Pause() {
    if (!FPlayback || FPlayback->Paused())
        return;
    FPlayback->Pause();
    if (OnState)
        FEvents->Add({TEventRing::ekState, psPause, 0});
}

void TCustomPlayer::Resume() {
    if (!FPlayback || !FPlayback->Paused())
        return;
    FPlayback->Resume();
    if (OnState)
        FEvents->Add({TEventRing::ekState, psResume, 0});
}

void TCustomPlayer::Seek(int flags, bool wait, int64_t time) {
    if (!FPlayback)
        return;
    flags &= 0xF; // backward, byte, any, frame
    int64_t relative = 0;
    if (!(flags & AVSEEK_FLAG_BYTE)) {
        if (FPlayback->Duration() > 0)
            time = std::min(time, FPlayback->Duration());
        relative = time <= 0 ? 1 : 0;
        time = std::max<int64_t>(time, 0) + FPlayback->StartTime();
    }
    if (!FPlayback->RequestSeek(time, relative, flags) || !wait)
        return;
    WaitFor([this] { return FPlayback->SeekDone(); });
    if (FPlayback->HasVideo())
        WaitFor([this] { return FPlayback->PictureAfterSeek(); });
}

const QImage& TCustomPlayer::CurrentPicture(int64_t* pts) {
    if (pts != nullptr)
        *pts = -1;
    if (!FPlayback || !FPlayback->HasVideo()) {
        FCurrentPicture = QImage();
        return FCurrentPicture;
    }
    const QSize size = FPlayback->VideoSize();
    double seconds = 0.0;
    const ffmpeg::FramePtr frame = FPlayback->ShownPicture(&seconds);
    if (!frame) {
        FCurrentPicture = QImage(size, QImage::Format_ARGB32);
        FCurrentPicture.fill(Qt::black);
        return FCurrentPicture;
    }
    if (!FPictureConverter.ToRGB(frame.get(), true)) {
        GetLogger()->Log(this, llError, FPictureConverter.LastErrMsg());
        FCurrentPicture = QImage();
        return FCurrentPicture;
    }
    FCurrentPicture = FPictureConverter.Bitmap().copy();
    if (pts != nullptr)
        *pts = std::llround(seconds * 1e6) - FPlayback->StartTime();
    return FCurrentPicture;
}

TPlayerStatistics TCustomPlayer::Statistics() const {
    return FPlayback ? FPlayback->Statistics() : TPlayerStatistics{};
}
