// Starts the real application as a user would, with its own data and temporary folders.

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRect>
#include <QStandardPaths>
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
    // What a logout or shutdown sends: the program must have ended normally within 5 s.
    static void EndsWithinFiveSecondsOn(QProcess& process, int signal) {
        QElapsedTimer clock;
        clock.start();
        ::kill(static_cast<pid_t>(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(5000)) << "still running after the signal";
        EXPECT_LT(clock.elapsed(), 5000);
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    }
    // The running program's log has `line` (within 30 s).
    bool WaitForLogLine(const QByteArray& line) {
        return QTest::qWaitFor(
            [&] { return ReadAll(home.filePath("Log/log1.txt")).contains(line); }, 30000);
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
    EXPECT_TRUE(WaitForLogLine("Success to Load File " + media.toUtf8()))
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
        ASSERT_TRUE(WaitForLogLine("Failed to load File  " + broken.toUtf8()))
            << app->readAllStandardError().toStdString();
        EndsWithinFiveSecondsOn(*app, signal);
        // The normal exit path ran: the settings were written.
        EXPECT_TRUE(ReadAll(home.filePath("Reelcaster.ini")).startsWith("[Output]"));
    }
}

namespace {

// Runs `program` to its end and returns what it printed.
QByteArray Output(const QString& program, const QStringList& arguments,
                  const QProcessEnvironment& environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.waitForFinished(10000);
    return process.readAllStandardOutput();
}

// An X server of the test's own with a window manager on it, and xdotool to act as the user.
class WindowManagerTest : public StartupTest {
protected:
    void SetUp() override {
        for (const char* program : {"Xvfb", "openbox", "xdotool"}) {
            if (QStandardPaths::findExecutable(program).isEmpty())
                GTEST_SKIP() << program << " is missing (./setup.sh installs it)";
        }
        server.start("Xvfb",
                     {"-displayfd", "1", "-screen", "0", "1600x1000x24", "-nolisten", "tcp"});
        ASSERT_TRUE(server.waitForReadyRead(10000));
        display = ":" + QString::fromLatin1(server.readLine()).trimmed();
        x11 = QProcessEnvironment::systemEnvironment();
        x11.insert("DISPLAY", display);
        manager.setProcessEnvironment(x11);
        manager.start("openbox", {});
        ASSERT_TRUE(manager.waitForStarted());
    }
    void TearDown() override {
        for (QProcess* process : {&manager, &server}) {
            process->terminate();
            process->waitForFinished(5000);
        }
    }
    // What the application runs with on this X server. On X, Qt talks to the session bus,
    // whose library keeps one allocation to the end: not ours to report in a sanitizer build.
    QProcessEnvironment DisplayEnvironment() {
        QFile suppressions(temp.filePath("leaks.supp"));
        if (suppressions.open(QIODevice::WriteOnly))
            suppressions.write("leak:libdbus-1.so\n");
        QProcessEnvironment env = x11;
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("REELCASTER_HOME", home.path());
        env.insert("TMPDIR", temp.path());
        env.insert("SDL_AUDIODRIVER", "dummy");
        env.insert("LSAN_OPTIONS", "suppressions=" + suppressions.fileName());
        return env;
    }
    // The application on this X server.
    std::unique_ptr<QProcess> StartOnDisplay(const QStringList& arguments = {}) {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(DisplayEnvironment());
        process->start(QStringLiteral(REELCASTER_APP_PATH), arguments);
        EXPECT_TRUE(process->waitForStarted());
        return process;
    }
    // The main window's place on the screen, once it is shown (empty until then).
    QRect MainWindowGeometry() {
        for (const QByteArray& id :
             Output("xdotool", {"search", "--onlyvisible", "--name", "^Morvane Reelcaster$"}, x11)
                 .split('\n')) {
            if (id.trimmed().isEmpty())
                continue;
            QMap<QByteArray, int> values;
            for (const QByteArray& line :
                 Output("xdotool", {"getwindowgeometry", "--shell", QString::fromLatin1(id)}, x11)
                     .split('\n')) {
                const qsizetype equals = line.indexOf('=');
                if (equals > 0)
                    values[line.left(equals)] = line.mid(equals + 1).toInt();
            }
            const QRect geometry(values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]);
            if (geometry.width() > 100)
                return geometry;
        }
        return {};
    }
    void Xdotool(const QStringList& arguments) { Output("xdotool", arguments, x11); }

