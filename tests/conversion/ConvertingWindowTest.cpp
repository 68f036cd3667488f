#include "conversion/U_Converting.h"
#include "conversion/U_ConvertingView.h"
#include "conversion/U_shutDown.h"
#include "conversion/U_shutDownRequest.h"
#include "core/AppSettings.h"
#include "core/MrvLog.h"
#include "core/U_TreelistModel.h"

#include "engine/FFLoad.h"
#include "engine/FFLog.h"
#include "engine/probe/FFDecode.h"
#include "engine/transcoder/FFmpeg.h"
#include "shell/SessionEnd.h"

#include "common/Conversion.h"
#include "common/FakePrompts.h"
#include "common/Process.h"
#include "common/TestMedia.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <mutex>

namespace {

class TRecordingShutdown : public ISystemShutdown {
public:
    bool PowerOff(QString* error) override {
        ++Requests;
        if (error != nullptr)
            *error = QStringLiteral("not in a test");
        return false;
    }
    int Requests = 0;
};

class TScriptedQuestion : public IReplaceQuestion {
public:
    explicit TScriptedQuestion(TReplaceAnswer answer) : FAnswer(answer) {}
    TReplaceAnswer AskReplace(const QString& path) override {
        Asked << QFileInfo(path).fileName();
        return FAnswer;
    }
    QStringList Asked;

private:
    TReplaceAnswer FAnswer;
};

double DurationSeconds(const QString& file) {
    return FFprobe(file)
        .object()
        .value("format")
        .toObject()
        .value("duration")
        .toString()
        .toDouble();
}

class ConvertingWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FFLoader().LoadLibraries(TLibrarySet::All()));
        ASSERT_TRUE(home.isValid());
        qputenv("REELCASTER_HOME", home.path().toUtf8());
        StartActivityLog(home.path());
        LoadSettings(home.path());
        output = home.filePath("out") + '/';
        QDir().mkpath(output);
        QDir().mkpath(home.filePath("src"));
    }
    void TearDown() override {
        ReleaseSettings();
        ReleaseActivityLog();
        qunsetenv("REELCASTER_HOME");
    }

    // A copy of a test file under `name` in the source folder, added to the list.
    TJobRow* AddCopy(const char* media, const QString& name) {
        const QString path = home.filePath("src/" + name);
        EXPECT_TRUE(QFile::copy(testmedia::Path(media), path));
        EXPECT_TRUE(list.AddSourceFile(path, decoder, output));
        return list.TopLevel(list.TopLevelCount() - 1);
    }
    void AddClip(TJobRow* owner, int64_t start, int64_t length) {
        ClipList().clear();
        TClipFile clip;
        clip.ClipName = QStringLiteral("clip");
        clip.StartTime = start;
        clip.ClipDuration = length;
        clip.EndTime = start + length;
        SetClipDefaults(clip, owner->Item.SourceFrameSize);
        ClipList().append(clip);
        list.SetFocused(owner);
        list.CommitClipList(output);
        ClipList().clear();
    }
    // Runs the window to its end (a minute at most) and returns how it ended.
    int Run(TConvertingfrm& window) {
        int result = -1;
        EXPECT_TRUE(RunConversionWindow(window, &result)) << "the conversion window did not end";
        return result;
    }
    // Runs `action` once, on the window's thread, after the window has shown the first report
    // of the second task (the first one's output is finished then). Tells whether it ran.
    std::shared_ptr<bool> WhileTheSecondTaskRuns(TConvertingfrm& window,
                                                 std::function<void()> action) {
        return AtFirstReport(
            window,
            [](const TProgressInfo& info) { return info.TaskIndex == 1 && info.FileIndex >= 0; },
            [&window, action = std::move(action)] { QTimer::singleShot(0, &window, action); });
    }
    // An output file that is there before the batch.
    void WriteOutput(const QString& name, const QByteArray& content = {}) {
        QFile file(output + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QString Log() {
        QFile file(home.filePath("Log/log1.txt"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    QStringList OutputFiles() { return QDir(output).entryList(QDir::Files, QDir::Name); }

    QTemporaryDir home;
    QString output;
    TFakePrompts prompts;
    TRecordingShutdown shutdown;
    TFFDecoder decoder;
    TJobList list;
    int foldersOpened = 0;
    std::function<void()> openFolder = [this] { ++foldersOpened; };
};

const QString kAllConverted = QStringLiteral("Information: File conversion is completed!");
const QString kSomeFailed =
    QStringLiteral("Information: Conversion finished, but one or more files failed in conversion.");

} // namespace

TEST_F(ConvertingWindowTest, AnItemThatCannotBeOpenedIsCountedAndTheOthersConvert) {
    AddCopy(testmedia::kH264Aac, "a.mp4");
    AddCopy(testmedia::kMpeg4Mp3Avi, "b.avi");
    AddCopy(testmedia::kH264Aac, "c.mp4");
    ASSERT_TRUE(QFile::remove(home.filePath("src/b.avi")));

    TConvertingfrm window(nullptr, list, shutdown, openFolder);
    // What the window shows, sampled while it runs.
    QStringList counters;
    QStringList files;
    bool pauseFocused = false;
    const auto sample = [&] {
        if (counters.isEmpty() || counters.last() != window.lblperent->text())
            counters << window.lblperent->text();
        if (files.isEmpty() || files.last() != window.lblFileName->text())
            files << window.lblFileName->text();
        if (window.btnOK->isEnabled() && window.focusWidget() == window.btnOK)
            pauseFocused = true;
    };
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, sample);
    sampler.start(1);
    bool visibleAtMessage = false;
    bool endedButtonsOff = false;
    // The last task's report, its end and the batch notice may all be handled before the timer
    // fires again: what the window shows at the notice is sampled there.
    prompts.OnCall = [&](const QString&) {
        visibleAtMessage = window.isVisible();
        endedButtonsOff = !window.btnOK->isEnabled() && !window.btnCancel->isEnabled();
        sample();
    };

    EXPECT_EQ(Run(window), QDialog::Accepted);
    sampler.stop();
    EXPECT_EQ(window.lblSoftName->text(), "Converting");
    const qsizetype first = counters.indexOf("[ 1 / 3 ]");
    EXPECT_GE(first, 0) << counters.join(", ").toStdString();
    EXPECT_GT(counters.indexOf("[ 2 / 3 ]"), first) << counters.join(", ").toStdString();
    EXPECT_FALSE(counters.contains("[ 3 / 3 ]"));
    const qsizetype aFile = files.indexOf("Create File: a.flv");
    EXPECT_GE(aFile, 0) << files.join(", ").toStdString();
    EXPECT_GT(files.indexOf("Create File: c.flv"), aFile);

    // The message says which file failed and why.
    const QString missing = home.filePath("src/b.avi");
    EXPECT_EQ(prompts.Calls, QStringList({"Beep", kSomeFailed + "\r\n\r\nb.flv: " + missing +
                                                      ": No such file or "
                                                      "directory"}));
    EXPECT_TRUE(visibleAtMessage) << "the message must come before the window closes";
    EXPECT_TRUE(pauseFocused) << "Space pauses while it runs";
    EXPECT_TRUE(endedButtonsOff) << "nothing to pause or cancel once it has ended";
    EXPECT_EQ(window.prgtotal->value(), 100);
    EXPECT_EQ(OutputFiles(), QStringList({"a.flv", "c.flv"}));
    EXPECT_NEAR(DurationSeconds(output + "c.flv"), 5.0, 0.2);

    const QString log = Log();
    for (const char* line :
         {"    Enter TConvertingfrm\r\n", "  File open Error: ", "    Convert Start\r\n",
          "    Convert completed\r\n", "    Leave TConvertingfrm\r\n"})
        EXPECT_TRUE(log.contains(QLatin1String(line))) << line;
    EXPECT_LT(log.indexOf("Convert Start"), log.indexOf("Convert completed"));
}

TEST_F(ConvertingWindowTest, CheckedClipsConvertWithOrWithoutTheirItem) {
    for (const bool parentChecked : {true, false}) {
        SCOPED_TRACE(parentChecked ? "parent checked" : "parent unchecked");
        list.Clear();
        for (const QString& file : OutputFiles())
            QFile::remove(output + file);
        QFile::remove(home.filePath("src/a.mp4"));
        TJobRow* item = AddCopy(testmedia::kH264Aac, "a.mp4");
        AddClip(item, 1000000, 2000000);
        list.SetChecked(item, parentChecked);
        const QString clipOutput = item->Children.front()->Item.OutputOptions.FileName;

        TConvertingfrm window(nullptr, list, shutdown, openFolder);
        Run(window);
        EXPECT_EQ(prompts.Calls.last(), kAllConverted);
        EXPECT_EQ(QFileInfo::exists(output + "a.flv"), parentChecked);
        ASSERT_TRUE(QFileInfo::exists(clipOutput));
        EXPECT_NEAR(DurationSeconds(clipOutput), 2.0, 0.2);
        EXPECT_EQ(OutputFiles().size(), parentChecked ? 2 : 1);
    }
}

TEST_F(ConvertingWindowTest, NoToAllSkipsExistingFilesAndConvertsNewOnes) {
    AddCopy(testmedia::kH264Aac, "a.mp4");
    AddCopy(testmedia::kVideoOnly, "b.mp4");
    AddCopy(testmedia::kH264Aac, "c.mp4");
    for (const char* existing : {"a.flv", "c.flv"}) {
        WriteOutput(existing, "keep me");
    }
    TScriptedQuestion question(TReplaceAnswer::NoToAll);
    TConvertingfrm window(nullptr, list, shutdown, openFolder);
    window.ReplaceQuestion = &question;
    Run(window);

    EXPECT_EQ(question.Asked, QStringList({"a.flv"}));
    EXPECT_EQ(QFileInfo(output + "a.flv").size(), 7);
    EXPECT_EQ(QFileInfo(output + "c.flv").size(), 7);
    EXPECT_NEAR(DurationSeconds(output + "b.flv"), 5.0, 0.2);
    EXPECT_EQ(prompts.Calls.last(), kAllConverted);
}

TEST_F(ConvertingWindowTest, CancelAtTheOverwriteQuestionStillConvertsWhatWasAdded) {
    AddCopy(testmedia::kH264Aac, "a.mp4");
    AddCopy(testmedia::kH264Aac, "b.mp4");
    AddCopy(testmedia::kH264Aac, "c.mp4");
    WriteOutput("b.flv");
    TScriptedQuestion question(TReplaceAnswer::Cancel);
    TConvertingfrm window(nullptr, list, shutdown, openFolder);
    window.ReplaceQuestion = &question;
    Run(window);

    EXPECT_EQ(question.Asked, QStringList({"b.flv"}));
    EXPECT_EQ(OutputFiles(), QStringList({"a.flv", "b.flv"}));
    EXPECT_EQ(QFileInfo(output + "b.flv").size(), 0);
    EXPECT_NEAR(DurationSeconds(output + "a.flv"), 5.0, 0.2);
    EXPECT_EQ(window.lblperent->text(), "[ 1 / 1 ]");
}

TEST_F(ConvertingWindowTest, NothingToConvertClosesTheWindow) {
    // Every item skipped by the user: the window just closes.
    AddCopy(testmedia::kH264Aac, "a.mp4");
    WriteOutput("a.flv");
    TScriptedQuestion question(TReplaceAnswer::No);
    {
        TConvertingfrm window(nullptr, list, shutdown, openFolder);
        window.ReplaceQuestion = &question;
        EXPECT_EQ(Run(window), QDialog::Rejected);
        EXPECT_EQ(window.lblperent->text(), "[ 0 / 0 ]");
    }
    EXPECT_TRUE(prompts.Calls.isEmpty());

    // Items tried and all failed: the user is told.
    QFile::remove(output + "a.flv");
    QFile::remove(home.filePath("src/a.mp4"));
    TConvertingfrm window(nullptr, list, shutdown, openFolder);
    EXPECT_EQ(Run(window), QDialog::Rejected);
    EXPECT_EQ(window.lblperent->text(), "[ 0 / 1 ]");
    EXPECT_EQ(prompts.Calls,
              QStringList({"Beep", kSomeFailed + "\r\n\r\na.flv: " + home.filePath("src/a.mp4") +
                                       ": No such file or directory"}));
}

TEST_F(ConvertingWindowTest, CancelAsksAndStopsEvenWhilePaused) {
    TJobRow* row = AddCopy(testmedia::kH264Aac, "a.mp4");
    row->Item.InputOptions.ExtOptions = QStringLiteral("re=1"); // 5 s at the source's pace
    TConvertingfrm window(nullptr, list, shutdown, openFolder);
    const TProgressEvent windowProgress = window.Encoder().OnProgress;
    int reports = 0;
    bool resumedAfterDecline = false;
    window.Encoder().OnProgress = [&](QObject* sender, TProgressInfo* info) {
        windowProgress(sender, info);
        if (++reports != 1)
            return;
        QTimer::singleShot(0, &window, [&] {
            // Declined: the run goes on.
            prompts.ConfirmAnswer = false;
            window.btnCancel->click();
            resumedAfterDecline = !window.Encoder().Paused();
            // Paused, then confirmed.
            window.btnOK->click();
            EXPECT_EQ(window.btnOK->text(), "Resume");
            prompts.ConfirmAnswer = true;
            window.btnCancel->click();
        });
    };
    EXPECT_EQ(Run(window), QDialog::Rejected);
    EXPECT_TRUE(resumedAfterDecline);
    EXPECT_EQ(prompts.Calls, QStringList({"Beep", "Confirm: Whether to quit conversion?", "Beep",
                                          "Confirm: Whether to quit conversion?"}));

    // Nothing reaches the window afterwards.
    const QString counter = window.lblperent->text();
    const int file = window.prgFile->value();
    EXPECT_FALSE(QTest::qWaitFor(
        [&] {
            return window.lblperent->text() != counter || window.prgFile->value() != file ||
                   prompts.Calls.size() != 4;
        },
        300));
    const QString log = Log();
    EXPECT_TRUE(log.contains("    Exit Convert\r\n"));
    EXPECT_FALSE(log.contains("Convert completed"));
}

TEST_F(ConvertingWindowTest, CancelledCountdownStillShowsTheCompletionMessage) {
    AddCopy(testmedia::kVideoOnly, "a.mp4");
    TConvertingfrm window(nullptr, list, shutdown, openFolder);
    window.ChkOpenFolder->setChecked(true);
    window.ChkShutdown->setChecked(true);
    EXPECT_FALSE(window.ChkOpenFolder->isChecked()); // the two exclude each other
    QString countdownText;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (auto* countdown = qobject_cast<TShutDownFrm*>(QApplication::activeModalWidget())) {
            countdownText = countdown->lblShow->text();
            countdown->btnCancel->click();
        }
    });
    watcher.start(5);
    Run(window);
    EXPECT_EQ(countdownText, "Your computer will shut down after 30 seconds.");
    EXPECT_EQ(prompts.Calls, QStringList({"Beep", "Beep", kAllConverted}));
    EXPECT_EQ(shutdown.Requests, 0);
    EXPECT_EQ(foldersOpened, 0);
}

