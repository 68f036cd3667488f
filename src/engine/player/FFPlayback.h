#pragma once

// One open file of the player: its input, the chosen streams with their decoders and queues,
// the clocks, and the threads that read, decode, show and sound it. Created by Open, ended by
// Close; private to the player.
//
// Threads and what they own: the reader thread owns the input and reads it into the packet
// queues; the video thread owns the video decoder and the upright filter graph and fills the
// picture queue; the subtitle thread owns the subtitle decoder; the play thread takes the
// pictures when they are due and hands them to the display, reports positions and the end;
// SDL's audio thread owns the audio decoder and the resampler. What crosses threads is in the
// queues, the clocks, the atomics, or under the named locks.

#include "engine/FFDisplay.h"
#include "engine/FFUtils.h"
#include "engine/FFmpegPtr.h"
#include "engine/player/FFPlay.h"
#include "engine/player/FFPlayQueues.h"

#include <QImage>
#include <QRect>
#include <QString>

#include <SDL.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class TEventRing;

class TPlayback {
public:
    TPlayback(TCustomPlayer& player, TEventRing& events, const QString& fileName,
              IPlayerDisplay* display, bool paused);
    ~TPlayback(); // aborts and joins what still runs

    // The reader thread opens the input and its streams: 1 when playing can start, −1 when
    // not (the player's LastError tells why). Waits on the calling (main) thread.
    int StartReading();
    AVFormatContext* Input() const { return FInput.get(); }
    int64_t Duration() const { return FDuration; }
    int64_t StartTime() const { return FStartTime; }
    bool StillPicture() const { return FStillPicture; }
    QSize VideoSize() const; // the upright picture's; empty without video

    // The play thread: shows pictures, reports positions, then closes the playback.
    void StartPlaying();
    void RequestQuit();
    // Clears the display and forgets it (GUI thread, at Close).
    void ReleaseDisplay();
    bool Finished() const { return FFinished.load(); }

    void Pause();
    void Resume();
    bool Paused() const { return FPaused.load(); }
    // False when a seek is pending already.
    bool RequestSeek(int64_t target, int64_t relative, int flags);
    bool SeekDone() const { return !FSeekPending.load(); }
    bool PictureAfterSeek() const { return FPictureAfterSeek.load(); }
    bool HasVideo() const { return FVideoStream >= 0; }
    void AspectChanged();

    // The picture on screen (or about to be, after a seek); null without one.
    ffmpeg::FramePtr ShownPicture(double* pts);
    TPlayerStatistics Statistics() const;

private:
    enum class TDisplayMode { Picture, Sound };

    // Reader (FFPlayReader.cpp)
    void ReaderMain();
    // Blocking I/O of the reader: timed (10 s) and given up on abort.
    void BeginIO();
    void EndIO();
    void FailOpen(const QString& text);
    bool OpenInput();
    bool OpenStream(int index);
    void CloseStreams();
    void ReadLoop();
    void DoSeek();
    bool QueuesFull() const;
    bool QueuesDrained() const;
    static bool IOCheck(void* sender);

    // Video (FFPlayVideo.cpp)
    void VideoMain();
    bool ConfigureUpright(const AVFrame* frame);
    bool QueuePicture(ffmpeg::FramePtr frame, double pts, double duration, int serial);
    void RunVideoHook(AVFrame* frame, double pts);
    void RunFrameHook(AVFrame* frame, double pts);

    // Sound (FFPlayAudio.cpp)
    bool OpenAudio();
    void CloseAudio();
    static void AudioCallback(void* self, Uint8* stream, int length);
    void FillAudio(Uint8* stream, int length);
    int DecodeAudio(); // bytes ready in FAudioBuffer; < 0 on failure
    bool PrepareResampler(const AVFrame* frame);
    void KeepSoundForDisplay(const int16_t* samples, int count);

    // Subtitles (FFPlaySubtitle.cpp)
    void SubtitleMain();
    void DrawSubtitle(QImage& picture, double pts);

    // Showing (FFPlayRefresh.cpp)
    void PlayMain();
    void Refresh();
    // Hands the picture to the display; with `advance` it becomes the picture on screen (the
    // video clock, CurrentPicture, the statistics follow it).
    void ShowSlot(TPictureSlot& slot, bool advance);
    void ShowSound();
    // Tells the position `clock` (s) when it moved by more than 10 ms, and the end.
    void ReportPosition(double clock);
    QRect DisplayArea(int width, int height) const;
    // The picture scaled to `area`'s size (with the calling thread's scaler).
    static QImage ScaleForDisplay(const AVFrame* frame, const QRect& area,
                                  ffmpeg::ScalerPtr& scaler);
    double MasterClock() const;
    void CloseAll();
    void Post(TPlayState state); // through the event ring, when the player has OnState

    // The picture of the sound without video (FFPlaySound.cpp)
    QImage DrawSoundPicture(const QSize& size) const;

    TCustomPlayer& FPlayer;
    TEventRing& FEvents;
    const QString FFileName;
    // The display, until the player lets go of it at Close: after that nothing of this
    // playback may reach it (its owner may destroy it while the playback still ends). Calls
    // into it hold FDisplayLock.
    std::atomic<IPlayerDisplay*> FDisplay;
    std::mutex FDisplayLock;

