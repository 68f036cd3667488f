#pragma once

// One transcoding job: options (given like a command-line transcoder's), its input and output
// files, and the run that converts the inputs into the outputs.
//
// Ownership and threads: the job owns every FFmpeg object of its files and streams. Options
// and the open operations run on the thread that builds the job (the encoder component's
// caller). Once started, only the job's worker thread (or the caller's, when not threaded)
// touches its files and streams; other threads may only ask it to stop, pause or resume, set
// its preview flags, or read its public state. Callbacks run on the thread that runs the job.
//
// Sources: FFmpegOptions.cpp (options), FFmpegPresets.cpp (preset files and targets),
// FFmpegInput.cpp (opening inputs, reading packets), FFmpegOutput.cpp (opening outputs,
// creating streams, writing packets), FFmpegSetup.cpp (the run's set-up), FFmpegDecode.cpp,
// FFmpegFilter.cpp, FFmpegEncode.cpp (the media paths), FFmpegLoop.cpp (the loop and its
// progress), FFmpegControl.cpp (start, stop, pause, the end).

#include "engine/FFUtils.h"
#include "engine/FFmpegJobTypes.h"
#include "engine/FFmpegLibraryOptions.h"
#include "engine/FFmpegSettings.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

class TCustomFFmpeg;

// What a progress report tells (Part of the encoder component's TProgressInfo).
struct TJobProgress {
    int FileIndex = -1;          // join mode: the input being read; −1 in the final report
    int64_t TotalDuration = -1;  // µs, −1 unknown
    int64_t CurrentDuration = 0; // µs of output written
    int64_t TotalSize = 0;       // bytes
    float BitRate = 0.0f;        // kbit/s
    float Quality = -1.0f;
    int FPS = 0;
    int FrameNumber = 0;
};

// A bitmap of a video picture handed to a hook; the handler may draw on it.
struct TVideoHookData {
    QImage* Bitmap = nullptr;
    int FrameNumber = 0;
    int64_t PTS = 0;       // µs
    bool Update = true;    // write the bitmap back into the picture
    bool StopHook = false; // call this hook no more
};

struct TFrameHookData {
    AVFrame* Picture = nullptr;
    int PixFmt = AV_PIX_FMT_NONE;
    int Width = 0;
    int Height = 0;
    int64_t PTS = 0;
    int FrameNumber = 0;
};

enum TPreviewFlag { pfWindow = 1, pfBitmap = 2 };

class TCustomFFmpeg : public QObject {
    Q_OBJECT

public:
    // At most `maxFiles` inputs and as many outputs (1 … 512).
    explicit TCustomFFmpeg(int maxFiles = 20, QObject* parent = nullptr);
    ~TCustomFFmpeg() override;

    // --- Options -------------------------------------------------------------------------
    // Applies one option; throws FFmpegException with the user's text on a bad name or value,
    // leaving the earlier value in place.
    void SetOption(const QString& name, const QString& value);

    // Direct setters with the effect of the option named in each comment.
    void SetFormat(const QString& format);                       // "f"
    void SetIntegerOption(const QString& name, int64_t value);   // the library fallback
    void SetFrameRate(const QString& rate);                      // "r"
    void SetBitrate(const QString& name, int bitsPerSecond);     // "b", "vb", "ab"
    void SetFrameSize(const QString& size);                      // "s"
    void SetAspect(const QString& aspect);                       // "aspect"
    void AddMetadata(const QString& key, const QString& value);  // "metadata"
    void SetSampleRate(int rate);                                // "ar", when > 0
    void SetChannels(int channels);                              // "ac", when > 0
    void SetCodec(const QString& option, const QString& name);   // "acodec", "vcodec", …
    void SetVideoFilters(const QString& graph);                  // "vf"
    void SetCodecTag(const QString& option, const QString& tag); // "atag", "vtag", "stag"
    void SetRecordingTime(int64_t microseconds);                 // "t"; −2^63 ignored
    void SetStartTime(int64_t microseconds);                     // "ss"; −2^63 ignored
    void SetProgramId(int id);                                   // "programid", when >= 0
    void SetVolume(int volume);                                  // "vol", when >= 0
    void SetAudioSync(int method);                               // "async"
    void SetVideoSync(int method);                               // "vsync"
    void SetMuxDelay(float seconds);                             // "muxdelay", when > 0
    void SetMuxPreload(float seconds);                           // "muxpreload", when > 0
    void SetPresetFile(const QString& fileName);                 // "fpre"
    // type 1 "vcd", 2 "svcd", 3 "dvd"; norm 0 auto, 1 pal, 2 ntsc; fallback 1 pal, else ntsc.
    void SetTarget(int type, int norm, int fallbackNorm);

    // When off, options the libraries reject are ignored instead of raising.
    bool FatalOnBadOption = true;

    const TPendingSettings& Pending() const { return FPending; }
    const TJobSettings& Settings() const { return FSettings; }
    const TLibraryOptions& LibraryOptions() const { return FLibraryOptions; }

    // --- Files -----------------------------------------------------------------------------
    // Opens and probes the next input. False with LastErrorText() when it cannot.
    bool OpenInputFile(const QString& fileName);
    // Opens the next output and creates its streams; its index, or −1 with LastErrorText().
    int OpenOutputFile(const QString& fileName, bool join = false);
    // Prepares the joining output for every input: the expected total duration becomes the
    // sum of the inputs' durations.
    void ExpandJoin();
    const QString& LastErrorText() const { return FLastErrorText; }