TEST_F(ConvertingWindowTest, OpenFolderWhenCompletedRunsBrowseBeforeTheMessage) {
    AddCopy(testmedia::kVideoOnly, "a.mp4");
    TConvertingfrm window(nullptr, list, shutdown, openFolder);
    window.ChkShutdown->setChecked(true);
    window.ChkOpenFolder->setChecked(true);
    EXPECT_FALSE(window.ChkShutdown->isChecked());
    int openedAtMessage = -1;
    prompts.OnCall = [&](const QString& call) {
        if (call.startsWith("Information"))
            openedAtMessage = foldersOpened;
    };
    Run(window);
    EXPECT_EQ(openedAtMessage, 1);
}

// The window's tasks name no "threads": the engine gives them its automatic threads (all the
// cores, one task running at a time).
TEST_F(ConvertingWindowTest, ConversionsRunWithAutomaticThreads) {
    AddCopy(testmedia::kH264Aac, "a.mp4");
    std::mutex lock; // both outlive the logger
    QStringList lines;
    TFFLogger logger;
    logger.SetLogLevel(llVerbose);
    logger.SetTriggerEventInMainThread(false);
    logger.OnLog = [&](QObject*, quint32, TLogLevel, const QString& text) {
        std::lock_guard guard(lock);
        lines << text;
    };
    TConvertingfrm window(nullptr, list, shutdown, openFolder);
    Run(window);
    std::lock_guard guard(lock);
    EXPECT_TRUE(
        lines.contains(QStringLiteral("Threads of input stream #0.0 (Video): %1 (automatic)")
                           .arg(TCustomFFmpeg::MachineThreads())))
        << lines.filter("Threads").join('\n').toStdString();
}

