#pragma once

// The player: plays one media file at a time into a display given by its user, with sound
// through SDL's audio device, and reports the playing position and its state changes.
//
// Sources: FFPlay.cpp (operations), FFPlayReader.cpp (the reader thread and opening streams),
// FFPlayVideo.cpp (decoding and queueing pictures), FFPlayAudio.cpp (the sound device and its
// callback), FFPlaySubtitle.cpp (subtitles), FFPlayRefresh.cpp (the play thread: showing
// pictures on time, positions, the end), FFPlayEvents.cpp (the event ring and its thread),
// FFPlaySound.cpp (the picture of the sound without video).
//
// Threads: every public call is made on the main thread. One open file runs a reader thread, a
// video and a subtitle decoding thread, the play thread and SDL's audio thread; events go
// through the event thread. OnFileOpen, OnPosition, OnState and OnBeforeFindStreamInfo arrive
// on the main thread when TriggerEventInMainThread is set (the main thread keeps delivering
// them while it waits in Open, Seek or Close); the hooks arrive on the playback threads and
// must protect what they share.

#include "engine/FFBaseComponent.h"
#include "engine/FFLoad.h"
#include "engine/FFLog.h"
#include "engine/FFUtils.h"
#include "engine/player/PlayerDisplay.h"
#include "engine/probe/FFDecode.h"

#include <QImage>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

enum TPlayState { psPlay, psPause, psResume, psStep, psStop, psEnd };

using TFileOpenEvent = std::function<void(QObject* Sender, int64_t ADuration, int AFrameWidth,
                                          int AFrameHeight, int& AScreenWidth, int& AScreenHeight)>;
using TPositionEvent = std::function<void(QObject* Sender, int64_t APTS)>;
using TPlayStateEvent = std::function<void(QObject* Sender, TPlayState APlayState)>;
using TPlayerVideoHookEvent =
    std::function<void(QObject* Sender, QImage* ABitmap, int64_t APTS, bool& AUpdate)>;
using TPlayerFrameHookEvent = std::function<void(QObject* Sender, AVFrame* APicture, int APixFmt,
                                                 int AWidth, int AHeight, int64_t APTS)>;
using TPlayerAudioHookEvent =
    std::function<void(QObject* Sender, int64_t APTS, const uint8_t* ASample, int ASize,
                       int ASampleRate, int AChannels)>;
using TBeforeFindStreamInfoEvent =
    std::function<void(QObject* Sender, AVFormatContext* AFormatContext)>;

// How well playback keeps time, for tests and benchmarks.
struct TPlayerStatistics {
    int64_t PicturesShown = 0;
    int64_t PicturesDropped = 0; // late pictures not shown, and pictures skipped undecoded
    // Shown picture's time minus the sound's clock, in ms (sound as the master clock).
    double LastSyncDifference = 0.0;
    double MaxSyncDifference = 0.0; // the largest by amount, from the second second on
};

class TPlayback;
class TEventRing;

class TCustomPlayer : public TFFBaseComponent {
    Q_OBJECT

public:
    static constexpr int kMaxVolume = 128;

    explicit TCustomPlayer(QObject* parent = nullptr);
    // Detaches the events, closes with waiting and ends the event thread.
    ~TCustomPlayer() override;

