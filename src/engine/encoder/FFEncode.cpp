#include "engine/encoder/FFEncode.h"

#include "engine/FFLoad.h"
#include "engine/FFmpegException.h"
#include "engine/MainThread.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QThread>
#include <QTimeZone>

#include <algorithm>
#include <array>

namespace {

TPreviewerFactory& DefaultPreviewerFactory() {
    static TPreviewerFactory factory;
    return factory;
}

using TOptionPairs = QList<QPair<QString, QString>>;

// The extra option text: trimmed, line breaks and "<CRLF>" made line feeds, one "name=value"
// per line with the name lower-cased.
TOptionPairs ExtraOptions(const QString& text) {
    QString normalised = text.trimmed();
    normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    normalised.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    normalised.replace(QStringLiteral("<CRLF>"), QStringLiteral("\n"));
    TOptionPairs pairs;
    for (const QString& line : normalised.split(QLatin1Char('\n'))) {
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        const QString name = (equals < 0 ? line : line.left(equals)).trimmed().toLower();
        if (!name.isEmpty())
            pairs.append({name, equals < 0 ? QString() : line.mid(equals + 1)});
    }
    return pairs;
}

bool IsNewStreamOption(const QString& name) {
    return name == QLatin1String("newvideo") || name == QLatin1String("newaudio") ||
           name == QLatin1String("newsubtitle") || name == QLatin1String("newdata");
}

// A local date-time in days since 1899-12-30 as seconds since 1970 UTC, with the zone's
// standard offset and no daylight saving.
int64_t LocalDaysToUnixSeconds(double days) {
    const int standardOffset =
        QTimeZone::systemTimeZone().standardTimeOffset(QDateTime::currentDateTimeUtc());
    return static_cast<int64_t>((days - 25569.0) * 86400.0) - standardOffset;
}

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

struct TCustomEncoder::TTask {
    std::unique_ptr<TFFmpeg> Job;
    std::array<TInputOptions, kMaxFiles> Inputs;
    std::array<TOutputOptions, kMaxFiles> Outputs;
    std::vector<std::unique_ptr<TFFDecoder>> Decoders;
    std::unique_ptr<ITaskPreviewer> Previewer; // main thread only
    bool PreviewClosed = false;
};

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

void TCustomEncoder::ApplyInputOptions(TTask& task, int slot, const QString& fileName,
                                       const TInputOptions* options) {
    TInputOptions& stored = task.Inputs[slot];
    InitInputOptions(stored);
    if (options == nullptr)
        return;
    stored = *options;
    if (stored.FileName.isEmpty())
        stored.FileName = fileName;
    TFFmpeg& job = *task.Job;
    for (const auto& [name, value] : ExtraOptions(stored.ExtOptions)) {
        if (IsNewStreamOption(name) || name == QLatin1String("vfilters") ||
            name == QLatin1String("vf"))
            continue;
        job.SetOption(name, value);
    }
    if (!stored.FileFormat.isEmpty())
        job.SetFormat(stored.FileFormat);
    job.SetStartTime(stored.StartTime);
    job.SetProgramId(stored.ProgramId);
}

int TCustomEncoder::AddTask(const QString& fileName, const TInputOptions* options) {
    CheckIdle("AddTask");
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
    try {
        job.SetOption(QStringLiteral("v"), QStringLiteral("1"));
        ApplyInputOptions(*task, 0, fileName, options);
        if (!job.OpenInputFile(fileName)) {
            FLastErrMsg = job.LastErrorText();
            return -1;
        }
    } catch (const FFmpegException& error) {
        FLastErrMsg = error.Message();
        return -1;
    }
    task->Decoders.push_back(std::make_unique<TFFDecoder>());
    task->Decoders.back()->AttachFormatContext(job.InputContext(0));
    ConnectTask(*task);
    FTasks.push_back(std::move(task));
    return TaskCount() - 1;
}

void TCustomEncoder::ConnectTask(TTask& task) {
    task.Job->OnProgress = [this](TCustomFFmpeg& job, const TJobProgress& progress) {
        DoProgress(job, progress);
    };
    task.Job->OnTerminate = [this](TCustomFFmpeg& job) { DoTerminate(job); };
}

bool TCustomEncoder::AddInputFile(int task, const QString& fileName, const TInputOptions* options) {
    CheckIdle("AddInputFile");
    TTask& entry = *FTasks.at(task);
    TFFmpeg& job = *entry.Job;
    const int slot = job.InputFileCount();
    if (slot >= kMaxFiles) {
        FLastErrMsg = QStringLiteral("max input files %1 reached").arg(kMaxFiles);
        return false;
    }
    try {
        ApplyInputOptions(entry, slot, fileName, options);
        if (!job.OpenInputFile(fileName)) {
            FLastErrMsg = job.LastErrorText();
            InitInputOptions(entry.Inputs[slot]);
            return false;
        }
    } catch (const FFmpegException& error) {
        FLastErrMsg = error.Message();
        InitInputOptions(entry.Inputs[slot]);
        return false;
    }
    entry.Decoders.push_back(std::make_unique<TFFDecoder>());
    entry.Decoders.back()->AttachFormatContext(job.InputContext(slot));
    return true;
}

void TCustomEncoder::ApplyOutputOptions(TTask& task, const TOutputOptions& options,
                                        TOptionPairs& streamDefaults, QStringList& newStreams) {
    TFFmpeg& job = *task.Job;
    // The per-stream defaults first, then what the extra text says for each stream.
    const std::pair<const char*, QString> defaults[] = {
        {"def_acodec", options.AudioCodec},    {"def_vcodec", options.VideoCodec},
        {"def_scodec", options.SubtitleCodec}, {"def_dcodec", options.DataCodec},
        {"def_fpre", options.PresetFile},      {"def_s", options.FrameSize},
        {"def_vf", options.VideoFilters}};
    for (const auto& [name, value] : defaults) {
        if (!value.isEmpty())
            streamDefaults.append({QLatin1String(name), value});
    }
    auto defaultOf = [&](const QString& name) {
        for (const auto& [key, value] : streamDefaults) {
            if (key == QLatin1String("def_") + name)
                return value;
        }
        return QString();
    };
    TOptionPairs direct;
    for (auto [name, value] : ExtraOptions(options.ExtOptions)) {
        if (IsNewStreamOption(name)) {
            newStreams.append(name);
            continue;
        }
        const bool perStream = name == QLatin1String("acodec") || name == QLatin1String("vcodec") ||
                               name == QLatin1String("scodec") || name == QLatin1String("dcodec") ||
                               name == QLatin1String("s") || name == QLatin1String("vfilters") ||
                               name == QLatin1String("vf");
        if (perStream && !value.isEmpty()) {
            if (name == QLatin1String("vfilters"))
                name = QStringLiteral("vf");
            if (defaultOf(name).isEmpty())
                streamDefaults.append({QLatin1String("def_") + name, value});
            streamDefaults.append({name, value});
        } else if (!perStream) {
            direct.append({name, value});
        }
    }

    if (options.Target >= 1 && options.Target <= 3)
        job.SetTarget(options.Target, options.TargetNorm, options.TargetFallbackNorm);
    for (const char* codec : {"acodec", "vcodec", "scodec", "dcodec"}) {
        const QString value = defaultOf(QLatin1String(codec));
        if (!value.isEmpty())
            job.SetCodec(QLatin1String(codec), value);
    }
    if (!defaultOf(QStringLiteral("fpre")).isEmpty())
        job.SetPresetFile(defaultOf(QStringLiteral("fpre")));
    for (const auto& [name, value] : direct)
        job.SetOption(name, value);

    // The record's fields, in the order of its table.
    const auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
    if (!options.FileFormat.isEmpty())
        job.SetFormat(options.FileFormat);
    if (options.PacketSize > 0)
        job.SetIntegerOption(QStringLiteral("packetsize"), options.PacketSize);
    if (options.MuxRate > 0)
        job.SetIntegerOption(QStringLiteral("muxrate"), options.MuxRate);
    job.SetMuxDelay(options.MuxDelay);
    job.SetMuxPreload(options.MuxPreload);
    if (options.DisableAudio)
        job.SetOption(QStringLiteral("an"), flag(true));
    job.SetVolume(options.AudioVolume);
    job.SetChannels(options.AudioChannels);
    job.SetSampleRate(options.AudioSampleRate);
    if (options.AudioBitrate > 0 && options.Target == 0)
        job.SetBitrate(QStringLiteral("ab"), options.AudioBitrate);
    if (options.AudioBitrateTolerance > 0)
        job.SetIntegerOption(QStringLiteral("abt"), options.AudioBitrateTolerance);
    job.SetOption(QStringLiteral("alang"), options.AudioLanguage);
    job.SetAudioSync(options.AudioSync);
    if (!options.AudioTag.isEmpty())
        job.SetCodecTag(QStringLiteral("atag"), options.AudioTag);
    if (options.DisableVideo)
        job.SetOption(QStringLiteral("vn"), flag(true));
    if (!options.FrameRate.isEmpty())
        job.SetFrameRate(options.FrameRate);
    if (!options.FrameAspectRatio.isEmpty())
        job.SetAspect(options.FrameAspectRatio);
    if (options.GopSize > 0)
        job.SetIntegerOption(QStringLiteral("g"), options.GopSize);
    if (options.VideoBitrate > 0 && options.Target == 0)
        job.SetBitrate(QStringLiteral("vb"), options.VideoBitrate);
    if (options.VideoMaxRate > 0)
        job.SetIntegerOption(QStringLiteral("maxrate"), options.VideoMaxRate);
    if (options.VideoMinRate > 0)
        job.SetIntegerOption(QStringLiteral("minrate"), options.VideoMinRate);
    if (options.VideoBitrateTolerance > 0)
        job.SetIntegerOption(QStringLiteral("bt"), options.VideoBitrateTolerance);
    if (options.VideoBufSize > 0)
        job.SetIntegerOption(QStringLiteral("bufsize"), options.VideoBufSize);
    job.SetVideoSync(options.VideoSync);
    if (!options.VideoTag.isEmpty())
        job.SetCodecTag(QStringLiteral("vtag"), options.VideoTag);
    job.SetOption(QStringLiteral("vlang"), options.VideoLanguage);
    job.SetOption(QStringLiteral("sn"), flag(options.DisableSubtitle));
    job.SetOption(QStringLiteral("slang"), options.SubtitleLanguage);
    job.SetOption(QStringLiteral("isync"), flag(options.InputSync));
    if (options.CopyTimestamps)
        job.SetOption(QStringLiteral("copyts"), flag(true));
    job.SetStartTime(options.StartTime);
    job.SetRecordingTime(options.Duration);

    const TStreamInfo& info = options.Info;
    if (info.Timestamp == 0)
        job.SetRecordingTimestamp(QDateTime::currentSecsSinceEpoch());
    else if (info.Timestamp > 0)
        job.SetRecordingTimestamp(LocalDaysToUnixSeconds(info.Timestamp));
    if (info.Year > 0)
        job.AddMetadata(QStringLiteral("year"), QString::number(info.Year));
    if (info.Track > 0)
        job.AddMetadata(QStringLiteral("track"), QString::number(info.Track));
    const std::pair<const char*, const QString*> texts[] = {
        {"title", &info.Title},     {"author", &info.Author}, {"copyright", &info.Copyright},
        {"comment", &info.Comment}, {"album", &info.Album},   {"genre", &info.Genre}};
    for (const auto& [key, value] : texts) {
        if (!value->isEmpty())
            job.AddMetadata(QLatin1String(key), *value);
    }

    if (!defaultOf(QStringLiteral("s")).isEmpty())
        job.SetFrameSize(defaultOf(QStringLiteral("s")));
    if (!defaultOf(QStringLiteral("vf")).isEmpty())
        job.SetVideoFilters(defaultOf(QStringLiteral("vf")));

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
    job.HookBitsPixel = options.HookBitsPixel;
}

bool TCustomEncoder::SetOutputFile(int task, const QString& fileName,
                                   const TOutputOptions* options) {
    CheckIdle("SetOutputFile");
    TTask& entry = *FTasks.at(task);
    TFFmpeg& job = *entry.Job;
    const int slot = job.OutputFileCount();
    if (slot >= kMaxFiles) {
        FLastErrMsg = QStringLiteral("max output files %1 reached").arg(kMaxFiles);
        return false;
    }
    TOptionPairs streamDefaults;
    QStringList newStreams;
    try {
        bool join = false;
        if (options != nullptr) {
            entry.Outputs[slot] = *options;
            if (entry.Outputs[slot].FileName.isEmpty())
                entry.Outputs[slot].FileName = fileName;
            ApplyOutputOptions(entry, entry.Outputs[slot], streamDefaults, newStreams);
            join = options->Join;
        } else {
            InitOutputOptions(entry.Outputs[slot]);
        }
        if (job.OpenOutputFile(fileName, join) < 0) {
            FLastErrMsg = job.LastErrorText();
            InitOutputOptions(entry.Outputs[slot]);
            return false;
        }
        // Streams the extra text adds, each with the first unused per-stream value of its kind.
        auto take = [&](const QString& name) {
            for (int i = 0; i < streamDefaults.size(); ++i) {
                if (streamDefaults[i].first == name) {
                    const QString value = streamDefaults[i].second;
                    streamDefaults.removeAt(i);
                    return value;
                }
            }
            for (const auto& [key, value] : streamDefaults) {
                if (key == QLatin1String("def_") + name)
                    return value;
            }
            return QString();
        };
        for (const QString& kind : newStreams) {
            QStringList names;
            if (kind == QLatin1String("newaudio"))
                names = {QStringLiteral("acodec")};
            else if (kind == QLatin1String("newvideo"))
                names = {QStringLiteral("vcodec"), QStringLiteral("s"), QStringLiteral("vf")};
            else if (kind == QLatin1String("newsubtitle"))
                names = {QStringLiteral("scodec")};
            else
                names = {QStringLiteral("dcodec")};
            for (const QString& name : names) {
                const QString value = take(name);
                if (!value.isEmpty())
                    job.SetOption(name, value);
            }
            job.SetOption(kind, QString());
        }
        if (options != nullptr && options->Join) {
            job.ExpandJoin();
        }
    } catch (const FFmpegException& error) {
        FLastErrMsg = error.Message();
        InitOutputOptions(entry.Outputs[slot]);
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
    job->Start(FThreaded, ThreadPriority);
    // A task that follows one ending during a pause waits for Resume like the others.
    if (FThreaded && FPaused)
        job->Pause();
}

void TCustomEncoder::DoTerminate(TCustomFFmpeg& job) {
    std::unique_lock lock(FTerminateLock);
    const TTerminateInfo info{TaskIndex(job), job.Finished(), job.Failed(), job.ErrorText()};
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
    TProgressInfo info;
    info.TaskIndex = TaskIndex(job);
    info.FileIndex = progress.FileIndex;
    info.FrameNumber = progress.FrameNumber;
    info.FPS = progress.FPS;
    info.Quality = progress.Quality;
    info.BitRate = progress.BitRate;
    info.TotalSize = progress.TotalSize;
    info.CurrentDuration = progress.CurrentDuration;
    info.TotalDuration = progress.TotalDuration;
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
    THookInfo info{TaskIndex(job), data.Bitmap, data.FrameNumber, data.PTS, true, false};
    THandlerScope scope(this);
    handler(this, &info);
    data.Update = info.Update;
    data.StopHook = info.StopHook;
}

void TCustomEncoder::DoFrameHook(const TFrameHookEvent& handler, TCustomFFmpeg& job,
                                 const TFrameHookData& data) {
    std::lock_guard lock(FFrameHookLock);
    if (!handler)
        return;
    TFrameHookInfo info{TaskIndex(job), data.FrameNumber, data.Picture, data.PixFmt,
                        data.Width,     data.Height,      data.PTS};
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