TEST_F(ConvertingWindowTest, PreviewShowsTheFramesFittedAndCanBeSwitchedOff) {
    AddCopy(testmedia::kH264Aac, "a.mp4");
    TConvertingfrm window(nullptr, list, shutdown, openFolder);
    Run(window);
    EXPECT_FALSE(window.imgperview->Picture().isNull());
    EXPECT_EQ(window.imgperview->Target(), QRect(79, 0, 304, 228));

    window.chkperview->setChecked(false);
    EXPECT_TRUE(window.imgperview->Picture().isNull());
    EXPECT_FALSE(window.Encoder().PreviewBitmap());
}

TEST_F(ConvertingWindowTest, TextWatermarkIsWrittenIntoTheFrames) {
    const QString black = home.filePath("src/black.mp4");
    ASSERT_EQ(RunProgram("ffmpeg", {"-v", "error", "-f", "lavfi", "-i",
                                    "color=black:s=320x240:r=25:d=2", "-pix_fmt", "yuv420p", black})
                  .ExitCode,
              0);
    ASSERT_TRUE(list.AddSourceFile(black, decoder, output));
    TFileOption& item = list.TopLevel(0)->Item;
    item.WaterMarkType = wmText;
    item.WaterMark.WaterMarkKind = wmText;
    item.WaterMark.WaterMarkText = QStringLiteral("MM");
    QFont font;
    font.setPixelSize(40);
    font.setBold(true);
    item.WaterMark.TextFont = TTextFont{font, Qt::white};
    item.WaterMark.OutputRect = QRect(160, 120, 150, 60);

    TConvertingfrm window(nullptr, list, shutdown, openFolder);
    Run(window);
    const QImage frame = FFmpegFrameAt(output + "black.flv", 1.0);
    ASSERT_EQ(frame.size(), QSize(320, 240));
    int inside = 0;
    int outside = 0;
    for (int y = 0; y < frame.height(); ++y) {
        for (int x = 0; x < frame.width(); ++x) {
            if (qGray(frame.pixel(x, y)) < 128)
                continue;
            (QRect(158, 118, 154, 64).contains(x, y) ? inside : outside)++;
        }
    }
    EXPECT_GT(inside, 300);
    EXPECT_LT(outside, 20);
}

