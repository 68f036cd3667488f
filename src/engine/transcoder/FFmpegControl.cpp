// Starting, pausing, stopping and ending a job; the I/O time-out of blocking opens.

#include "engine/transcoder/FFmpeg.h"

#include "engine/FFLoad.h"
#include "engine/FFLog.h"
#include "engine/FFmpegException.h"
#include "engine/MainThread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <algorithm>
#include <cassert>

extern "C" {
#include <libavutil/time.h>
}

int TCustomFFmpeg::MachineThreads() {
    return std::max(1u, std::thread::hardware_concurrency());
}

TCustomFFmpeg::TCustomFFmpeg(int maxFiles, QObject* parent) : QObject(parent), FMaxFiles(maxFiles) {
    assert(maxFiles >= 1 && maxFiles <= 512);
}

TCustomFFmpeg::~TCustomFFmpeg() {
    FStopRequested = true;
    Resume();
    if (FWorker != nullptr) {
        FWorker->wait();
        delete FWorker;
    }
    if (FEndThread.joinable())
        FEndThread.join();
}

QString TCustomFFmpeg::ErrorText() const {
    std::lock_guard lock(FControlLock);
    return FErrorText;
}

QString TCustomFFmpeg::EndNotice() const {
    std::lock_guard lock(FControlLock);
    return FEndNotice;
}

bool TCustomFFmpeg::Paused() const {
    std::lock_guard lock(FControlLock);
    return FPaused;
}

AVFormatContext* TCustomFFmpeg::InputContext(int index) const {
    return index >= 0 && index < InputFileCount() ? FInputFiles[index].Context.get() : nullptr;
}

AVFormatContext* TCustomFFmpeg::OutputContext(int index) const {
    return index >= 0 && index < OutputFileCount() ? FOutputFiles[index].Context.get() : nullptr;
}

// --- I/O time-out ---------------------------------------------------------------------

namespace {

enum TIOGiveUp { ioGoingOn, ioTimedOut, ioCanceled };

} // namespace

bool TCustomFFmpeg::IOTimedOut(void* sender) {
    auto* job = static_cast<TCustomFFmpeg*>(sender);
    TIOGiveUp reason = ioGoingOn;
    if (job->FIOCanceled.load())
        reason = ioCanceled;
    else if (job->IOTimeout > 0 &&
             av_gettime_relative() - job->FIOStartTime.load() > int64_t(job->IOTimeout) * 1000)
        reason = ioTimedOut;
    if (reason == ioGoingOn)
        return false;
    int goingOn = ioGoingOn;
    job->FIOGaveUp.compare_exchange_strong(goingOn, reason);
    return true;
}

bool TCustomFFmpeg::StopRequestedCheck(void* sender) {
    const auto* job = static_cast<TCustomFFmpeg*>(sender);
    return job->FReadingInput && job->FStopRequested.load();
}

TCustomFFmpeg::TTimedIO::TTimedIO(TCustomFFmpeg& job)
    : FJob(job), FThread(engine::CurrentThreadId()) {
    FJob.FIOStartTime = av_gettime_relative();
    InterruptCB().Add(FThread, &FJob, &TCustomFFmpeg::IOTimedOut);
}

TCustomFFmpeg::TTimedIO::~TTimedIO() {
    InterruptCB().Remove(FThread, &FJob, &TCustomFFmpeg::IOTimedOut);
    FJob.FIOStartTime = INT64_MAX;
    switch (FJob.FIOGaveUp.exchange(ioGoingOn)) {
    case ioTimedOut: FJob.Log(llInfo, QStringLiteral("connecting/reading/writing timeout")); break;
    case ioCanceled: FJob.Log(llInfo, QStringLiteral("connecting/reading/writing canceled")); break;
    default: break;
    }
}

// --- Start and end --------------------------------------------------------------------

void TCustomFFmpeg::Start(bool threaded, QThread::Priority priority) {
    if (FWorking || FTerminated)
        return;
    const char* missing = FOutputFiles.empty()  ? "At least one output file must be specified"
                          : FInputFiles.empty() ? "At least one input file must be specified"
                                                : nullptr;
    if (missing != nullptr) {
        FreeFilesAndStreams();
        Log(llQuiet, QString::fromLatin1(missing));
        RecordError(QString::fromLatin1(missing));
        ReportEnd();
        return;
    }
    FWorking = true;
    FStopRequested = false;
    FFinished = false;
    FTerminated = false;
    if (threaded) {
        FWorker = QThread::create([this] { Run(); });
        FWorker->start(priority);
    } else {
        Run();
    }
}

