#include "engine/encoder/FFEncode.h"
#include "engine/FFLoad.h"
#include "engine/FFLog.h"
#include "engine/FFmpegException.h"

#include "common/Process.h"
#include "common/TestMedia.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <map>
#include <mutex>

namespace {

struct Ended {
    int TaskIndex;
    bool Finished;
    bool Exception;
    QString Message;
    bool OnMainThread;
};

// The settings a new job item converts with.
TOutputOptions DefaultFlv(const QString& filters = QString()) {
    TOutputOptions options;
    options.VideoCodec = "flv";
    options.FrameRate = "30";
    options.VideoBitrate = 512000;
    options.AudioCodec = "libmp3lame";
    options.AudioVolume = 256;
    options.AudioChannels = 2;
    options.AudioBitrate = 96000;
    options.AudioSampleRate = 44100;
    options.DisableSubtitle = true;
    options.Info.Timestamp = 0;
    options.VideoFilters = filters;
    return options;
}

// An input read at its own pace for `seconds`, so that runs take real time.
TInputOptions Paced(double seconds) {
    TInputOptions options;
    options.ExtOptions = QStringLiteral("re=1<CRLF>t=%1").arg(seconds);
    return options;
}

bool WaitUntil(const std::function<bool()>& condition, int milliseconds = 60000) {
    return QTest::qWaitFor(condition, milliseconds);
}

bool IsMain() {
    return QThread::currentThread() == qApp->thread();
}

class EncoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FFLoader().LoadLibraries(TLibrarySet::All()));
        encoder = std::make_unique<TFFEncoder>();
        encoder->OnTerminate = [this](QObject*, const TTerminateInfo& info) {
            ended.push_back(
                {info.TaskIndex, info.Finished, info.Exception, info.ExceptionMsg, IsMain()});
        };
        encoder->OnProgress = [this](QObject*, TProgressInfo* info) {
            progress.push_back(*info);
            progressOnMain = progressOnMain && IsMain();
        };
    }

    QString Out(const QString& name) const { return dir.filePath(name); }

    int AddFlvTask(const QString& input, const QString& output, const TInputOptions* in = nullptr,
                   const TOutputOptions& options = DefaultFlv()) {
        const int task = encoder->AddTask(input, in);
        EXPECT_GE(task, 0) << encoder->LastErrMsg().toStdString();
        if (task >= 0) {
            EXPECT_TRUE(encoder->SetOutputFile(task, output, &options))
                << encoder->LastErrMsg().toStdString();
        }
        return task;
    }
    bool RunEnded() { return !ended.empty() && ended.back().TaskIndex == -1; }

    QTemporaryDir dir;
    std::unique_ptr<TFFEncoder> encoder;
    std::vector<Ended> ended;
    std::vector<TProgressInfo> progress;
    bool progressOnMain = true;
};

} // namespace

TEST_F(EncoderTest, ProgressIntervalHasAFloor) {
    EXPECT_EQ(encoder->ProgressInterval(), 500);
    encoder->SetProgressInterval(50);
    EXPECT_EQ(encoder->ProgressInterval(), 100);
    encoder->SetProgressInterval(250);
    EXPECT_EQ(encoder->ProgressInterval(), 250);
}