TEST(ConvertingView, PreviewRectangleKeepsTheAspectAndCentres) {
    const struct {
        QSize picture;
        QRect expected;
    } cases[] = {
        {{320, 240}, {79, 0, 304, 228}},  // relatively taller than the area: full height
        {{1280, 720}, {28, 0, 405, 228}}, // 16:9 is still taller than 461:228
        {{922, 456}, {0, 0, 461, 228}},   // the same shape: full width and height
        {{100, 20}, {0, 68, 461, 92}},    // small and wide: enlarged to the full width
        {{0, 0}, {0, 0, 461, 228}},       // no picture: the whole area
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FitPreviewRect(c.picture, QSize(461, 228)), c.expected)
            << c.picture.width() << "x" << c.picture.height();
    }
}

TEST(ConvertingView, TextWatermarkDrawsOnlyItsTextWithoutABox) {
    QImage frame(200, 100, QImage::Format_RGB888);
    frame.fill(Qt::black);
    TWaterMark mark;
    mark.WaterMarkText = QStringLiteral("I");
    QFont font;
    font.setPixelSize(30);
    mark.TextFont = TTextFont{font, QColor(255, 0, 0)};
    mark.OutputRect = QRect(50, 20, 100, 40);
    DrawTextWaterMark(frame, mark);
    int red = 0;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 200; ++x) {
            const QColor colour = frame.pixelColor(x, y);
            if (colour.red() > 128) {
                ++red;
                EXPECT_TRUE(x >= 50 && y >= 20) << x << "," << y;
            }
        }
    }
    EXPECT_GT(red, 20);
    EXPECT_LT(red, 600); // a letter, not a filled box
}

