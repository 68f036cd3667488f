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
#include "engine/transcoder/FFmpegJobTypes.h"
#include "engine/transcoder/FFmpegLibraryOptions.h"
#include "engine/transcoder/FFmpegSettings.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class TCustomFFmpeg;

// What a progress report tells; the encoder component's TProgressInfo adds which task it is.
struct TJobProgress {
    int FileIndex = 0;           // join mode: the input being read; −1 in the final report
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
    void SetRecordingTimestamp(int64_t secondsSince1970);        // "timestamp"
    void SetPresetFile(const QString& fileName);                 // "fpre"
    // Whether a file that has an output's name by the end may be replaced (else the task
    // fails with "… exists" and the file stays).
    void SetOverwrite(bool overwrite) { FSettings.OverwriteOutputs = overwrite; }
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
    // Reports the end of a job that will never run: on a helper thread (joined when `wait`), or
    // on the calling thread for a run that does not use workers.
    enum class TEndOn { HelperThread, CallingThread };
    void EndUnstarted(bool wait, TEndOn where = TEndOn::HelperThread);
    void SetPreviewFlags(int flags);
    int PreviewFlags() const { return FPreviewFlags.load(); }

    bool Working() const { return FWorking.load(); }
    bool Finished() const { return FFinished.load(); }
    bool Terminated() const { return FTerminated.load(); }
    bool Failed() const { return FErrorFlag.load(); }
    QString ErrorText() const;
    // Pause was asked for (and no Resume since).
    bool Paused() const;
    // The run is held at its safe point: nothing more is read, written or reported until
    // Resume or Stop.
    bool HeldByPause() const { return FHeldByPause.load(); }

    int64_t ExpectedTotalDuration() const { return FExpectedTotalDuration; }
    void SetExpectedTotalDuration(int64_t microseconds) { FExpectedTotalDuration = microseconds; }
    int64_t ProgressInterval = 500000; // µs between progress reports
    // Threads a decoder, and an encoder that can use them, get when the options name no
    // "threads": the machine's cores, or the share of them its runner gives this job.
    int AutomaticThreads = MachineThreads();
    static int MachineThreads();
    int64_t PreviewInterval = 100000; // µs between previews
    int IOTimeout = 10000;            // ms a blocking open, probe, seek or write may take
    int HookBitsPixel = 24;           // depth of hook and preview bitmaps

    // Totals of the run.
    int64_t VideoBytes() const { return FVideoBytes; }
    int64_t AudioBytes() const { return FAudioBytes; }
    int64_t FramesDuplicated() const { return FFramesDuplicated; }
    int64_t FramesDropped() const { return FFramesDropped; }
    // Set at a finished end whose inputs ended well before their stated durations ("input
    // ended at 00:00:02 of 00:00:05"); empty otherwise.
    QString EndNotice() const;

    // --- Callbacks (set before Start; called on the thread that runs the job) -------------
    std::function<void(TCustomFFmpeg&, const TJobProgress&)> OnProgress;
    std::function<void(TCustomFFmpeg&)> OnTerminate;
    std::function<void(TCustomFFmpeg&, QImage&, int64_t pts, int frameNumber)> OnPreviewBitmap;
    // The preview window's picture (preview flag pfWindow); the owner draws it.
    std::function<void(TCustomFFmpeg&, const QImage&, int64_t pts)> OnPreviewWindow;
    std::function<void(TCustomFFmpeg&, AVFormatContext*)> OnBeforeFindStreamInfo;
    // Each decoded audio frame: `size` bytes of all channels interleaved, in the packed
    // `sampleFormat`.
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

    // Registers the I/O time-out check for the calling thread while it lives.
    class TTimedIO {
    public:
        explicit TTimedIO(TCustomFFmpeg& job);
        ~TTimedIO();
        TTimedIO(const TTimedIO&) = delete;
        TTimedIO& operator=(const TTimedIO&) = delete;

    private:
        TCustomFFmpeg& FJob;
        uint32_t FThread;
    };
    static bool IOTimedOut(void* sender);
    static bool StopRequestedCheck(void* sender);
    static std::mutex& PreviewLock();
    static AVMediaType MediaType(TStreamKind kind);
    static QString KindName(AVMediaType type);