TEST_F(EncoderTest, OneAtATimeOnWorkerThreads) {
    std::mutex lock;
    std::map<int, std::pair<qint64, qint64>> spans; // task → first and last hook, ms
    bool hooksOnWorkers = true;
    QElapsedTimer clock;
    clock.start();
    encoder->OnFrameOutputHook = [&](QObject*, TFrameHookInfo* info) {
        std::lock_guard guard(lock);
        hooksOnWorkers = hooksOnWorkers && !IsMain();
        auto [it, inserted] = spans.try_emplace(info->TaskIndex, clock.elapsed(), clock.elapsed());
        it->second.second = clock.elapsed();
    };
    TOutputOptions options = DefaultFlv();
    options.FrameOutputHook = true;
    const TInputOptions paced = Paced(0.6);
    for (int i = 0; i < 3; ++i)
        AddFlvTask(testmedia::Path(testmedia::kH264Aac), Out(QStringLiteral("seq%1.flv").arg(i)),
                   &paced, options);
    encoder->StartTask(1);
    EXPECT_TRUE(encoder->Working());
    EXPECT_THROW(encoder->AddTask(testmedia::Path(testmedia::kH264Aac)), FFmpegException);
    ASSERT_TRUE(WaitUntil([&] { return RunEnded(); }));

    ASSERT_EQ(ended.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ended[i].TaskIndex, i);
        EXPECT_TRUE(ended[i].Finished);
        EXPECT_FALSE(ended[i].Exception) << ended[i].Message.toStdString();
        EXPECT_TRUE(ended[i].OnMainThread);
    }
    EXPECT_TRUE(ended[3].Finished);
    EXPECT_TRUE(encoder->AllDone());
    EXPECT_TRUE(hooksOnWorkers);
    EXPECT_TRUE(progressOnMain);
    ASSERT_EQ(spans.size(), 3u);
    EXPECT_GE(spans[1].first, spans[0].second) << "the second task starts after the first";
    EXPECT_GE(spans[2].first, spans[1].second);
}

TEST_F(EncoderTest, SeveralAtOnce) {
    std::mutex lock;
    std::map<int, std::pair<qint64, qint64>> spans;
    QElapsedTimer clock;
    clock.start();
    encoder->OnFrameOutputHook = [&](QObject*, TFrameHookInfo* info) {
        std::lock_guard guard(lock);
        auto [it, inserted] = spans.try_emplace(info->TaskIndex, clock.elapsed(), clock.elapsed());
        it->second.second = clock.elapsed();
    };
    TOutputOptions options = DefaultFlv();
    options.FrameOutputHook = true;
    const TInputOptions paced = Paced(1.0);
    for (int i = 0; i < 3; ++i)
        AddFlvTask(testmedia::Path(testmedia::kH264Aac), Out(QStringLiteral("par%1.flv").arg(i)),
                   &paced, options);
    encoder->StartTask(3);
    ASSERT_TRUE(WaitUntil([&] { return RunEnded(); }));
    ASSERT_EQ(ended.size(), 4u);
    EXPECT_EQ(ended.back().TaskIndex, -1);
    ASSERT_EQ(spans.size(), 3u);
    for (int i = 1; i < 3; ++i)
        EXPECT_LT(spans[i].first, spans[0].second) << "task " << i << " runs beside task 0";
}

TEST_F(EncoderTest, ZeroRunsEverythingOnTheCallingThread) {
    bool hooksOnMain = true;
    encoder->OnFrameOutputHook = [&](QObject*, TFrameHookInfo*) {
        hooksOnMain = hooksOnMain && IsMain();
    };
    TOutputOptions options = DefaultFlv();
    options.FrameOutputHook = true;
    for (int i = 0; i < 2; ++i)
        AddFlvTask(testmedia::Path(testmedia::kH264Aac), Out(QStringLiteral("here%1.flv").arg(i)),
                   nullptr, options);
    encoder->StartTask(0);
    // Everything has happened when StartTask returns.
    ASSERT_EQ(ended.size(), 3u);
    EXPECT_EQ(ended[0].TaskIndex, 0);
    EXPECT_EQ(ended[1].TaskIndex, 1);
    EXPECT_EQ(ended[2].TaskIndex, -1);
    EXPECT_TRUE(hooksOnMain);
    EXPECT_TRUE(QFileInfo(Out("here1.flv")).size() > 0);
}

TEST_F(EncoderTest, StopEndsEveryTaskOnceAndTheRunLast) {
    const TInputOptions paced = Paced(5);
    for (int i = 0; i < 3; ++i)
        AddFlvTask(testmedia::Path(testmedia::kH264Aac), Out(QStringLiteral("stop%1.flv").arg(i)),
                   &paced);
    encoder->SetProgressInterval(100);
    encoder->StartTask(1);
    ASSERT_TRUE(WaitUntil([&] { return !progress.empty(); }));
    encoder->Stop(true);
    ASSERT_EQ(ended.size(), 4u);
    std::vector<int> order;
    for (const Ended& end : ended) {
        order.push_back(end.TaskIndex);
        EXPECT_FALSE(end.TaskIndex >= 0 && end.Finished) << end.TaskIndex;
        EXPECT_FALSE(end.Exception) << end.Message.toStdString();
    }
    EXPECT_EQ(ended.back().TaskIndex, -1);
    std::sort(order.begin(), order.end());
    EXPECT_EQ(order, (std::vector<int>{-1, 0, 1, 2}));
    EXPECT_FALSE(QFileInfo::exists(Out("stop2.flv")) && QFileInfo(Out("stop2.flv")).size() > 0);
}