TEST(ShutDownWindow, CountsDownAndAsksAtZero) {
    TRecordingShutdown shutdown;
    TShutDownFrm countdown(nullptr, shutdown);
    EXPECT_EQ(countdown.windowTitle(), "Information");
    EXPECT_EQ(countdown.btnOK->text(), "Shut Down Now");
    countdown.tmr1->setInterval(2);
    QStringList seen;
    int requestsAtZero = -1;
    QObject::connect(countdown.tmr1, &QTimer::timeout, [&] {
        seen << countdown.lblShow->text().section(' ', 6, 6);
        if (seen.size() == 30) {
            requestsAtZero = shutdown.Requests;
            // Asking again by hand asks again; the window stays open.
            countdown.btnOK->click();
            countdown.btnOK->click();
            QTimer::singleShot(20, &countdown, [&] { countdown.btnCancel->click(); });
        }
    });
    QStringList atOpening;
    QTimer::singleShot(0, &countdown, [&] { atOpening << countdown.lblShow->text(); });
    EXPECT_EQ(countdown.exec(), QDialog::Rejected);
    EXPECT_EQ(atOpening, QStringList({"Your computer will shut down after 30 seconds."}));
    ASSERT_EQ(seen.size(), 30);
    EXPECT_EQ(seen.first(), "29");
    EXPECT_EQ(seen.last(), "0");
    EXPECT_EQ(requestsAtZero, 1);
    EXPECT_EQ(shutdown.Requests, 3);
    EXPECT_FALSE(countdown.tmr1->isActive());
}