    // Options (FFmpegOptions.cpp, FFmpegPresets.cpp)
    void ApplyLibraryOption(const QString& name, const QString& value,
                            std::optional<AVMediaType> kind = std::nullopt);
    void SetBitrateOption(const QString& name, const QString& value);
    void ReadPresetFile(const QString& fileName);
    void ApplyTarget(const QString& value, const QString& fallbackNorm);
    void AddStreamToLastOutput(TStreamKind kind);
    void LogInfo(const QString& text);
    void Log(int level, const QString& text);

    // Codecs and files (FFmpegCodecs.cpp, FFmpegOutput.cpp)
    std::optional<QString> FindCodec(const QString& name, AVMediaType type, bool encoder,
                                     const AVCodec** codec) const;
    void ChooseSampleFormat(AVCodecContext* encoder);
    void ChooseSampleRate(AVCodecContext* encoder);
    void ChoosePixelFormat(AVCodecContext* encoder);
    bool InputsHaveKind(TStreamKind kind, bool everyFile) const;
    // What "threads" gives `encoder` (null when copying): automatic threads only for
    // encoders that can use them.
    int EncoderThreads(const AVCodec* encoder) const;
    // Whether an opened video encoder runs on a thread of its own beside the job's.
    bool WantsEncoderThread(const TOutputStream& output) const;
    void CreateOutputStream(int fileIndex, TStreamKind kind);
    void WritePacket(TOutputStream& output, AVPacket* packet);
    // A packet in the first filter's time base, or null for the end of the stream.
    void FilterAndWrite(TOutputStream& output, AVPacket* packet);
    void FlushBitstreamFilters();
    void RunAudioHook(const TInputStream& input, const AVFrame* frame);
    void InterleavePacket(AVFormatContext* context, AVPacket* packet);
    // The file `fileName` is one of the job's inputs (the same file, under whatever name).
    bool IsAnInput(const QString& fileName) const;
    // At the run's start: each output's temporary, opened for the muxer.
    void OpenOutputFiles();
    // At a successful end: each output closed, flushed and given its final name.
    void PublishOutputs();

    // Set-up (FFmpegSetup.cpp, FFmpegFilter.cpp)
    void SetUpRun();
    void CheckStreamsAndMaps();
    int FindSource(TStreamKind kind, int firstFile, int lastFile) const;
    void ChooseSources();
    void SetCopyParameters(TOutputStream& output);
    void SetEncoderParameters(TOutputStream& output);
    void OpenPassLog(TOutputStream& output);
    void OpenEncoders();
    void OpenDecoders();
    void CopyMetadataAndChapters();
    void CopyChapters(const TInputFile& input, TOutputFile& output);
    void WriteHeaders();
    void LogStreamMapping();
    void ConfigureVideoFilter(TOutputStream& output, int width, int height, int format,
                              AVRational sampleAspect);
    void PushToFilter(TOutputStream& output, AVFrame* frame);
    bool PullFromFilter(TOutputStream& output, AVFrame* frame);