    // Input, owned by the reader thread once it runs.
    ffmpeg::InputContextPtr FInput;
    int64_t FStartTime = 0; // µs
    int64_t FDuration = -1; // µs; −1 when the container gives none, 0 for still pictures
    bool FStillPicture = false;
    bool FCapture = false;
    bool FSeekByBytes = false;
    int FAudioStream = -1;
    int FVideoStream = -1;
    int FSubtitleStream = -1;
    TPacketQueue FAudioPackets;
    TPacketQueue FVideoPackets;
    TPacketQueue FSubtitlePackets;
    std::atomic<int> FOpenResult{0}; // 0 pending, 1 opened, −1 failed
    std::atomic<bool> FAbort{false};
    std::atomic<int64_t> FIOStart{INT64_MAX}; // µs of the blocking I/O in hand
    std::atomic<bool> FIOCanceled{false};
    std::atomic<bool> FEndOfInput{false};
    std::atomic<bool> FEndReached{false};
    bool FEndReported = false;
    bool FEndOfFileLogged = false;
    bool FReadErrorLogged = false;
    bool FLastPausedOnInput = false;

    // Seeking: asked by the main thread, done by the reader.
    std::mutex FSeekLock;
    int64_t FSeekTarget = 0;
    int64_t FSeekRelative = 0;
    int FSeekFlags = 0;
    std::atomic<bool> FSeekPending{false};
    std::atomic<bool> FSeekWhilePaused{false};
    std::atomic<bool> FPictureAfterSeek{true};
    std::atomic<int> FSerial{0}; // grows with every seek
    // s: after a seek, decoded pictures and sound before this are left out (−1: none).
    std::atomic<double> FAccurateVideo{-1.0};
    std::atomic<double> FAccurateAudio{-1.0};
    std::atomic<int> FIOGaveUp{0}; // 1 timed out, 2 canceled: logged once the I/O returned
    QString FOpenError;            // written by the reader before FOpenResult

    // Pictures.
    TDisplayGeometry FShown; // of the video stream
    ffmpeg::CodecContextPtr FVideoDecoder;
    ffmpeg::FilterGraphPtr FUprightGraph;
    AVFilterContext* FUprightSource = nullptr;
    AVFilterContext* FUprightSink = nullptr;
    int FUprightWidth = 0, FUprightHeight = 0, FUprightFormat = -1;
    TPictureQueue FPictures{2};
    double FFrameDuration = 0.04;         // s, from the stream's rate
    std::atomic<double> FSkipFactor{1.0}; // decoded pictures per passed one
    double FSkipCounter = 0.0;
    int FQueuedAfterOpen = 0;
    std::atomic<bool> FPausedOpenReported{false};
    bool FStartPaused;
    TFormatConverter FHookConverter;  // video thread only
    ffmpeg::ScalerPtr FDisplayScaler; // video thread only
    ffmpeg::ScalerPtr FShowScaler;    // play thread only
    std::thread FVideoThread;

    // Sound.
    ffmpeg::CodecContextPtr FAudioDecoder;
    ffmpeg::ResamplerPtr FResampler;
    int FResampledFormat = -1; // what FResampler converts from
    int FResampledRate = 0;
    AVChannelLayout FResampledLayout{};
    SDL_AudioDeviceID FAudioDevice = 0;
    SDL_AudioSpec FAudioSpec{};
    bool FSdlAudioStarted = false;
    std::vector<uint8_t> FAudioBuffer; // signed 16-bit, interleaved, device rate and channels
    int FAudioBufferSize = 0;
    int FAudioBufferIndex = 0;
    double FAudioPts = 0.0; // s: the end of what was decoded last
    ffmpeg::FramePtr FAudioFrame;
    ffmpeg::PacketPtr FAudioPacket;
    bool FAudioPacketPending = false;
    TClock FAudioClock;
    mutable std::mutex FSoundLock; // the last sound, for its picture
    std::vector<int16_t> FSoundRing;
    size_t FSoundWrite = 0;

    // Subtitles.
    struct TSubtitleItem {
        double Start = 0.0; // s
        double End = 0.0;
        QImage Bitmap; // bitmap subtitles, in video pixels at Place
        QPoint Place;
        QString Text; // text subtitles
    };
    ffmpeg::CodecContextPtr FSubtitleDecoder;
    mutable std::mutex FSubtitleLock;
    std::vector<TSubtitleItem> FSubtitles;
    std::thread FSubtitleThread;

    // Showing.
    TDisplayMode FDisplayMode = TDisplayMode::Picture;
    TClock FVideoClock;
    double FFrameTimer = 0.0; // s of the wall clock: when the shown picture's time began
    double FLastShownPts = -1.0;
    double FLastDuration = 0.04;
    int FShownSerial = -1;                 // play thread
    std::atomic<int> FShownSerialSeen{-1}; // the same, for other threads
    std::atomic<double> FResumeShift{0.0}; // s the frame timer moves on by (paused time)
    std::atomic<bool> FPaused{false};
    double FPausedAt = 0.0;
    std::atomic<bool> FQuit{false};
    std::atomic<bool> FAspectChanged{false};
    std::atomic<bool> FFinished{false};
    std::mutex FPlayLock; // the play thread's wake-ups
    std::condition_variable FPlayWake;
    std::thread FPlayThread;
    std::thread FReaderThread;
    QSize FLastDisplaySize;
    int64_t FLastPosition = INT64_MIN;
    std::atomic<bool> FPositionAfterEnd{false};
    mutable std::mutex FShownLock; // the picture on screen, for CurrentPicture
    ffmpeg::FramePtr FShownFrame;
    double FShownPts = 0.0;

    // Statistics.
    mutable std::mutex FStatsLock;
    TPlayerStatistics FStats;
    double FStatsFrom = -1.0; // wall clock of the first picture shown
};
