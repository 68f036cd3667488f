#include "engine/FFLog.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <atomic>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace {

struct LogRecord {
    QObject* Sender;
    quint32 ThreadId;
    TLogLevel Level;
    QString Text;
    bool OnMainThread;
};

// A logger that records what reaches OnLog, with FFmpeg routed into it.
class EngineLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        logger = std::make_unique<TFFLogger>();
        logger->OnLog = [this](QObject* sender, quint32 thread, TLogLevel level,
                               const QString& text) {
            std::lock_guard lock(recordsLock);
            records.push_back(
                {sender, thread, level, text, QThread::currentThread() == qApp->thread()});
        };
        SetupLibraryLogging();
    }
    void TearDown() override {
        logger.reset();
        FinalizeEngineLog();
    }
    QStringList Texts() {
        std::lock_guard lock(recordsLock);
        QStringList texts;
        for (const LogRecord& r : records)
            texts << r.Text;
        return texts;
    }

    std::unique_ptr<TFFLogger> logger;
    std::mutex recordsLock;
    std::vector<LogRecord> records;
};

// A logging context as FFmpeg sees one: an AVClass pointer first, a parent context after it.
struct FakeContext {
    const AVClass* Class;
    void* Parent;
};

const char* FakeItemName(void* context) {
    return static_cast<FakeContext*>(context)->Parent ? "child" : "parent";
}

const AVClass kFakeClass = [] {
    AVClass c{};
    c.class_name = "fake";
    c.item_name = FakeItemName;
    c.version = LIBAVUTIL_VERSION_INT;
    c.parent_log_context_offset = offsetof(FakeContext, Parent);
    return c;
}();

QString Address(const void* pointer) {
    return QString::asprintf("%p", pointer);
}

} // namespace

TEST(EngineLogLevels, ConvertBothWays) {
    const struct {
        int FFmpeg;
        TLogLevel Level;
    } cases[] = {{-16, llQuiet},  {-8, llQuiet}, {-7, llPanic}, {-1, llPanic},   {0, llPanic},
                 {8, llFatal},    {16, llError}, {17, llError}, {24, llWarning}, {32, llInfo},
                 {40, llVerbose}, {48, llDebug}, {56, llDebug}, {1000, llDebug}};
    for (const auto& c : cases)
        EXPECT_EQ(FFmpegToLogLevel(c.FFmpeg), c.Level) << c.FFmpeg;
    for (int level = llQuiet; level <= llDebug; ++level) {
        EXPECT_EQ(LogLevelToFFmpeg(static_cast<TLogLevel>(level)), 8 * level - 8);
        EXPECT_EQ(FFmpegToLogLevel(LogLevelToFFmpeg(static_cast<TLogLevel>(level))), level);
    }
}

TEST(EngineLogLevels, ParseNamesAndNumbers) {
    const struct {
        const char* Text;
        bool Valid;
        int FFmpeg;
    } cases[] = {{"quiet", true, -8},   {"PANIC", true, 0},    {"Fatal", true, 8},
                 {"error", true, 16},   {"warning", true, 24}, {"info", true, 32},
                 {"verbose", true, 40}, {"Debug", true, 48},   {"20", true, 20},
                 {"-8", true, -8},      {"loud", false, 0},    {"", false, 0}};
    for (const auto& c : cases) {
        int level = 12345;
        EXPECT_EQ(ParseLogLevelName(QString::fromLatin1(c.Text), &level), c.Valid) << c.Text;
        if (c.Valid) {
            EXPECT_EQ(level, c.FFmpeg) << c.Text;
        }
    }
}

TEST_F(EngineLogTest, SetLogLevelByNameStoresTheLevelAndTellsFFmpeg) {
    ASSERT_TRUE(logger->SetLogLevelByName(QStringLiteral("Debug")));
    EXPECT_EQ(logger->LogLevel(), llDebug);
    EXPECT_EQ(av_log_get_level(), 48);
    ASSERT_TRUE(logger->SetLogLevelByName(QStringLiteral("20")));
    EXPECT_EQ(logger->LogLevel(), llError);
    EXPECT_EQ(av_log_get_level(), 16);
    EXPECT_FALSE(logger->SetLogLevelByName(QStringLiteral("noisy")));
    EXPECT_EQ(logger->LogLevel(), llError);
}

TEST_F(EngineLogTest, EngineMessagesAreFilteredByLevelAndVerbosePassesUnlessQuiet) {
    QObject component;
    logger->SetLogLevel(llWarning);
    logger->Log(&component, llInfo, QStringLiteral("dropped"));
    logger->Log(&component, llVerbose, QStringLiteral("verbose passes"));
    logger->Log(&component, llError, QStringLiteral("error passes"));
    logger->LogFmt(nullptr, llWarning, "%d warnings", 3);
    logger->SetLogLevel(llQuiet);
    logger->Log(&component, llVerbose, QStringLiteral("quiet drops verbose"));
    logger->Log(&component, llPanic, QStringLiteral("quiet drops panic"));

    ASSERT_EQ(Texts(), (QStringList{"verbose passes", "error passes", "3 warnings"}));
    EXPECT_EQ(records[0].Sender, &component);
    EXPECT_EQ(records[0].Level, llVerbose);
    EXPECT_EQ(records[2].Sender, logger.get()); // no sender: the logger itself
}

