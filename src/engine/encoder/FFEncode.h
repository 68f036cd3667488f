#pragma once

// The conversion component the application works with: a list of tasks (one transcoding job
// each, with inputs and outputs described by option records), run one after another or several
// at once on worker threads, reporting progress, preview pictures, hooks and the end of each
// task and of the whole run.
//
// Sources: FFEncode.cpp (tasks and their scheduling), FFEncodeOptions.cpp (option records into
// job options), FFEncodeEvents.cpp (event delivery).
//
// Threads: every public call is made on one thread (the main thread in the application).
// OnProgress, OnPreviewBitmap, OnBeforeFindStreamInfo and OnTerminate arrive on the main thread
// when TriggerEventInMainThread is set; hooks arrive on the task's worker thread. No lock is
// held while an event waits for the main thread, so a handler may call Stop(true) or Pause.

#include "engine/FFBaseComponent.h"
#include "engine/encoder/FFEncodeOptions.h"
#include "engine/encoder/Previewer.h"
#include "engine/probe/FFDecode.h"
#include "engine/transcoder/FFmpeg.h"

#include <QImage>
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct TTerminateInfo {
    int TaskIndex = -1; // −1: the whole run has ended
    bool Finished = false;
    bool Exception = false;
    QString ExceptionMsg;
    QString Notice; // a finished task's word on its input ("input ended at … of …")
};

// A task's progress: what the job reports, and which task it is.
struct TProgressInfo : TJobProgress {
    int TaskIndex = 0;
};

struct TPreviewInfo {
    int TaskIndex = 0;
    QImage* Bitmap = nullptr; // owned by the task, valid during the handler
    int FrameNumber = 0;
    int64_t PTS = 0;
};

// A picture handed to a video hook (the handler may draw on it and set Update and StopHook),
// and which task it is.
struct THookInfo : TVideoHookData {
    int TaskIndex = 0;
};

struct TFrameHookInfo : TFrameHookData {
    int TaskIndex = 0;
};

using TProgressEvent = std::function<void(QObject* Sender, TProgressInfo* AProgressInfo)>;
using TTerminateEvent = std::function<void(QObject* Sender, const TTerminateInfo& ATerminateInfo)>;
using TPreviewBitmapEvent = std::function<void(QObject* Sender, const TPreviewInfo& APreviewInfo)>;
using TVideoHookEvent = std::function<void(QObject* Sender, THookInfo* AHookInfo)>;
using TFrameHookEvent = std::function<void(QObject* Sender, TFrameHookInfo* AHookInfo)>;
using TAudioHookEvent =
    std::function<void(QObject* Sender, int ATaskIndex, int64_t APTS, uint8_t* ASample, int ASize,
                       int ASampleRate, int AChannels, int ASampleFormat)>;
using TEncoderBeforeFindStreamInfoEvent =
    std::function<void(QObject* Sender, AVFormatContext* AFormatContext)>;

class TCustomEncoder : public TFFBaseComponent {
    Q_OBJECT

public:
    static constexpr int kMaxFiles = 20;

    explicit TCustomEncoder(QObject* parent = nullptr);
    // Stops the run and waits for it; no event is delivered from here on.
    ~TCustomEncoder() override;

    // --- Properties -----------------------------------------------------------------------
    bool Preview() const { return FPreview; }
    void SetPreview(bool on);
    bool PreviewBitmap() const { return FPreviewBitmap; }
    void SetPreviewBitmap(bool on);
    int ProgressInterval() const { return FProgressInterval; } // ms, at least 100
    void SetProgressInterval(int milliseconds);
    QThread::Priority ThreadPriority = QThread::NormalPriority;
    bool TriggerEventInMainThread = true;
    // Makes the preview windows; none: the window preview shows nothing.
    TPreviewerFactory PreviewerFactory;
    static void SetDefaultPreviewerFactory(TPreviewerFactory factory);

    TProgressEvent OnProgress;
    TTerminateEvent OnTerminate;
    TPreviewBitmapEvent OnPreviewBitmap;
    TVideoHookEvent OnVideoInputHook;
    TVideoHookEvent OnVideoOutputHook;
    TFrameHookEvent OnFrameInputHook;
    TFrameHookEvent OnFrameOutputHook;
    TAudioHookEvent OnAudioHook;
    TEncoderBeforeFindStreamInfoEvent OnBeforeFindStreamInfo;

    // --- Operations -----------------------------------------------------------------------
    bool LoadLibraries(const QString& folder);
    bool LibrariesLoaded() const;