TEST_F(ConvertingWindowTest, CancelBeforeTheStartConvertsNothing) {
    AddCopy(testmedia::kH264Aac, "a.mp4");
    TConvertingfrm window(nullptr, list, shutdown, openFolder);
    EXPECT_FALSE(window.btnOK->isEnabled()); // nothing to pause yet
    QTimer::singleShot(0, &window, [&] { window.btnCancel->click(); });
    EXPECT_EQ(Run(window), QDialog::Rejected);
    EXPECT_FALSE(window.tmrConvert->isActive()) << "the batch will not be built any more";
    EXPECT_EQ(window.Encoder().TaskCount(), 0);
    EXPECT_TRUE(OutputFiles().isEmpty());
    EXPECT_EQ(prompts.Calls, QStringList({"Beep", "Confirm: Whether to quit conversion?"}));
}

// Cancel keeps what the batch finished and throws away only the file it was writing.
TEST_F(ConvertingWindowTest, CancelRemovesOnlyTheUnfinishedOutput) {
    AddCopy(testmedia::kH264Aac, "a.mp4");
    TJobRow* paced = AddCopy(testmedia::kH264Aac, "b.mp4");
    paced->Item.InputOptions.ExtOptions = QStringLiteral("re=1"); // 5 s at the source's pace
    TConvertingfrm window(nullptr, list, shutdown, openFolder);
    const auto cancelled = WhileTheSecondTaskRuns(window, [&] {
        prompts.ConfirmAnswer = true;
        window.btnCancel->click();
    });
    EXPECT_EQ(Run(window), QDialog::Rejected);
    EXPECT_TRUE(*cancelled);
    EXPECT_EQ(QDir(output).entryList(QDir::Files | QDir::Hidden | QDir::System),
              QStringList{"a.flv"});
    EXPECT_NEAR(DurationSeconds(output + "a.flv"), 5.0, 0.1);
}

