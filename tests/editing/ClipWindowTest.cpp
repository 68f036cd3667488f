// The clip window with the real player on the test media (SDL's dummy sound driver plays in
// real time); prompts answered by the test.

#include "editing/U_Clip.h"

#include "controls/MrvTrackbar.h"
#include "controls/MyMaskEdit.h"
#include "core/AppSettings.h"
#include "core/MrvLog.h"
#include "core/U_ConvertingBatch.h"
#include "core/U_TreelistModel.h"
#include "engine/encoder/FFEncode.h"
#include "engine/widgets/TPlayerDisplay.h"
#include "shell/uLoadUI.h"

#include "PlayerWindowFixture.h"

#include "common/FakePrompts.h"
#include "common/Process.h"
#include "common/TestMedia.h"
#include "common/TestPictures.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

namespace {

class NoQuestion : public IReplaceQuestion {
public:
    TReplaceAnswer AskReplace(const QString&) override { return TReplaceAnswer::No; }
};

class ClipWindowTest : public PlayerWindowFixture<TClipfrm> {
protected:
    // Opens the window for `owner` with its clips, as the main window does, and waits for the
    // source to play.
    void Open(TJobRow* owner) {
        list.LoadClipList(owner);
        window = std::make_unique<TClipfrm>(player, list, owner);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_TRUE(player.Opened()) << prompts.Calls.join("; ").toStdString();
    }
    TMrvTrackbar* Bar() { return window->TrckVideo; }
    QTreeWidget* Rows() { return window->lvCutVideo; }
    QString Cell(int row, int column) { return Rows()->topLevelItem(row)->text(column); }
    // Seconds as seek-bar units.
    int64_t Units(double seconds) { return window->UnitsOf(std::llround(seconds * 1e6)); }
    void SelectRow(int row) {
        const QRect cell = Rows()->visualItemRect(Rows()->topLevelItem(row));
        QTest::mouseClick(Rows()->viewport(), Qt::LeftButton, {}, QPoint(20, cell.center().y()));
    }
    // Puts a whole time into the in-place editor in one change, as pasting does (typed key by
    // key, every keystroke is checked on its own).
    void Type(const QString& time) {
        window->ItemEdit->setFocus();
        QGuiApplication::clipboard()->setText(time);
        window->ItemEdit->selectAll();
        window->ItemEdit->paste();
    }
    void PauseAt(double seconds) {
        window->btnPauseClick();
        Bar()->SetPosition(Units(seconds));
    }
};

} // namespace

TEST_F(ClipWindowTest, TheFirstClipSpansTheWholeSourceAndTheBarCountsFrames) {
    Open(Add(testmedia::kOneMinute));
    EXPECT_EQ(window->windowTitle(), "Clip Video");
    EXPECT_EQ(window->TitleLabel()->text(), "Clip");
    EXPECT_EQ(window->UnitsPerSecond(), 30);
    EXPECT_NEAR(double(window->Frames()), 1800.0, 2.0);
    EXPECT_EQ(Bar()->Max(), window->Frames());
    EXPECT_TRUE(Bar()->ShowSegment() && Bar()->ShowCut());
    EXPECT_EQ(Bar()->LeftBrushColor(), 0xF0208ADEu);
    ASSERT_EQ(Rows()->topLevelItemCount(), 1);
    EXPECT_EQ(Cell(0, 0), "Part_0");
    EXPECT_EQ(Cell(0, 1), "00:00:00");
    EXPECT_EQ(Cell(0, 2), "00:01:00");
    EXPECT_EQ(window->ClipCounter(), 1);
    EXPECT_TRUE(window->ItemEdit->isVisible()) << "editing the start";
    EXPECT_TRUE(window->Playing());
    EXPECT_TRUE(window->btndelete->isEnabled());
    EXPECT_TRUE(QTest::qWaitFor([&] { return Bar()->Position() > 10; }, 5000)) << "it plays";
    QFile log(folder + "Log/log1.txt");
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    EXPECT_TRUE(text.contains("Enter TClipfrm"));
    EXPECT_TRUE(text.contains(QString("FFrames: %1 ").arg(window->Frames())));
}