    // Task index, or −1 with LastErrMsg(). These four throw FFmpegException
    // ("Cannot %s while working.") once StartTask has been called.
    int AddTask(const QString& fileName, const TInputOptions* options = nullptr);
    bool AddInputFile(int task, const QString& fileName, const TInputOptions* options = nullptr);
    bool SetOutputFile(int task, const QString& fileName, const TOutputOptions* options = nullptr);
    void RemoveTask(int task);
    // parallel > 0: up to that many tasks at once on worker threads (returns at once);
    // parallel <= 0: all tasks one after another on the calling thread (returns at the end).
    void StartTask(int parallel);
    void Pause();
    void Resume();
    // No further task starts; running ones stop, unstarted ones end. Every task still raises
    // OnTerminate, then the run's end. With `wait`, returns once all that was delivered.
    void Stop(bool wait);
    // Clears every handler but OnTerminate; safe while tasks run, and returns only when no
    // hook is running any more (so a hook must never wait for the main thread). OnTerminate is
    // the owner's to clear, on the thread it is delivered on.
    void ClearHandlers();

    int TaskCount() const { return static_cast<int>(FTasks.size()); }
    const QString& LastErrMsg() const { return FLastErrMsg; }
    bool Working() const { return FWorking.load(); }
    bool Paused() const { return FPaused.load(); }
    bool AllDone() const { return FAllDone.load(); }
    // The decoder the application borrows to probe files.
    TFFDecoder& Decoder() { return FDecoder; }
    TFFmpeg* Task(int index) const;

private:
    struct TTask {
        std::unique_ptr<TFFmpeg> Job;
        std::unique_ptr<ITaskPreviewer> Previewer; // main thread only
        bool PreviewClosed = false;
    };

    void CheckIdle(const char* operation) const;
    int TaskIndex(const TCustomFFmpeg& job) const;
    // A new job with the component's settings and its events connected to the component.
    std::unique_ptr<TTask> MakeTask();
    bool OpenInput(TTask& task, const QString& fileName, const TInputOptions* options);
    void StartNext();

    // Event delivery (FFEncodeEvents.cpp).
    void ConnectHooks(TFFmpeg& job, const TOutputOptions& options);
    bool InOwnHandler() const;
    void CallTerminate(const TTerminateInfo& info);
    void DoTerminate(TCustomFFmpeg& job);
    void EndOfRun();
    void DoProgress(TCustomFFmpeg& job, const TJobProgress& progress);
    void DoPreviewBitmap(TCustomFFmpeg& job, QImage& bitmap, int64_t pts, int frameNumber);
    void DoPreviewWindow(TCustomFFmpeg& job, const QImage& bitmap, int64_t pts);
    void DoVideoHook(const TVideoHookEvent& handler, TCustomFFmpeg& job, TVideoHookData& data);
    void DoFrameHook(const TFrameHookEvent& handler, TCustomFFmpeg& job,
                     const TFrameHookData& data);
    // Runs `call` on the main thread when asked (no lock held), else under `lock`.
    void Deliver(std::mutex& lock, const std::function<void()>& call);

    // The ordered delivery of terminate events off the tasks' threads.
    void QueueTermination(const TTerminateInfo& info);
    void DeliveryLoop();
    void WaitForDeliveries();

    std::vector<std::unique_ptr<TTask>> FTasks;
    TFFDecoder FDecoder;
    QString FLastErrMsg;
    bool FPreview = false;
    bool FPreviewBitmap = false;
    int FProgressInterval = 500;

    // The run.
    std::atomic<bool> FWorking{false};
    std::atomic<bool> FPaused{false};
    std::atomic<bool> FAllDone{false};
    bool FThreaded = false;
    int FParallel = 0;
    int FNextTask = 0;
    int FTasksToStart = 0;
    int FFinishedCount = 0;
    std::atomic<bool> FClosing{false}; // destruction: events are no longer delivered

    std::recursive_mutex FTerminateLock; // end counting and starting the next task
    std::mutex FProgressLock;
    std::mutex FPreviewBitmapLock;
    std::mutex FVideoHookLock;
    std::mutex FFrameHookLock;
    std::mutex FAudioHookLock;
    std::mutex FBeforeFindStreamInfoLock;

    std::mutex FQueueLock;
    std::condition_variable FQueueChanged;
    std::deque<TTerminateInfo> FQueue;
    int FDelivering = 0; // taken from the queue, not yet handed over
    bool FQueueClosed = false;
    std::thread FDeliveryThread;
};

class TFFEncoder : public TCustomEncoder {
    Q_OBJECT

public:
    explicit TFFEncoder(QObject* parent = nullptr) : TCustomEncoder(parent) {}
};