void TCustomFFmpeg::Run() {
    FFinished = false;
    const uint32_t thread = engine::CurrentThreadId();
    InterruptCB().Add(thread, this, &TCustomFFmpeg::StopRequestedCheck);
    bool completed = false;
    try {
        SetUpRun();
        RunLoop();
        completed = !FStopRequested;
        if (completed)
            PublishOutputs();
    } catch (const FFmpegException& error) {
        Log(llQuiet, error.Message());
        RecordError(error.Message());
    } catch (const std::bad_alloc&) {
        Log(llQuiet, QStringLiteral("Out of memory"));
        RecordError(QStringLiteral("Out of memory"));
    } catch (const std::exception& error) {
        Log(llQuiet, QString::fromLocal8Bit(error.what()));
        RecordError(QString::fromLocal8Bit(error.what()));
    }
    InterruptCB().Remove(thread, this, &TCustomFFmpeg::StopRequestedCheck);
    // Outputs not published by now (a failure, a stop) go with their temporaries.
    FreeFilesAndStreams();
    FFinished = completed && !FErrorFlag;
    ReportEnd();
}

void TCustomFFmpeg::RecordError(const QString& text) {
    std::lock_guard lock(FControlLock);
    FErrorFlag = true;
    FErrorText = text;
}

void TCustomFFmpeg::FreeFilesAndStreams() {
    // Streams first: their codec contexts and filter graphs refer to the files' streams.
    FOutputStreams.clear();
    FInputStreams.clear();
    FOutputFiles.clear();
    FInputFiles.clear();
}

void TCustomFFmpeg::ReportEnd() {
    if (FTerminated.exchange(true))
        return;
    FWorking = false;
    if (OnTerminate)
        OnTerminate(*this);
}

// --- Control from other threads -------------------------------------------------------

void TCustomFFmpeg::Stop(bool wait) {
    FStopRequested = true;
    Resume();
    if (FWorker == nullptr) {
        // A blocking open on another thread gives up at its next check, whatever its time-out.
        // A run on the calling thread sees the stop between packets.
        if (!FWorking)
            FIOCanceled = true;
        return;
    }
    if (!wait)
        return;
    if (engine::IsMainThread() && QCoreApplication::instance() != nullptr) {
        // Deliveries the worker waits for run meanwhile, so a handler cannot deadlock us.
        while (!FWorker->wait(20))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    } else {
        FWorker->wait();
    }
}

void TCustomFFmpeg::Pause() {
    std::lock_guard lock(FControlLock);
    if (FWorking)
        FPaused = true;
}

void TCustomFFmpeg::Resume() {
    {
        std::lock_guard lock(FControlLock);
        FPaused = false;
    }
    FResumed.notify_all();
}

void TCustomFFmpeg::WaitWhilePaused() {
    const auto goOn = [this] { return !FPaused || FStopRequested; };
    {
        std::lock_guard lock(FControlLock);
        if (goOn())
            return;
    }
    // Held, nothing more is written: what the encoder threads hold is written first.
    (void)DrainEncoderThreads();
    std::unique_lock lock(FControlLock);
    if (goOn())
        return;
    FHeldByPause = true;
    FResumed.wait(lock, goOn);
    FHeldByPause = false;
}

void TCustomFFmpeg::EndUnstarted(bool wait, TEndOn where) {
    if (FWorking) {
        Stop(wait);
        return;
    }
    if (FTerminated || FEndThread.joinable())
        return;
    FStopRequested = true;
    const auto end = [this] {
        FreeFilesAndStreams();
        ReportEnd();
    };
    if (where == TEndOn::CallingThread) {
        end();
        return;
    }
    FEndThread = std::thread(end);
    if (wait)
        FEndThread.join();
}

void TCustomFFmpeg::SetPreviewFlags(int flags) {
    std::lock_guard lock(PreviewLock());
    FPreviewFlags = flags;
    FPreviewDue = true; // the current picture is converted afresh
}

std::mutex& TCustomFFmpeg::PreviewLock() {
    static std::mutex lock;
    return lock;
}