TEST_F(ClipWindowTest, MarksKeepAtLeastOneSecondApart) {
    Open(Add(testmedia::kOneMinute));
    PauseAt(10.0);
    window->btnmarkinClick();
    EXPECT_EQ(Bar()->SegStartPos(), Units(10.0));
    Bar()->SetPosition(Units(10.5));
    window->btnmarkoutClick();
    EXPECT_EQ(Bar()->SegEndPos(), Units(10.0) + 30 + 1) << "start + one second + one unit";
    EXPECT_EQ(window->ClipOf(0).EndTime, window->TimeOf(Units(10.0) + 31));
    EXPECT_EQ(Cell(0, 2), "00:00:11");
    EXPECT_TRUE(window->Modified());

    window->btnStopClick(); // the marks over the whole source again
    Bar()->SetPosition(Units(20.0));
    window->btnmarkoutClick();
    Bar()->SetPosition(Units(19.8));
    window->btnmarkinClick();
    EXPECT_EQ(Bar()->SegStartPos(), Units(20.0) - 30 - 1) << "end − one second − one unit";
}

TEST_F(ClipWindowTest, TypedTimesAreCheckedAtOnce) {
    Open(Add(testmedia::kOneMinute));
    PauseAt(0);
    // The editor is on the start of Part_0 (0 … 60 s).
    Type("00:00:20");
    EXPECT_EQ(window->ClipOf(0).StartTime, 20000000);
    EXPECT_EQ(Cell(0, 1), "00:00:20");
    EXPECT_EQ(Cell(0, 3), "00:00:40");
    window->EditRow(0, 1);
    Type("00:00:05"); // an end before the start
    EXPECT_EQ(window->ClipOf(0).EndTime, 21000000) << "start + one second";
    EXPECT_EQ(window->ItemEdit->displayText(), "00:00:21");
    Type("09:00:00"); // beyond the source
    EXPECT_NEAR(double(window->ClipOf(0).EndTime), 60000000.0, 100000.0) << "the source's end";
    // A start that would lie before the source's start is its start.
    window->EditRow(0, 0);
    Type("00:00:00");
    window->EditRow(0, 1);
    Type("00:00:00");
    EXPECT_EQ(window->ClipOf(0).EndTime, 1000000);
    window->EditRow(0, 0);
    Type("00:00:30");
    EXPECT_EQ(window->ClipOf(0).StartTime, 0) << "bounded at 0";
    // Leaving the editor shows the clip on the bar.
    window->btnOK->setFocus();
    EXPECT_EQ(Bar()->SegStartPos(), 0);
    EXPECT_EQ(Bar()->SegEndPos(), Units(1.0));
}

TEST_F(ClipWindowTest, PlayingStopsAtTheEndMark) {
    Open(Add(testmedia::kOneMinute));
    PauseAt(1.0);
    window->btnmarkinClick();
    Bar()->SetPosition(Units(2.5));
    window->btnmarkoutClick();
    window->btnPlayClipClick();
    EXPECT_TRUE(window->Playing());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Playing(); }, 6000));
    EXPECT_EQ(Bar()->Position(), Bar()->SegEndPos()) << "the thumb waits at the end mark";
    EXPECT_FALSE(window->btnPlay->isEnabled());
}

TEST_F(ClipWindowTest, NewAndDeletedClipsAndTheCounter) {
    Open(Add(testmedia::kOneMinute));
    PauseAt(5.0);
    window->btnmarkinClick();
    window->btnaddClick();
    ASSERT_EQ(Rows()->topLevelItemCount(), 2);
    EXPECT_EQ(Cell(1, 0), "Part_1");
    EXPECT_EQ(Cell(1, 1), "00:00:05");
    EXPECT_EQ(window->ClipOf(1).FormatIndex, 1);
    while (Rows()->topLevelItemCount() > 0) {
        SelectRow(0);
        window->btndeleteClick();
    }
    EXPECT_EQ(window->ClipCounter(), 0);
    window->btnaddClick();
    EXPECT_EQ(Cell(0, 0), "Part_0");
}

TEST_F(ClipWindowTest, OkMakesTheClipRowsAndAnEmptyListRemovesThem) {
    TJobRow* owner = Add(testmedia::kOneMinute);
    Open(owner);
    PauseAt(2.0);
    window->btnmarkinClick();
    Bar()->SetPosition(Units(4.0));
    window->btnmarkoutClick();
    window->btnaddClick(); // Part_1: 2 … 4 s
    SelectRow(0);
    window->btndeleteClick();
    window->btnOKClick();
    ASSERT_EQ(owner->Children.size(), 1u);
    EXPECT_FALSE(owner->Checked);
    EXPECT_TRUE(owner->Children[0]->Checked);
    EXPECT_EQ(owner->Children[0]->Item.InputOptions.StartTime, window->TimeOf(Units(2.0)));

    window.reset();
    Open(owner);
    ASSERT_EQ(Rows()->topLevelItemCount(), 1) << "the existing clip";
    EXPECT_EQ(Cell(0, 0), "Part_1");
    EXPECT_EQ(window->ClipCounter(), 2);
    SelectRow(0);
    window->btndeleteClick();
    window->btnOKClick();
    EXPECT_TRUE(owner->Children.empty());
}