// The session's end (what SIGTERM runs) while a task converts: the tasks stop without the
// question, the unfinished output goes, the finished one stays; and while the completion
// message is open: it closes, and the window leaves with Pause and Cancel disabled.
TEST_F(ConvertingWindowTest, TheSessionEndStopsTheRunAndClosesItsMessages) {
    // Every event loop has been told to end: the next test's must run again.
    const auto runEventLoopsAgain = [] {
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
    };
    AddCopy(testmedia::kH264Aac, "a.mp4");
    TJobRow* paced = AddCopy(testmedia::kH264Aac, "b.mp4");
    paced->Item.InputOptions.ExtOptions = QStringLiteral("re=1"); // 5 s at the source's pace
    {
        TConvertingfrm window(nullptr, list, shutdown, openFolder);
        const auto ended = WhileTheSecondTaskRuns(window, [] { EndSession(nullptr); });
        EXPECT_EQ(Run(window), QDialog::Rejected);
        EXPECT_TRUE(*ended);
        EXPECT_FALSE(prompts.Calls.join(' ').contains("Confirm")) << "nothing is asked";
        EXPECT_EQ(QDir(output).entryList(QDir::Files | QDir::Hidden | QDir::System),
                  QStringList{"a.flv"});
        EXPECT_TRUE(Log().contains("    Exit Convert\r\n"));
    }
    runEventLoopsAgain();

    QDir(output).removeRecursively();
    QDir().mkpath(output);
    paced->Item.InputOptions.ExtOptions.clear();
    prompts.Calls.clear();
    TConvertingfrm window(nullptr, list, shutdown, openFolder);
    bool buttonsOffAtTheMessage = false;
    bool messageClosed = false;
    prompts.OnCall = [&](const QString& call) {
        if (!call.startsWith("Information"))
            return;
        buttonsOffAtTheMessage = !window.btnOK->isEnabled() && !window.btnCancel->isEnabled();
        // A real message box, as the desktop's prompts show it; the session's end closes it.
        QMessageBox box(QMessageBox::Information, "Information", call, QMessageBox::Ok, &window);
        QTimer::singleShot(0, &box, [] { EndSession(nullptr); });
        QTimer::singleShot(10000, &box, [&box] { box.done(-2); }); // only if it failed
        messageClosed = box.exec() != -2;
    };
    EXPECT_EQ(Run(window), QDialog::Accepted);
    EXPECT_TRUE(buttonsOffAtTheMessage);
    EXPECT_TRUE(messageClosed);
    EXPECT_EQ(OutputFiles(), (QStringList{"a.flv", "b.flv"}));
    runEventLoopsAgain();
}

// The window by keyboard alone, and what a screen reader finds in it.
TEST_F(ConvertingWindowTest, PauseResumeAndCancelByKeyboard) {
    TJobRow* row = AddCopy(testmedia::kH264Aac, "a.mp4");
    row->Item.InputOptions.ExtOptions = QStringLiteral("re=1"); // 5 s at the source's pace
    TConvertingfrm window(nullptr, list, shutdown, openFolder);
    QList<QWidget*> visited;
    QStringList unnamed;
    bool pausedBySpace = false, resumedBySpace = false;
    AtFirstReport(window, {}, [&] {
        QTimer::singleShot(0, &window, [&] {
            window.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
            // Tab from Pause round to Pause again.
            window.btnOK->setFocus(Qt::TabFocusReason);
            for (int i = 0;
                 i < 12 && (visited.isEmpty() || QApplication::focusWidget() != visited[0]); ++i) {
                visited << QApplication::focusWidget();
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            }
            QAccessibleInterface* root = QAccessible::queryAccessibleInterface(&window);
            const std::function<void(QAccessibleInterface*)> walk =
                [&](QAccessibleInterface* node) {
                    const QAccessible::Role role = node->role();
                    if ((role == QAccessible::PushButton || role == QAccessible::CheckBox ||
                         role == QAccessible::ProgressBar) &&
                        node->text(QAccessible::Name).trimmed().isEmpty())
                        unnamed << node->object()->objectName();
                    for (int i = 0; i < node->childCount(); ++i)
                        walk(node->child(i));
                };
            walk(root);
            window.btnOK->setFocus();
            QTest::keyClick(window.btnOK, Qt::Key_Space);
            pausedBySpace = window.Encoder().Paused() && window.btnOK->text() == "Resume";
            QTest::keyClick(window.btnOK, Qt::Key_Space);
            resumedBySpace = !window.Encoder().Paused() && window.btnOK->text() == "Pause";
            prompts.ConfirmAnswer = true;
            QTest::keyClick(&window, Qt::Key_Escape);
        });
    });
    EXPECT_EQ(Run(window), QDialog::Rejected);
    const QList<QWidget*> expected = {window.btnOK, window.btnCancel, window.chkperview,
                                      window.ChkOpenFolder, window.ChkShutdown};
    EXPECT_EQ(visited, expected);
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(' ').toStdString();
    EXPECT_EQ(QAccessible::queryAccessibleInterface(window.prgtotal)->text(QAccessible::Name),
              "Total progress");
    EXPECT_TRUE(pausedBySpace);
    EXPECT_TRUE(resumedBySpace);
    EXPECT_TRUE(prompts.Calls.contains("Confirm: Whether to quit conversion?"));
    EXPECT_TRUE(Log().contains("    Exit Convert\r\n"));
}