    // The loop (FFmpegLoop.cpp, FFmpegDecode.cpp, FFmpegEncode.cpp)
    void RunLoop();
    int ChooseInputFile(bool* atFrameLimit) const;
    void CorrectTimestamps(TInputFile& file, TInputStream& input, AVPacket* packet);
    bool PastRecordingTime(TInputStream& input, const AVPacket* packet);
    bool NextJoinSegment();
    void FlushInput(int inputIndex);
    // At the end of the loop: fails a run that wrote nothing, and notes inputs that ended early
    // (unless a limit of the options ended the run).
    void CheckWhatWasConverted(bool endedByLimit);
    int64_t OutputSize() const;
    void ReportProgress(bool final);
    bool StartReached(int64_t time) const;
    void DecodeFailed(const TInputStream& input);
    void ProcessPacket(int inputIndex, const AVPacket* packet);
    int64_t FrameDuration(const TInputStream& input, const AVFrame* frame) const;
    void RateEmulation(const TInputStream& input);
    void RunInputHooks(TInputStream& input, AVFrame* frame);
    bool RunVideoHook(const std::function<void(TCustomFFmpeg&, TVideoHookData&)>& hook,
                      TFormatConverter& converter, AVFrame* frame, int64_t pts, int frameNumber);
    void DecodeSubtitle(int inputIndex, const AVPacket* packet);
    void OutputVideo(int inputIndex, AVFrame* frame);
    int64_t FramesToWrite(TOutputStream& output, double position);
    void OutputVideoFrame(TOutputStream& output, TInputStream& input, AVFrame* frame);
    AVFrame* ScaleForEncoder(TOutputStream& output, const AVFrame* frame);
    void RunOutputHooks(TOutputStream& output, ffmpeg::FramePtr& frame, int64_t pts);
    void Preview(AVFrame* frame, int64_t pts, int frameNumber);
    void EncodeVideo(TOutputStream& output, AVFrame* frame);
    void ReceivePackets(TOutputStream& output, const QString& failure);
    // Counts and writes one encoded packet (with the encoder's two-pass text after it).
    void WriteEncodedPacket(TOutputStream& output, AVPacket* packet, const char* statistics);
    // What an encoder thread has finished so far.
    void WriteThreadedPackets(TOutputStream& output);
    // Every encoder thread's whole queue; false when one failed (the next frame handed to it
    // says so).
    bool DrainEncoderThreads();
    void NoteOutputTime(TOutputStream& output, const AVPacket* packet);
    void WriteVideoStatistics(TOutputStream& output, int frameBytes);
    void PrepareResampler(TOutputStream& output, const TInputStream& input, const AVFrame* frame);
    void AppendSilence(TOutputStream& output, int samples);
    void ConvertIntoFifo(TOutputStream& output, const AVFrame* frame, int skip);
    void OutputAudio(TOutputStream& output, TInputStream& input, const AVFrame* frame);
    void EncodeFromFifo(TOutputStream& output, bool flushing);
    void OutputSubtitle(TOutputStream& output, const TInputStream& input, AVSubtitle& subtitle);
    void CopyPacket(TOutputStream& output, const TInputStream& input, const AVPacket* packet);
    void FlushEncoders();

    // Control (FFmpegControl.cpp)
    void Run();
    void RecordError(const QString& text);
    void FreeFilesAndStreams();
    void ReportEnd();
    void WaitWhilePaused();

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

    // The run's own state (its thread only).
    int64_t FRunStartTime = 0; // µs of output time before which nothing is written
    int64_t FRunWallStart = 0;
    int64_t FLastReport = 0;
    int FJoinFile = 0;
    int FCurrentInput = 0;
    bool FReportDupDrop = false;
    ffmpeg::FramePtr FDecodedFrame;
    ffmpeg::FramePtr FFilteredFrame;
    ffmpeg::PacketPtr FEncodedPacket;
    QByteArray FSubtitleBuffer;
    ffmpeg::FilePtr FVStats;
    TFormatConverter FInputHookConverter;
    TFormatConverter FOutputHookConverter;
    TFormatConverter FPreviewConverter;
    bool FVideoInputHookOn = true;
    bool FVideoOutputHookOn = true;
    bool FOutputHookBitmapValid = false;
    // Set by the worker around its input reads: a stop abandons a blocking read, never a write
    // (a write cut short would leave the output without its ending).
    bool FReadingInput = false;
    std::vector<uint8_t> FAudioHookBuffer; // interleaved samples for the audio hook, grow-only
    int64_t FLastPreview = 0;
    bool FPreviewDue = true;

    // Control, shared with other threads.
    std::atomic<bool> FWorking{false};
    std::atomic<bool> FStopRequested{false};
    std::atomic<bool> FFinished{false};
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FErrorFlag{false};
    std::atomic<int> FPreviewFlags{0};
    std::atomic<bool> FHeldByPause{false};
    std::atomic<int64_t> FIOStartTime{INT64_MAX}; // of the I/O in hand; INT64_MAX: none
    std::atomic<bool> FIOCanceled{false};         // a stop before the run: opens give up
    // How the I/O in hand was given up (TIOGiveUp), logged once that I/O has returned: the
    // check itself runs under the interrupt registry's lock, where nothing may wait for the
    // main thread.
    std::atomic<int> FIOGaveUp{0};
    mutable std::mutex FControlLock; // error text, pause state
    std::condition_variable FResumed;
    bool FPaused = false;
    QString FErrorText;
    QString FEndNotice;
    QThread* FWorker = nullptr;
    std::thread FEndThread;

    // Totals
    int64_t FVideoBytes = 0;
    int64_t FAudioBytes = 0;
    int64_t FGlobalHeaderBytes = 0;
    int64_t FFramesDuplicated = 0;
    int64_t FFramesDropped = 0;
    int64_t FPacketsWritten = 0;
};

// The job the encoder component creates.
using TFFmpeg = TCustomFFmpeg;