    // --- Properties -----------------------------------------------------------------------
    // > 0 forces this width/height; 0 the picture's own shape; < 0 fills the whole display.
    float AspectRatio() const { return FAspectRatio.load(); }
    void SetAspectRatio(float ratio);
    // SDL's audio driver by name ("pulseaudio", "alsa", "dummy"); empty: SDL's choice.
    QString AudioDriver;
    int AudioVolume() const { return FAudioVolume.load(); } // 0 … 128
    void SetAudioVolume(int volume);
    bool DisableAudio = false;
    bool DisableVideo = false;
    bool DisableDisplay = false; // no display: forces DisableVideo at Open
    bool Mute() const { return FMute.load(); }
    void SetMute(bool mute) { FMute = mute; }
    int FrameWidth() const { return FFrameWidth; }
    int FrameHeight() const { return FFrameHeight; }
    // Picture size asked of inputs that need one (raw or capture inputs); an odd value throws
    // FFmpegException("Frame size must be a multiple of 2").
    void SetFrameWidth(int width);
    void SetFrameHeight(int height);
    std::atomic<bool> FrameHook{false};
    std::atomic<bool> VideoHook{false};
    std::atomic<bool> AudioHook{false};
    // The display area in pixels: set by the OnFileOpen handler, else taken from the display.
    int ScreenWidth() const { return FScreenWidth.load(); }
    int ScreenHeight() const { return FScreenHeight.load(); }
    bool TriggerEventInMainThread = true;

    TFileOpenEvent OnFileOpen;
    TPositionEvent OnPosition;
    TPlayStateEvent OnState;
    TPlayerVideoHookEvent OnVideoHook;
    TPlayerFrameHookEvent OnFrameHook;
    TPlayerAudioHookEvent OnAudioHook;
    TBeforeFindStreamInfoEvent OnBeforeFindStreamInfo;

    // --- Operations -----------------------------------------------------------------------
    // The media libraries (and SDL when asked) from `folder`; false with LastError().
    bool LoadLibraries(const QString& folder, bool loadSDL = true);
    bool LibrariesLoaded() const;
    bool LoadSDL(const QString& folder, const QString& fileName);
    bool SDLLoaded() const { return FSdl.Loaded(); }

    // Plays the file (or shows its first picture, paused) into `display` (may be null).
    bool Open(const QString& fileName, IPlayerDisplay* display, bool paused = false);
    // Stops playing; with `wait`, returns when every playback thread has ended.
    void Close(bool wait);
    void Pause();
    void Resume();
    // AVSEEK_FLAG_* in the low four bits; `time` in µs from the start (a byte position with
    // AVSEEK_FLAG_BYTE). With `wait`, returns when the seek is done and, with video, a picture
    // of the new position is queued.
    void Seek(int flags, bool wait, int64_t time);
    // The picture on screen at its own (upright) size, owned by the player and overwritten by
    // the next call; black before the first picture, 0 × 0 without video. `pts` gets its time
    // in µs (−1 without video).
    const QImage& CurrentPicture(int64_t* pts = nullptr);
    const QString& LastError() const { return FLastError; }

    bool Opened() const { return FPlayback != nullptr; }
    const QString& FileName() const { return FFileName; }
    // The open file's media information.
    TFFDecoder& Decoder() { return FDecoder; }
    TPlayerStatistics Statistics() const;

private:
    friend class TPlayback;

    void Fail(const QString& text, TLogLevel level = llError);
    void StartEventThread();
    void StopEventThread();
    // Waits for `done` (checked every 10 ms) while main-thread deliveries keep running.
    void WaitFor(const std::function<bool()>& done, int stepMs = 10);

    std::atomic<float> FAspectRatio{0.0f};
    std::atomic<int> FAudioVolume{kMaxVolume};
    std::atomic<bool> FMute{false};
    int FFrameWidth = 0;
    int FFrameHeight = 0;
    std::atomic<int> FScreenWidth{0};
    std::atomic<int> FScreenHeight{0};

    QString FLastError;
    QString FFileName;
    TSDLLoader FSdl;
    TFFDecoder FDecoder;
    TFormatConverter FPictureConverter; // CurrentPicture
    QImage FCurrentPicture;

    std::unique_ptr<TEventRing> FEvents;
    std::unique_ptr<TPlayback> FPlayback;
    std::unique_ptr<TPlayback> FClosing; // closed without waiting: ending on its own
};

class TFFPlayer : public TCustomPlayer {
    Q_OBJECT

public:
    explicit TFFPlayer(QObject* parent = nullptr) : TCustomPlayer(parent) {}
};
