#include "engine/encoder/FFEncode.h"

#include "engine/FFLoad.h"
#include "engine/FFmpegException.h"

#include <algorithm>

namespace {

TPreviewerFactory& DefaultPreviewerFactory() {
    static TPreviewerFactory factory;
    return factory;
}

} // namespace

void TCustomEncoder::SetDefaultPreviewerFactory(TPreviewerFactory factory) {
    DefaultPreviewerFactory() = std::move(factory);
}

TCustomEncoder::TCustomEncoder(QObject* parent)
    : TFFBaseComponent(parent), PreviewerFactory(DefaultPreviewerFactory()),
      FDeliveryThread([this] { DeliveryLoop(); }) {}

TCustomEncoder::~TCustomEncoder() {
    // Handlers may belong to an owner that is being destroyed: nothing is delivered any more.
    FClosing = true;
    ClearHandlers();
    Stop(true);
    {
        std::lock_guard lock(FQueueLock);
        FQueueClosed = true;
    }
    FQueueChanged.notify_all();
    FDeliveryThread.join();
    FTasks.clear();
}

void TCustomEncoder::SetProgressInterval(int milliseconds) {
    FProgressInterval = milliseconds <= 100 ? 100 : milliseconds;
}

void TCustomEncoder::SetPreview(bool on) {
    FPreview = on;
    for (auto& task : FTasks) {
        int flags = task->Job->PreviewFlags() & ~pfWindow;
        if (on && !task->PreviewClosed)
            flags |= pfWindow;
        task->Job->SetPreviewFlags(flags);
        if (!on)
            task->Previewer.reset();
    }
}

void TCustomEncoder::SetPreviewBitmap(bool on) {
    FPreviewBitmap = on;
    for (auto& task : FTasks)
        task->Job->SetPreviewFlags((task->Job->PreviewFlags() & ~pfBitmap) | (on ? pfBitmap : 0));
}

bool TCustomEncoder::LoadLibraries(const QString& folder) {
    FFLoader().SetLibraryPath(folder);
    if (FFLoader().LoadLibraries(TLibrarySet::All()))
        return true;
    FLastErrMsg = FFLoader().LastError();
    return false;
}

bool TCustomEncoder::LibrariesLoaded() const {
    return FFLoader().LibrariesLoaded(TLibrarySet::All());
}

TFFmpeg* TCustomEncoder::Task(int index) const {
    return index >= 0 && index < TaskCount() ? FTasks[index]->Job.get() : nullptr;
}

void TCustomEncoder::CheckIdle(const char* operation) const {
    if (FWorking)
        throw FFmpegException(
            QStringLiteral("Cannot %1 while working.").arg(QLatin1String(operation)));
}

int TCustomEncoder::TaskIndex(const TCustomFFmpeg& job) const {
    for (int i = 0; i < TaskCount(); ++i) {
        if (FTasks[i]->Job.get() == &job)
            return i;
    }
    return -1;
}

// --- Building tasks ---------------------------------------------------------------------

std::unique_ptr<TCustomEncoder::TTask> TCustomEncoder::MakeTask() {
    auto task = std::make_unique<TTask>();
    task->Job = std::make_unique<TFFmpeg>(kMaxFiles);
    TFFmpeg& job = *task->Job;
    job.FatalOnBadOption = true;
    job.IOTimeout = 10000;
    job.SetPreviewFlags((FPreview ? pfWindow : 0) | (FPreviewBitmap ? pfBitmap : 0));
    job.OnPreviewBitmap = [this](TCustomFFmpeg& j, QImage& bitmap, int64_t pts, int frame) {
        DoPreviewBitmap(j, bitmap, pts, frame);
    };
    job.OnPreviewWindow = [this](TCustomFFmpeg& j, const QImage& bitmap, int64_t pts) {
        DoPreviewWindow(j, bitmap, pts);
    };
    job.OnBeforeFindStreamInfo = [this](TCustomFFmpeg& j, AVFormatContext* context) {
        Deliver(FBeforeFindStreamInfoLock, [&] {
            if (OnBeforeFindStreamInfo)
                OnBeforeFindStreamInfo(&j, context);
        });
    };
    job.OnProgress = [this](TCustomFFmpeg& j, const TJobProgress& progress) {
        DoProgress(j, progress);
    };
    job.OnTerminate = [this](TCustomFFmpeg& j) { DoTerminate(j); };
    job.SetOption(QStringLiteral("v"), QStringLiteral("1"));
    return task;
}

bool TCustomEncoder::OpenInput(TTask& task, const QString& fileName, const TInputOptions* options) {
    TFFmpeg& job = *task.Job;
    try {
        if (options != nullptr)
            ApplyInputOptions(job, *options);
        if (job.OpenInputFile(fileName))
            return true;
        FLastErrMsg = job.LastErrorText();
    } catch (const FFmpegException& error) {
        FLastErrMsg = error.Message();
    }
    return false;
}

int TCustomEncoder::AddTask(const QString& fileName, const TInputOptions* options) {
    CheckIdle("AddTask");
    std::unique_ptr<TTask> task = MakeTask();
    if (!OpenInput(*task, fileName, options))
        return -1;
    FTasks.push_back(std::move(task));
    return TaskCount() - 1;
}

bool TCustomEncoder::AddInputFile(int task, const QString& fileName, const TInputOptions* options) {
    CheckIdle("AddInputFile");
    TTask& entry = *FTasks.at(task);
    if (entry.Job->InputFileCount() >= kMaxFiles) {
        FLastErrMsg = QStringLiteral("max input files %1 reached").arg(kMaxFiles);
        return false;
    }
    return OpenInput(entry, fileName, options);
}