TEST_F(EngineLogTest, FFmpegMessagesAboveTheLevelAreIgnored) {
    logger->SetLogLevel(llWarning);
    av_log(nullptr, AV_LOG_INFO, "info line\n");
    av_log(nullptr, AV_LOG_ERROR, "error line\n");
    ASSERT_EQ(Texts(), QStringList{"error line"});
    EXPECT_EQ(records[0].Level, llError);
    EXPECT_EQ(records[0].Sender, logger.get());
}

TEST_F(EngineLogTest, FFmpegLinesCarryContextPrefixesOnlyAtTheirStart) {
    FakeContext parent{&kFakeClass, nullptr};
    FakeContext child{&kFakeClass, &parent};
    av_log(&parent, AV_LOG_ERROR, "plain %d\n", 1);
    av_log(&child, AV_LOG_ERROR, "first piece, ");
    av_log(&child, AV_LOG_ERROR, "second piece\n");

    const QString parentPrefix = QStringLiteral("[parent @ %1]").arg(Address(&parent));
    const QString childPrefix = QStringLiteral("[child @ %1]").arg(Address(&child));
    EXPECT_EQ(Texts(), (QStringList{parentPrefix + "plain 1", parentPrefix + " " + childPrefix +
                                                                  "first piece, second piece"}));
}

TEST_F(EngineLogTest, RepeatedLinesAreFoldedIntoOneNotice) {
    const struct {
        int Repeats;
        QStringList Expected;
    } cases[] = {
        {1, {"same", "other"}},
        {2, {"same", "other"}},
        {3, {"same", "    Last message repeated 2 times", "other"}},
        {5, {"same", "    Last message repeated 4 times", "other"}},
    };
    for (const auto& c : cases) {
        records.clear();
        for (int i = 0; i < c.Repeats; ++i)
            av_log(nullptr, AV_LOG_WARNING, "same\n");
        av_log(nullptr, AV_LOG_WARNING, "other\n");
        EXPECT_EQ(Texts(), c.Expected) << c.Repeats << " repeats";
    }
}

TEST_F(EngineLogTest, LongMessagesAreNotCut) {
    const std::string longText(10000, 'x');
    av_log(nullptr, AV_LOG_ERROR, "%s\n", longText.c_str());
    ASSERT_EQ(Texts().size(), 1);
    EXPECT_EQ(Texts().first().size(), 10000);
}

TEST_F(EngineLogTest, EachThreadAssemblesItsOwnLine) {
    logger->SetTriggerEventInMainThread(false);
    std::atomic<int> step{0};
    auto waitFor = [&](int value) {
        while (step.load() < value)
            std::this_thread::yield();
    };
    // Interleave: A starts, B starts, A ends, B ends.
    std::thread a([&] {
        av_log(nullptr, AV_LOG_ERROR, "alpha ");
        step = 1;
        waitFor(2);
        av_log(nullptr, AV_LOG_ERROR, "one\n");
        step = 3;
    });
    std::thread b([&] {
        waitFor(1);
        av_log(nullptr, AV_LOG_ERROR, "beta ");
        step = 2;
        waitFor(3);
        av_log(nullptr, AV_LOG_ERROR, "two\n");
    });
    a.join();
    b.join();
    EXPECT_EQ(Texts(), (QStringList{"alpha one", "beta two"}));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_NE(records[0].ThreadId, records[1].ThreadId);
}

// The main thread logging through FFmpeg while a worker waits for the main thread to take
// its line must not block either side.
TEST_F(EngineLogTest, WorkerDeliveringOnTheMainThreadDoesNotDeadlockWithMainThreadLogging) {
    constexpr int kLines = 300;
    std::atomic<bool> workerDone{false};
    std::thread worker([&] {
        for (int i = 0; i < kLines; ++i)
            av_log(nullptr, AV_LOG_ERROR, "worker %d\n", i);
        workerDone = true;
    });
    QDeadlineTimer deadline(60000);
    int mainLines = 0;
    while (!workerDone && !deadline.hasExpired()) {
        av_log(nullptr, AV_LOG_ERROR, "main %d\n", mainLines++);
        QCoreApplication::processEvents();
    }
    if (!workerDone) {
        worker.detach(); // keep the test program alive to report the failure
        FAIL() << "the worker never finished: deadlock";
    }
    worker.join();
    const QStringList texts = Texts();
    EXPECT_EQ(texts.filter(QStringLiteral("worker ")).size(), kLines);
    EXPECT_EQ(texts.filter(QStringLiteral("main ")).size(), mainLines);
    for (const LogRecord& r : records)
        EXPECT_TRUE(r.OnMainThread) << r.Text.toStdString();
}

TEST(EngineLogger, OnlyOneExplicitLoggerAndAutomaticOnesAreReplaced) {
    TFFLogger* automatic = GetLogger();
    ASSERT_NE(automatic, nullptr);
    EXPECT_EQ(GetLogger(), automatic);
    {
        TFFLogger explicitLogger;
        EXPECT_EQ(GetLogger(), &explicitLogger);
        try {
            TFFLogger second;
            FAIL() << "a second logger was created";
        } catch (const std::logic_error& error) {
            EXPECT_STREQ(error.what(), "Allow creating only one instance of TFFLogger.");
        }
        EXPECT_EQ(GetLogger(), &explicitLogger);
    }
    TFFLogger* again = GetLogger(); // a new automatic one after the explicit one is gone
    ASSERT_NE(again, nullptr);
    FinalizeEngineLog();
}