    int InputFileCount() const { return static_cast<int>(FInputFiles.size()); }
    int OutputFileCount() const { return static_cast<int>(FOutputFiles.size()); }
    AVFormatContext* InputContext(int index) const;
    AVFormatContext* OutputContext(int index) const;
    bool Joining() const { return FJoin; }

    // --- Run -------------------------------------------------------------------------------
    // Starts the run: threaded on a new worker thread at `priority` (returns at once), else on
    // the caller's thread (returns at the end). Nothing happens once it has started or ended.
    void Start(bool threaded, QThread::Priority priority = QThread::NormalPriority);
    // Asks the run to stop; with `wait` returns when it has ended (on the main thread, queued
    // main-thread calls keep running meanwhile).
    void Stop(bool wait);
    // Holds the run at its next safe point until Resume (or Stop).
    void Pause();
    void Resume();
    // Reports the end of a job that will never run.
    void EndUnstarted(bool wait);
    void SetPreviewFlags(int flags);
    int PreviewFlags() const { return FPreviewFlags.load(); }

    bool Working() const { return FWorking.load(); }
    bool Finished() const { return FFinished.load(); }
    bool Terminated() const { return FTerminated.load(); }
    bool Failed() const { return FErrorFlag.load(); }
    QString ErrorText() const;
    bool Paused() const;

    int64_t ExpectedTotalDuration() const { return FExpectedTotalDuration; }
    void SetExpectedTotalDuration(int64_t microseconds) { FExpectedTotalDuration = microseconds; }
    int64_t ProgressInterval = 500000; // µs between progress reports
    int64_t PreviewInterval = 100000;  // µs between previews
    int IOTimeout = 10000;             // ms a blocking open, probe, seek or write may take
    int HookBitsPixel = 24;            // depth of hook and preview bitmaps

    // Totals of the run.
    int64_t VideoBytes() const { return FVideoBytes; }
    int64_t AudioBytes() const { return FAudioBytes; }
    int64_t FramesDuplicated() const { return FFramesDuplicated; }
    int64_t FramesDropped() const { return FFramesDropped; }

    // --- Callbacks (set before Start; called on the thread that runs the job) -------------
    std::function<void(TCustomFFmpeg&, const TJobProgress&)> OnProgress;
    std::function<void(TCustomFFmpeg&)> OnTerminate;
    std::function<void(TCustomFFmpeg&, QImage&, int64_t pts, int frameNumber)> OnPreviewBitmap;
    // The preview window's picture (preview flag pfWindow); the owner draws it.
    std::function<void(TCustomFFmpeg&, const QImage&, int64_t pts)> OnPreviewWindow;
    std::function<void(TCustomFFmpeg&, AVFormatContext*)> OnBeforeFindStreamInfo;
    std::function<void(TCustomFFmpeg&, int64_t pts, uint8_t* samples, int size, int sampleRate,
                       int channels, int sampleFormat)>
        OnAudioHook;
    std::function<void(TCustomFFmpeg&, TVideoHookData&)> OnVideoInputHook;
    std::function<void(TCustomFFmpeg&, TVideoHookData&)> OnVideoOutputHook;
    std::function<void(TCustomFFmpeg&, const TFrameHookData&)> OnFrameInputHook;
    std::function<void(TCustomFFmpeg&, const TFrameHookData&)> OnFrameOutputHook;

private:
    using TOptionHandler = void (*)(TCustomFFmpeg&, const QString& name, const QString& value);
    static TOptionHandler FindOption(const QString& name);

    // Options
    void ApplyLibraryOption(const QString& name, const QString& value,
                            std::optional<AVMediaType> kind = std::nullopt);
    void SetBitrateOption(const QString& name, const QString& value);
    void ReadPresetFile(const QString& fileName);
    void ApplyTarget(const QString& value, const QString& fallbackNorm);
    void AddStreamToLastOutput(TStreamKind kind);
    void LogInfo(const QString& text);
    void Log(int level, const QString& text);

    // Files and streams
    void CreateOutputStream(int fileIndex, TStreamKind kind);

    TPendingSettings FPending;
    TJobSettings FSettings;
    TLibraryOptions FLibraryOptions;
    int FMaxFiles;

    std::vector<TInputFile> FInputFiles;
    std::vector<TInputStream> FInputStreams;
    std::vector<TOutputFile> FOutputFiles;
    std::vector<TOutputStream> FOutputStreams;
    bool FJoin = false;
    bool FFiltersVideo = false;

    QString FLastErrorText;
    int64_t FExpectedTotalDuration = -1;

    // Control, shared with other threads.
    std::atomic<bool> FWorking{false};
    std::atomic<bool> FStopRequested{false};
    std::atomic<bool> FFinished{false};
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FErrorFlag{false};
    std::atomic<int> FPreviewFlags{0};
    mutable std::mutex FControlLock; // error text, pause state
    std::condition_variable FResumed;
    bool FPaused = false;
    QString FErrorText;
    QThread* FWorker = nullptr;

    // Totals
    int64_t FVideoBytes = 0;
    int64_t FAudioBytes = 0;
    int64_t FGlobalHeaderBytes = 0;
    int64_t FFramesDuplicated = 0;
    int64_t FFramesDropped = 0;
};

// The job the encoder component creates.
using TFFmpeg = TCustomFFmpeg;