// A handler may stop its own encoder, waiting or not, in a run on workers or on the calling
// thread: the call returns, every task ends once on the main thread, and the run ends last.
TEST_F(EncoderTest, AHandlerCanStopItsOwnEncoder) {
    const struct {
        const char* What;
        int Parallel;
        bool FromTerminate; // else from the first progress report
    } cases[] = {
        {"workers, progress", 1, false},
        {"workers, terminate", 1, true},
        {"calling thread, progress", 0, false},
        {"calling thread, terminate", 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        encoder = std::make_unique<TFFEncoder>();
        ended.clear();
        bool stopped = false;
        encoder->OnProgress = [&](QObject*, TProgressInfo*) {
            if (!c.FromTerminate && !stopped) {
                stopped = true;
                encoder->Stop(true);
            }
        };
        encoder->OnTerminate = [&](QObject*, const TTerminateInfo& info) {
            ended.push_back(
                {info.TaskIndex, info.Finished, info.Exception, info.ExceptionMsg, IsMain()});
            if (c.FromTerminate && !stopped) {
                stopped = true;
                encoder->Stop(true);
            }
        };
        for (int i = 0; i < 3; ++i)
            AddFlvTask(testmedia::Path(testmedia::kH264Aac),
                       Out(QStringLiteral("%1-%2.flv").arg(c.Parallel).arg(i)));
        encoder->SetProgressInterval(100);
        encoder->StartTask(c.Parallel);
        ASSERT_TRUE(WaitUntil([&] { return RunEnded(); }, 60000));
        EXPECT_TRUE(stopped);
        std::vector<int> order;
        for (const Ended& end : ended) {
            order.push_back(end.TaskIndex);
            EXPECT_TRUE(end.OnMainThread) << end.TaskIndex;
            EXPECT_FALSE(end.Exception) << end.Message.toStdString();
        }
        EXPECT_EQ(order.back(), -1);
        std::sort(order.begin(), order.end());
        EXPECT_EQ(order, (std::vector<int>{-1, 0, 1, 2}));
        encoder->Stop(true); // nothing left to stop
    }
}

TEST_F(EncoderTest, PauseHoldsProgressAndOutputUntilResume) {
    const TInputOptions paced = Paced(5);
    AddFlvTask(testmedia::Path(testmedia::kH264Aac), Out("paused.flv"), &paced);
    encoder->SetProgressInterval(100);
    encoder->StartTask(1);
    ASSERT_TRUE(WaitUntil([&] { return progress.size() >= 2; }));
    encoder->Pause();
    EXPECT_TRUE(encoder->Paused());
    // The packet in hand finishes, then the task holds at its safe point.
    ASSERT_TRUE(WaitUntil([&] { return encoder->Task(0)->HeldByPause(); }));
    const size_t reports = progress.size();
    const qint64 size = QFileInfo(Out("paused.flv")).size();
    EXPECT_FALSE(WaitUntil(
        [&] { return progress.size() != reports || QFileInfo(Out("paused.flv")).size() != size; },
        700));
    encoder->Resume();
    EXPECT_TRUE(WaitUntil([&] { return progress.size() > reports; }, 20000));
    encoder->Stop(true);
    EXPECT_TRUE(RunEnded());
}

TEST_F(EncoderTest, TaskChangesAreRefusedWhileWorking) {
    AddFlvTask(testmedia::Path(testmedia::kH264Aac), Out("busy.flv"));
    encoder->StartTask(1);
    const struct {
        const char* Operation;
        std::function<void()> Call;
    } cases[] = {
        {"AddTask", [&] { encoder->AddTask(testmedia::Path(testmedia::kH264Aac)); }},
        {"AddInputFile", [&] { encoder->AddInputFile(0, testmedia::Path(testmedia::kH264Aac)); }},
        {"SetOutputFile", [&] { encoder->SetOutputFile(0, Out("other.flv")); }},
        {"RemoveTask", [&] { encoder->RemoveTask(0); }},
        {"StartTask", [&] { encoder->StartTask(1); }},
    };
    for (const auto& c : cases) {
        try {
            c.Call();
            ADD_FAILURE() << c.Operation << " was accepted";
        } catch (const FFmpegException& error) {
            EXPECT_EQ(error.Message(), QStringLiteral("Cannot %1 while working.").arg(c.Operation));
        }
    }
    ASSERT_TRUE(WaitUntil([&] { return RunEnded(); }));
}

TEST_F(EncoderTest, AtMostTwentyInputsAndOutputs) {
    const QString input = testmedia::Path(testmedia::kAudioOnly);
    const int task = encoder->AddTask(input);
    ASSERT_EQ(task, 0);
    for (int i = 1; i < 20; ++i)
        ASSERT_TRUE(encoder->AddInputFile(task, input)) << i;
    EXPECT_FALSE(encoder->AddInputFile(task, input));
    EXPECT_EQ(encoder->LastErrMsg(), "max input files 20 reached");
    EXPECT_EQ(encoder->Task(0)->InputFileCount(), 20);

    EXPECT_EQ(encoder->AddTask(Out("missing.mp4")), -1);
    EXPECT_EQ(encoder->LastErrMsg(), Out("missing.mp4") + ": No such file or directory");
    EXPECT_EQ(encoder->TaskCount(), 1) << "a failed AddTask leaves no task";
}

TEST_F(EncoderTest, ExtraOptionTextAddsAStream) {
    const struct {
        const char* VideoCodec;
        const char* First;
    } cases[] = {{"mpeg4", "mpeg4"}, {"", "h264"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.VideoCodec);
        TFFEncoder local;
        TOutputOptions options;
        options.VideoCodec = c.VideoCodec;
        options.AudioCodec = "aac";
        options.ExtOptions = "vcodec=libx264<CRLF>NewVideo\r\npreset=ultrafast";
        const QString output = Out(QStringLiteral("two%1.mp4").arg(c.VideoCodec));
        const int task = local.AddTask(testmedia::Path(testmedia::kH264Aac));
        ASSERT_TRUE(local.SetOutputFile(task, output, &options))
            << local.LastErrMsg().toStdString();
        local.StartTask(0);
        QJsonArray collected;
        for (const QJsonValue& stream : FFprobe(output)["streams"].toArray()) {
            if (stream["codec_type"].toString() == "video")
                collected.append(stream);
        }
        const QJsonArray video = collected;
        ASSERT_EQ(video.size(), 2);
        EXPECT_EQ(video[0]["codec_name"].toString(), c.First);
        EXPECT_EQ(video[1]["codec_name"].toString(), "h264");
    }
}

TEST_F(EncoderTest, AFailingTaskDoesNotStopTheNext) {
    AddFlvTask(testmedia::Path(testmedia::kH264Aac), Out("bad.flv"), nullptr,
               DefaultFlv("scale=:nonsense[x"));
    AddFlvTask(testmedia::Path(testmedia::kH264Aac), Out("good.flv"));
    encoder->StartTask(1);
    ASSERT_TRUE(WaitUntil([&] { return RunEnded(); }));
    ASSERT_EQ(ended.size(), 3u);
    EXPECT_TRUE(ended[0].Exception);
    EXPECT_FALSE(ended[0].Finished);
    EXPECT_EQ(ended[0].Message, "Error opening filters: scale=:nonsense[x");
    EXPECT_TRUE(ended[1].Finished);
    EXPECT_FALSE(ended[1].Exception);
}

TEST_F(EncoderTest, ProgressMakesSenseToAUser) {
    const TInputOptions paced = Paced(2);
    AddFlvTask(testmedia::Path(testmedia::kH264Aac), Out("paced.flv"), &paced);
    encoder->SetProgressInterval(100);
    encoder->StartTask(1);
    ASSERT_TRUE(WaitUntil([&] { return RunEnded(); }));
    ASSERT_GT(progress.size(), 5u);
    int64_t last = -1;
    for (const TProgressInfo& info : progress) {
        EXPECT_EQ(info.TaskIndex, 0);
        EXPECT_EQ(info.TotalDuration, 2000000);
        EXPECT_GE(info.CurrentDuration, last);
        last = info.CurrentDuration;
    }
    const TProgressInfo& final = progress.back();
    EXPECT_EQ(final.FileIndex, -1);
    EXPECT_NEAR(final.CurrentDuration, 2000000, 100000);
    const QJsonDocument probe = FFprobe(Out("paced.flv"));
    const double bitRate = probe["format"]["bit_rate"].toString().toDouble() / 1000;
    EXPECT_NEAR(final.BitRate, bitRate, bitRate * 0.1);
    EXPECT_NEAR(final.FPS, 30, 3) << "read at the source's pace, pictures come 30 a second";
    EXPECT_EQ(final.FrameNumber, 60);
}

TEST_F(EncoderTest, JoiningTasksExpectTheSumOfTheirInputs) {
    const int task = encoder->AddTask(testmedia::Path(testmedia::kH264Aac));
    ASSERT_TRUE(encoder->AddInputFile(task, testmedia::Path(testmedia::kAudioOnly)));
    TOutputOptions options = DefaultFlv();
    options.Join = true;
    options.DisableVideo = true;
    ASSERT_TRUE(encoder->SetOutputFile(task, Out("joined.flv"), &options))
        << encoder->LastErrMsg().toStdString();
    EXPECT_NEAR(encoder->Task(task)->ExpectedTotalDuration(), 10041633, 60000);
    EXPECT_FALSE(encoder->SetOutputFile(task, Out("second.flv"), &options));
    EXPECT_EQ(encoder->LastErrMsg(), "Cannot join more than one output file.");
}

namespace {

struct FakePreviewer : ITaskPreviewer {
    explicit FakePreviewer(std::vector<QSize>* sizes) : Sizes(sizes) {}
    void ShowPicture(const QImage& picture, int64_t) override {
        EXPECT_TRUE(IsMain());
        Sizes->push_back(picture.size());
    }
    bool Closed() const override { return Sizes->size() >= 2; } // the user closes it
    std::vector<QSize>* Sizes;
};

} // namespace

TEST_F(EncoderTest, PreviewWindowsShowPicturesUntilClosed) {
    std::vector<QSize> sizes;
    int made = 0;
    encoder->PreviewerFactory = [&] {
        ++made;
        return std::make_unique<FakePreviewer>(&sizes);
    };
    const TInputOptions paced = Paced(1);
    AddFlvTask(testmedia::Path(testmedia::kH264Aac), Out("preview.flv"), &paced);
    encoder->SetPreview(true);
    encoder->StartTask(1);
    ASSERT_TRUE(WaitUntil([&] { return RunEnded(); }));
    EXPECT_EQ(made, 1);
    ASSERT_EQ(sizes.size(), 2u) << "no picture after the window was closed";
    EXPECT_EQ(sizes[0], QSize(320, 240));
}

TEST_F(EncoderTest, DestroyingInTheMiddleStopsAndDeliversNothingMore) {
    auto doomed = std::make_unique<TFFEncoder>();
    std::atomic<int> afterwards{0};
    std::atomic<bool> destroyed{false};
    std::atomic<int> reports{0};
    doomed->OnProgress = [&](QObject*, TProgressInfo*) {
        ++reports;
        if (destroyed)
            ++afterwards;
    };
    doomed->OnTerminate = [&](QObject*, const TTerminateInfo&) {
        if (destroyed)
            ++afterwards;
    };
    doomed->SetProgressInterval(100);
    const TInputOptions paced = Paced(5);
    for (int i = 0; i < 2; ++i) {
        const int task = doomed->AddTask(testmedia::Path(testmedia::kH264Aac), &paced);
        const TOutputOptions options = DefaultFlv();
        ASSERT_TRUE(
            doomed->SetOutputFile(task, Out(QStringLiteral("doomed%1.flv").arg(i)), &options));
    }
    doomed->StartTask(2);
    ASSERT_TRUE(WaitUntil([&] { return reports >= 2; }));
    doomed.reset();
    destroyed = true;
    EXPECT_FALSE(WaitUntil([&] { return afterwards > 0; }, 300)) << "an event after the end";
}