bool TCustomEncoder::SetOutputFile(int task, const QString& fileName,
                                   const TOutputOptions* options) {
    CheckIdle("SetOutputFile");
    TFFmpeg& job = *FTasks.at(task)->Job;
    if (job.OutputFileCount() >= kMaxFiles) {
        FLastErrMsg = QStringLiteral("max output files %1 reached").arg(kMaxFiles);
        return false;
    }
    try {
        TStreamValues streamValues;
        if (options != nullptr) {
            streamValues = ApplyOutputOptions(job, *options);
            ConnectHooks(job, *options);
        }
        const bool join = options != nullptr && options->Join;
        if (job.OpenOutputFile(fileName, join) < 0) {
            FLastErrMsg = job.LastErrorText();
            return false;
        }
        AddNewStreams(job, streamValues);
        if (join)
            job.ExpandJoin();
    } catch (const FFmpegException& error) {
        FLastErrMsg = error.Message();
        return false;
    }
    return true;
}

void TCustomEncoder::RemoveTask(int task) {
    CheckIdle("RemoveTask");
    FTasks.erase(FTasks.begin() + task);
}

// --- The run ----------------------------------------------------------------------------

void TCustomEncoder::StartTask(int parallel) {
    CheckIdle("StartTask");
    {
        std::lock_guard lock(FTerminateLock);
        FFinishedCount = 0;
        FNextTask = 0;
        FTasksToStart = TaskCount();
        FWorking = true;
        FPaused = false;
        FAllDone = false;
        FThreaded = parallel > 0;
        FParallel = parallel;
        if (FTasks.empty()) {
            EndOfRun();
            return;
        }
    }
    if (FThreaded) {
        std::lock_guard lock(FTerminateLock);
        for (int started = 0; FTasksToStart > 0 && started < parallel; ++started)
            StartNext();
        return;
    }
    for (;;) {
        {
            std::lock_guard lock(FTerminateLock);
            if (FTasksToStart <= 0)
                break;
        }
        StartNext();
    }
}

void TCustomEncoder::StartNext() {
    TFFmpeg* job = nullptr;
    {
        std::lock_guard lock(FTerminateLock);
        if (FTasksToStart <= 0)
            return;
        job = FTasks[FNextTask++]->Job.get();
        --FTasksToStart;
    }
    job->ProgressInterval = int64_t(FProgressInterval) * 1000;
    // Tasks running at once share the cores rather than each taking all of them.
    const int atOnce = FThreaded ? std::max(1, std::min(FParallel, TaskCount())) : 1;
    job->AutomaticThreads = std::max(1, TCustomFFmpeg::MachineThreads() / atOnce);
    job->Start(FThreaded, ThreadPriority);
    // A task that follows one ending during a pause waits for Resume like the others.
    if (FThreaded && FPaused)
        job->Pause();
}

void TCustomEncoder::DoTerminate(TCustomFFmpeg& job) {
    std::unique_lock lock(FTerminateLock);
    const TTerminateInfo info{TaskIndex(job), job.Finished(), job.Failed(), job.ErrorText(),
                              job.EndNotice()};
    // A run on the calling thread tells its handler there and then, without the lock: the
    // handler may stop the encoder, which ends the unstarted tasks on this thread.
    const bool direct = !FThreaded && FWorking;
    if (!direct)
        QueueTermination(info);
    ++FFinishedCount;
    const bool runEnded = FTasksToStart <= 0 && FFinishedCount >= TaskCount();
    const bool startNext = FTasksToStart > 0 && FThreaded;
    if (!direct) {
        if (runEnded)
            EndOfRun();
        else if (startNext)
            StartNext();
        return;
    }
    lock.unlock();
    CallTerminate(info);
    if (runEnded)
        EndOfRun();
}

void TCustomEncoder::EndOfRun() {
    const TTerminateInfo info{-1, true, false, QString()};
    FAllDone = true;
    if (FThreaded || !FWorking)
        QueueTermination(info);
    else
        CallTerminate(info);
}

void TCustomEncoder::Pause() {
    if (!FWorking || FPaused)
        return;
    FPaused = true;
    for (auto& task : FTasks)
        task->Job->Pause();
}

void TCustomEncoder::Resume() {
    if (!FWorking || !FPaused)
        return;
    FPaused = false;
    for (auto& task : FTasks)
        task->Job->Resume();
}

void TCustomEncoder::Stop(bool wait) {
    // From inside one of its own handlers the run cannot be waited for: it ends once the
    // handler has returned.
    if (InOwnHandler())
        wait = false;
    std::vector<TFFmpeg*> running;
    std::vector<TFFmpeg*> unstarted;
    {
        std::lock_guard lock(FTerminateLock);
        FTasksToStart = 0; // from here on no task starts
        if (!FWorking)
            return;
        for (int i = 0; i < TaskCount(); ++i) {
            TFFmpeg* job = FTasks[i]->Job.get();
            if (job->Working())
                running.push_back(job);
            else if (!job->Terminated() && i >= FNextTask)
                unstarted.push_back(job);
        }
        FPaused = false;
    }
    // Unstarted tasks end first, in list order; the running ones are all told at once. In a
    // run on the calling thread they end on it, where their terminate events belong.
    for (TFFmpeg* job : unstarted)
        job->EndUnstarted(wait, FThreaded ? TFFmpeg::TEndOn::HelperThread
                                          : TFFmpeg::TEndOn::CallingThread);
    for (TFFmpeg* job : running)
        job->Stop(false);
    if (wait) {
        for (TFFmpeg* job : running)
            job->Stop(true);
    }
    if (wait)
        WaitForDeliveries();
}
