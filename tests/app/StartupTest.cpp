// Starts the real application as a user would, with its own data and temporary folders.

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/types.h>

namespace {

QByteArray ReadAll(const QString& fileName) {
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class StartupTest : public ::testing::Test {
protected:
    // A process of the application using `home` as its data folder.
    std::unique_ptr<QProcess> Start(const QString& scaleFactor = QStringLiteral("1"),
                                    const QStringList& arguments = {}) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_SCALE_FACTOR", scaleFactor);
        env.insert("REELCASTER_HOME", home.path());
        env.insert("TMPDIR", temp.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process->setProcessEnvironment(env);
        process->start(QStringLiteral(REELCASTER_APP_PATH), arguments);
        EXPECT_TRUE(process->waitForStarted());
        return process;
    }
    // The system information block is logged once the application handles termination
    // requests; the default output folder exists once the main window does.
    // After a restart the old log must have been moved to log2.txt first.
    bool WaitForMainWindow(bool restarted = false) {
        return QTest::qWaitFor(
            [&] {
                if (restarted && !QFileInfo::exists(home.filePath("Log/log2.txt")))
                    return false;
                return ReadAll(home.filePath("Log/log1.txt")).contains("Program Version: ") &&
                       QFileInfo(home.filePath("Output")).isDir();
            },
            30000);
    }
    void Terminate(QProcess& process) {
        process.terminate(); // SIGTERM closes the main window: the normal exit path
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    }

    QTemporaryDir home;
    QTemporaryDir temp;
};

} // namespace

TEST_F(StartupTest, FirstStartWithAnEmptyDataFolder) {
    auto app = Start();
    ASSERT_TRUE(WaitForMainWindow()) << app->readAllStandardError().toStdString();
    Terminate(*app);

    // "[Output]" as it always was; the window's place in a section of its own.
    const QByteArray settings = ReadAll(home.filePath("Reelcaster.ini"));
    EXPECT_TRUE(settings.startsWith(
        "[Output]\nSnapshotPath=\nOutputPath=\nSnapshotExt=\nSourcePath=\nSourceImgPath=\n"
        "[Window]\nMainGeometry="))
        << settings.toStdString();
    EXPECT_TRUE(QFileInfo(home.filePath("Snapshot")).isDir());
    const QByteArray log = ReadAll(home.filePath("Log/log1.txt"));
    ASSERT_GT(log.size(), 19 + 4 + 69);
    EXPECT_EQ(log.mid(19, 4 + 69), "    " + QByteArray(69, '=')) << log.toStdString();
    EXPECT_FALSE(QFileInfo::exists(home.filePath("Log/log2.txt")));

    // The next start keeps the first run's log as log2.txt. The screen is logged in pixels,
    // whatever the desktop's scale.
    auto again = Start(QStringLiteral("2"));
    ASSERT_TRUE(WaitForMainWindow(true));
    Terminate(*again);
    EXPECT_EQ(ReadAll(home.filePath("Log/log2.txt")), log);
    const auto metrics = [](const QByteArray& text) {
        const qsizetype at = text.indexOf("Metrics:");
        return at < 0 ? QByteArray() : text.mid(at, text.indexOf('\r', at) - at);
    };
    EXPECT_FALSE(metrics(log).isEmpty());
    EXPECT_EQ(metrics(ReadAll(home.filePath("Log/log1.txt"))), metrics(log));
}

TEST_F(StartupTest, ASecondStartEndsAtOnceAndLeavesTheFirstAlone) {
    auto first = Start();
    ASSERT_TRUE(WaitForMainWindow());
    const QByteArray firstLog = ReadAll(home.filePath("Log/log1.txt"));

    auto second = Start();
    ASSERT_TRUE(second->waitForFinished(10000)) << "the second instance kept running";
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_TRUE(second->readAllStandardOutput().isEmpty());
    EXPECT_TRUE(second->readAllStandardError().isEmpty());

    EXPECT_EQ(first->state(), QProcess::Running);
    EXPECT_FALSE(QFileInfo::exists(home.filePath("Log/log2.txt")))
        << "the second start must not rotate the running instance's log";
    EXPECT_TRUE(ReadAll(home.filePath("Log/log1.txt")).startsWith(firstLog));

    // Files opened while it runs go to the running instance, which adds them.
    const QString media = QStringLiteral(REELCASTER_TEST_MEDIA_DIR "/audio_only.mp3");
    auto opener = Start(QStringLiteral("1"), {media});
    ASSERT_TRUE(opener->waitForFinished(10000)) << opener->readAllStandardError().toStdString();
    EXPECT_EQ(opener->exitCode(), 0);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return ReadAll(home.filePath("Log/log1.txt"))
                .contains("Success to Load File " + media.toUtf8());
        },
        30000))
        << "the running instance did not add the file";

    Terminate(*first);

    // Once the first has gone, the next start runs normally.
    auto third = Start();
    ASSERT_TRUE(WaitForMainWindow(true));
    Terminate(*third);
}

// A logout or shutdown ends the application within moments even while a message box waits
// for an answer (here the one telling of a file that could not be added), and SIGHUP does
// as SIGTERM.
TEST_F(StartupTest, TheSessionEndClosesItEvenWithAMessageBoxOpen) {
    const QString broken = QStringLiteral(REELCASTER_TEST_MEDIA_DIR "/random_bytes.mp4");
    for (const int signal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        QDir(home.filePath("Log")).removeRecursively(); // what is logged is this run's
        auto app = Start(QStringLiteral("1"), {broken});
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return ReadAll(home.filePath("Log/log1.txt"))
                    .contains("Failed to load File  " + broken.toUtf8());
            },
            30000))
            << app->readAllStandardError().toStdString();
        QElapsedTimer clock;
        clock.start();
        ::kill(static_cast<pid_t>(app->processId()), signal);
        ASSERT_TRUE(app->waitForFinished(5000)) << "still running after the signal";
        EXPECT_LT(clock.elapsed(), 5000);
        EXPECT_EQ(app->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(app->exitCode(), 0);
        // The normal exit path ran: the settings were written.
        EXPECT_TRUE(ReadAll(home.filePath("Reelcaster.ini")).startsWith("[Output]"));
    }
}
