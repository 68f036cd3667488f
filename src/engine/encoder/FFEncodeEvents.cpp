#include "engine/encoder/FFEncode.h"

#include "engine/MainThread.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>

namespace {

// The encoders whose handlers this thread is running now. A handler that stops its own encoder
// cannot wait for the run's end: the worker or the delivery it would wait for waits for it.
thread_local std::vector<const TCustomEncoder*> tHandlersRunning;

class THandlerScope {
public:
    explicit THandlerScope(const TCustomEncoder* encoder) { tHandlersRunning.push_back(encoder); }
    ~THandlerScope() { tHandlersRunning.pop_back(); }
    THandlerScope(const THandlerScope&) = delete;
    THandlerScope& operator=(const THandlerScope&) = delete;
};

} // namespace

// Hooks run on the task's worker under their locks, and only for the records that asked.
void TCustomEncoder::ConnectHooks(TFFmpeg& job, const TOutputOptions& options) {
    if (options.AudioHook) {
        job.OnAudioHook = [this](TCustomFFmpeg& j, int64_t pts, uint8_t* samples, int size,
                                 int rate, int channels, int format) {
            std::lock_guard lock(FAudioHookLock);
            THandlerScope scope(this);
            if (OnAudioHook)
                OnAudioHook(this, TaskIndex(j), pts, samples, size, rate, channels, format);
        };
    }
    if (options.VideoInputHook) {
        job.OnVideoInputHook = [this](TCustomFFmpeg& j, TVideoHookData& data) {
            DoVideoHook(OnVideoInputHook, j, data);
        };
    }
    if (options.VideoOutputHook) {
        job.OnVideoOutputHook = [this](TCustomFFmpeg& j, TVideoHookData& data) {
            DoVideoHook(OnVideoOutputHook, j, data);
        };
    }
    if (options.FrameInputHook) {
        job.OnFrameInputHook = [this](TCustomFFmpeg& j, const TFrameHookData& data) {
            DoFrameHook(OnFrameInputHook, j, data);
        };
    }
    if (options.FrameOutputHook) {
        job.OnFrameOutputHook = [this](TCustomFFmpeg& j, const TFrameHookData& data) {
            DoFrameHook(OnFrameOutputHook, j, data);
        };
    }
}

void TCustomEncoder::ClearHandlers() {
    // Hooks run on workers under their locks: taking the locks waits for a running one.
    std::lock_guard a(FProgressLock), b(FPreviewBitmapLock), c(FVideoHookLock), d(FFrameHookLock),
        e(FAudioHookLock), f(FBeforeFindStreamInfoLock);
    OnProgress = nullptr;
    OnPreviewBitmap = nullptr;
    OnVideoInputHook = nullptr;
    OnVideoOutputHook = nullptr;
    OnFrameInputHook = nullptr;
    OnFrameOutputHook = nullptr;
    OnAudioHook = nullptr;
    OnBeforeFindStreamInfo = nullptr;
}

// --- Events -----------------------------------------------------------------------------

void TCustomEncoder::Deliver(std::mutex& lock, const std::function<void()>& call) {
    if (FClosing)
        return;
    if (TriggerEventInMainThread && !engine::IsMainThread()) {
        engine::RunInMainThread([&] {
            if (FClosing)
                return;
            THandlerScope scope(this);
            call();
        });
        return;
    }
    std::lock_guard guard(lock);
    THandlerScope scope(this);
    call();
}

bool TCustomEncoder::InOwnHandler() const {
    return std::find(tHandlersRunning.begin(), tHandlersRunning.end(), this) !=
           tHandlersRunning.end();
}

void TCustomEncoder::CallTerminate(const TTerminateInfo& info) {
    if (FClosing || !OnTerminate)
        return;
    THandlerScope scope(this);
    OnTerminate(this, info);
}

void TCustomEncoder::DoProgress(TCustomFFmpeg& job, const TJobProgress& progress) {
    TProgressInfo info{progress, TaskIndex(job)};
    Deliver(FProgressLock, [&] {
        if (OnProgress)
            OnProgress(this, &info);
    });
}

void TCustomEncoder::DoPreviewBitmap(TCustomFFmpeg& job, QImage& bitmap, int64_t pts,
                                     int frameNumber) {
    const TPreviewInfo info{TaskIndex(job), &bitmap, frameNumber, pts};
    Deliver(FPreviewBitmapLock, [&] {
        if (OnPreviewBitmap)
            OnPreviewBitmap(this, info);
    });
}

void TCustomEncoder::DoPreviewWindow(TCustomFFmpeg& job, const QImage& bitmap, int64_t pts) {
    if (FClosing || QCoreApplication::instance() == nullptr)
        return;
    const QImage picture = bitmap.copy(); // the job reuses its bitmap
    engine::RunInMainThread([&] {
        const int index = TaskIndex(job);
        if (FClosing || index < 0)
            return;
        TTask& task = *FTasks[index];
        if (task.PreviewClosed)
            return;
        if (!task.Previewer && PreviewerFactory)
            task.Previewer = PreviewerFactory();
        if (!task.Previewer)
            return;
        task.Previewer->ShowPicture(picture, pts);
        if (task.Previewer->Closed()) {
            task.PreviewClosed = true;
            task.Previewer.reset();
            job.SetPreviewFlags(job.PreviewFlags() & ~pfWindow);
        }
    });
}

void TCustomEncoder::DoVideoHook(const TVideoHookEvent& handler, TCustomFFmpeg& job,
                                 TVideoHookData& data) {
    std::lock_guard lock(FVideoHookLock);
    if (!handler)
        return;
    THookInfo info{data, TaskIndex(job)};
    THandlerScope scope(this);
    handler(this, &info);
    data = info; // the handler's answers: Update and StopHook
}

void TCustomEncoder::DoFrameHook(const TFrameHookEvent& handler, TCustomFFmpeg& job,
                                 const TFrameHookData& data) {
    std::lock_guard lock(FFrameHookLock);
    if (!handler)
        return;
    TFrameHookInfo info{data, TaskIndex(job)};
    THandlerScope scope(this);
    handler(this, &info);
}

// --- Ordered delivery of terminate events -----------------------------------------------

void TCustomEncoder::QueueTermination(const TTerminateInfo& info) {
    {
        std::lock_guard lock(FQueueLock);
        FQueue.push_back(info);
    }
    FQueueChanged.notify_all();
}

void TCustomEncoder::DeliveryLoop() {
    for (;;) {
        TTerminateInfo info;
        {
            std::unique_lock lock(FQueueLock);
            FQueueChanged.wait(lock, [this] { return FQueueClosed || !FQueue.empty(); });
            if (FQueue.empty())
                return; // closed
            info = FQueue.front();
            FQueue.pop_front();
            ++FDelivering;
        }
        const auto deliver = [&] { CallTerminate(info); };
        if (TriggerEventInMainThread && QCoreApplication::instance() != nullptr)
            engine::RunInMainThread(deliver);
        else
            deliver();
        {
            std::lock_guard lock(FQueueLock);
            --FDelivering;
        }
        FQueueChanged.notify_all();
    }
}

void TCustomEncoder::WaitForDeliveries() {
    const bool pump = engine::IsMainThread() && QCoreApplication::instance() != nullptr;
    for (;;) {
        {
            std::unique_lock lock(FQueueLock);
            if (FQueue.empty() && FDelivering == 0)
                return;
            if (!pump) {
                FQueueChanged.wait_for(lock, std::chrono::milliseconds(10));
                continue;
            }
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
}