    QProcess server, manager;
    QString display;
    QProcessEnvironment x11;
};

} // namespace

// With a window manager, as on a desktop: the right edge dragged 100 pixels out widens the
// window by as much, and the next start opens it at that size and place.
TEST_F(WindowManagerTest, AnEdgeResizesTheWindowAndItsSizeComesBack) {
    auto app = StartOnDisplay();
    QRect before;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !(before = MainWindowGeometry()).isEmpty(); }, 30000))
        << app->readAllStandardError().toStdString();
    // Moved by the window manager first, as a user settles a window: the program then knows
    // its place from the window manager itself. (Right after the start, a loaded machine may
    // hand the drag on before the program has learnt where its window went.)
    Xdotool({"search", "--onlyvisible", "--name", "^Morvane Reelcaster$", "windowmove", "--sync",
             "%@", "200", "150"});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (before = MainWindowGeometry()).topLeft() == QPoint(200, 150); }, 10000));
    // At a hand's pace: a pointer that jumps before the window manager has taken the drag
    // over is not how a person drags.
    const QString pause = QStringLiteral("0.5");
    const QString x = QString::number(before.right() - 1), y = QString::number(before.center().y());
    const QString x50 = QString::number(before.right() + 49),
                  x100 = QString::number(before.right() + 99);
    Xdotool({"mousemove", x,     y,           "sleep", pause, "mousedown", "1",
             "sleep",     pause, "mousemove", x50,     y,     "sleep",     pause,
             "mousemove", x100,  y,           "sleep", pause, "mouseup",   "1"});
    QRect after;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            after = MainWindowGeometry();
            return after.width() == before.width() + 100;
        },
        10000))
        << after.x() << "," << after.y() << " " << after.width() << "x" << after.height()
        << " after " << before.x() << "," << before.y() << " " << before.width() << "x"
        << before.height();
    EXPECT_EQ(after.height(), before.height());
    Terminate(*app);

    auto again = StartOnDisplay();
    QRect restored;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            restored = MainWindowGeometry();
            return restored.size() == after.size();
        },
        30000))
        << restored.width() << "x" << restored.height();
    Terminate(*again);
}

// A logout while a conversion runs (started by keyboard, as a user may): the program ends
// within 5 s and leaves no unfinished output, neither under its name nor as a temporary.
TEST_F(WindowManagerTest, TheSessionEndDuringAConversionLeavesNoUnfinishedOutput) {
    // Long enough to be still converting when the signal comes: ten minutes at one picture a
    // second become 18000 pictures at the output's 30.
    const QString source = temp.filePath("long.mp4");
    QProcess maker;
    maker.start("ffmpeg", {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                           "testsrc=size=640x360:rate=1:duration=600", "-c:v", "libx264", "-preset",
                           "ultrafast", source});
    ASSERT_TRUE(maker.waitForFinished(60000));
    ASSERT_EQ(maker.exitCode(), 0);

    auto app = StartOnDisplay({source});
    ASSERT_TRUE(WaitForLogLine("Success to Load File " + source.toUtf8()))
        << app->readAllStandardError().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !MainWindowGeometry().isEmpty(); }, 10000));
    const QDir output(home.filePath("Output"));
    const auto written = [&] {
        return output.entryList(QDir::Files | QDir::Hidden | QDir::System);
    };
    // Ctrl+Return starts; the conversion window opens and writes its temporary.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            Xdotool({"search", "--onlyvisible", "--name", "^Morvane Reelcaster$", "windowactivate",
                     "--sync", "key", "ctrl+Return"});
            return QTest::qWaitFor([&] { return !written().isEmpty(); }, 2000);
        },
        20000))
        << "the conversion did not start";
    ASSERT_FALSE(written().isEmpty());
    EXPECT_TRUE(written().first().endsWith(".part")) << written().join(' ').toStdString();

    EndsWithinFiveSecondsOn(*app, SIGTERM);
    EXPECT_TRUE(written().isEmpty()) << written().join(' ').toStdString();
    EXPECT_TRUE(ReadAll(home.filePath("Log/log1.txt")).contains("Exit Convert"));
}