TEST_F(ClipWindowTest, CancelAsksAfterAChange) {
    TJobRow* owner = Add(testmedia::kOneMinute);
    Open(owner); // the first clip is a change already
    prompts.YesNoCancelAnswer = TAnswer::Cancel;
    window->btnCancelClick();
    EXPECT_EQ(prompts.Calls, (QStringList{"Beep", "YesNoCancel: Do you want to save changes?"}));
    EXPECT_TRUE(window->isVisible()) << "Cancel keeps the window";
    prompts.YesNoCancelAnswer = TAnswer::No;
    window->btnCancelClick();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(owner->Children.empty()) << "No leaves the job list";

    Open(owner);
    prompts.YesNoCancelAnswer = TAnswer::Yes;
    window->btnCancelClick();
    EXPECT_FALSE(window->isVisible());
    ASSERT_EQ(owner->Children.size(), 1u) << "Yes is OK";
    EXPECT_EQ(owner->Children[0]->Item.DisplayName, "Part_0");
}

TEST_F(ClipWindowTest, WithoutVideoTheBarRunsInMicroseconds) {
    Open(Add(testmedia::kAudioOnly));
    EXPECT_EQ(window->UnitsPerSecond(), 1000000);
    EXPECT_NEAR(double(window->Frames()), 5000000.0, 100000.0);
    PauseAt(1.0);
    window->btnmarkinClick();
    Bar()->SetPosition(Units(1.2));
    window->btnmarkoutClick();
    EXPECT_EQ(Bar()->SegEndPos() - Bar()->SegStartPos(), 1000001);
}

// Two clips made in the window convert to two outputs of 2 s, each starting with the source's
// picture at its start.
TEST_F(ClipWindowTest, ClipsMadeHereConvertToTheirStretches) {
    TJobRow* owner = Add(testmedia::kOneMinute);
    Open(owner);
    SelectRow(0);
    window->btndeleteClick();
    // As a user does: a new clip, then its marks (they change the selected clip).
    for (const auto& [from, to] : {std::pair{2.0, 4.0}, std::pair{6.0, 8.0}}) {
        window->btnaddClick();
        Bar()->SetSegEndPos(Bar()->Max()); // the end mark out of the way
        PauseAt(from);
        window->btnmarkinClick();
        Bar()->SetPosition(Units(to));
        window->btnmarkoutClick();
    }
    window->btnOKClick();
    window.reset();
    ASSERT_EQ(owner->Children.size(), 2u);

    TFFEncoder encoder;
    TConversionBatch batch(encoder, [](bool, const QString&) {});
    NoQuestion question;
    batch.Build(list, question);
    ASSERT_EQ(encoder.TaskCount(), 2) << batch.Failures().join("; ").toStdString();
    bool ended = false;
    encoder.OnTerminate = [&](QObject*, const TTerminateInfo& info) {
        ended = batch.Terminated(info).RunEnded;
    };
    encoder.StartTask(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended; }, 60000));
    const double starts[] = {2.0, 6.0};
    for (int i = 0; i < 2; ++i) {
        const QString output = owner->Children[i]->Item.OutputOptions.FileName;
        const QJsonObject format = FFprobe(output).object()["format"].toObject();
        EXPECT_NEAR(format["duration"].toString().toDouble(), 2.0, 0.15) << output.toStdString();
        EXPECT_LT(
            ThumbnailDifference(FFmpegFrameAt(output, 0.0),
                                FFmpegFrameAt(testmedia::Path(testmedia::kOneMinute), starts[i])),
            12.0)
            << output.toStdString();
    }
}

// The window as a user sees it: a file playing, two clips (REELCASTER_SCREENSHOT_DIR keeps a
// picture).
TEST_F(ClipWindowTest, WhilePlayingTheDisplayShowsTheSource) {
    Open(Add(testmedia::kOneMinute));
    PauseAt(12.0);
    window->btnmarkinClick();
    Bar()->SetPosition(Units(20.0));
    window->btnmarkoutClick();
    window->btnaddClick();
    window->btnPlayClipClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Bar()->Position() > Units(13.0); }, 5000));
    EXPECT_FALSE(window->PanelVideo->Picture().isNull());
    EXPECT_EQ(Rows()->topLevelItemCount(), 2);
    const QByteArray folder = qgetenv("REELCASTER_SCREENSHOT_DIR");
    if (!folder.isEmpty())
        window->grab().save(QString::fromLocal8Bit(folder) + "/clip.png");
}
