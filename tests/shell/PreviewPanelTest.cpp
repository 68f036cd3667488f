// The main window's preview panel with the real player on the test media (SDL's dummy sound
// driver plays in real time).

#include "controls/MrvTrackbar.h"
#include "engine/widgets/TPlayerDisplay.h"
#include "shell/MainWindowFixture.h"

#include "common/Process.h"
#include "common/TestPictures.h"

#include <QDir>
#include <QElapsedTimer>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QToolButton>

namespace {

class PreviewPanelTest : public MainWindowFixture {
protected:
    // Plays the row and waits until the bar has moved.
    void Play(const TJobRow* row) {
        Select({row});
        ASSERT_TRUE(window->btnPlay->isEnabled());
        window->btnPlay->click();
        ASSERT_TRUE(window->IsPlaying) << prompts.Calls.join("; ").toStdString();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return Bar()->Position() > Bar()->Min() + 300000; }, 5000));
    }
    TMrvTrackbar* Bar() { return window->TrckVideo; }
    QPoint TrackPointOf(int64_t value) {
        return QPoint(Bar()->PixelOf(value), Bar()->TrackRect().center().y());
    }
    // Waits until playback has stopped, noting every bar position on the way.
    bool WaitForStop(std::vector<int64_t>* seen, int milliseconds = 15000) {
        return QTest::qWaitFor(
            [&] {
                if (seen != nullptr && (seen->empty() || seen->back() != Bar()->Position()))
                    seen->push_back(Bar()->Position());
                return !window->IsPlaying;
            },
            milliseconds);
    }
    // A copy of a test file under another name, in the test's data folder.
    QString CopyAs(const char* media, const QString& name) {
        const QString path = home.filePath(name);
        QFile::copy(testmedia::Path(media), path);
        return path;
    }
};

} // namespace

TEST_F(PreviewPanelTest, PlayRunsTheBarOverTheWholeFileAndStopsAtTheEnd) {
    const TJobRow* row = AddMedia(testmedia::kH264Aac);
    Play(row);
    EXPECT_EQ(Bar()->Min(), 0);
    EXPECT_NEAR(double(Bar()->Max()), 5000000.0, 100000.0);
    EXPECT_TRUE(window->btnPause->isVisible());
    EXPECT_FALSE(window->btnPlay->isVisible());
    for (QWidget* control :
         {static_cast<QWidget*>(window->btnStop), static_cast<QWidget*>(window->btnSnapshot),
          static_cast<QWidget*>(Bar())})
        EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
    EXPECT_TRUE(Bar()->ShowTick());
    EXPECT_EQ(window->lbllen->text(), " / 00:00:05");

    std::vector<int64_t> seen;
    ASSERT_TRUE(WaitForStop(&seen));
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << "the bar never runs backwards";
    EXPECT_NEAR(double(seen.back()), double(Bar()->Max()), 50000.0) << "its last picture";
    EXPECT_GT(seen.size(), 20u);
    // Ready to play again.
    EXPECT_TRUE(window->btnPlay->isEnabled() && window->btnPlay->isVisible());
    EXPECT_FALSE(window->btnStop->isEnabled());
    EXPECT_EQ(window->lblpos->text(), "00:00:00");

    const QString log = Log();
    EXPECT_TRUE(log.contains("Success to Load File " + testmedia::Path(testmedia::kH264Aac)));
    EXPECT_TRUE(log.contains("StartTime: 0.00000 s TimeLength: 5.0")) << log.toStdString();
}

TEST_F(PreviewPanelTest, AClipPlaysOnlyItsOwnRange) {
    TJobRow* owner = AddMedia(testmedia::kH264Aac);
    AddClip(owner, 2000000, 2000000);
    ASSERT_EQ(owner->Children.size(), 1u);
    const TJobRow* clip = owner->Children[0].get();
    QElapsedTimer clock;
    clock.start();
    Play(clip);
    EXPECT_EQ(Bar()->Min(), 2000000);
    EXPECT_EQ(Bar()->Max(), 4000000);
    EXPECT_EQ(window->lbllen->text(), " / 00:00:02");
    std::vector<int64_t> seen;
    ASSERT_TRUE(WaitForStop(&seen));
    EXPECT_LT(clock.elapsed(), 4000) << "stopped at the clip's end, not the file's";
    EXPECT_GE(seen.front(), 2000000);
    EXPECT_EQ(seen.back(), 4000000);
    EXPECT_TRUE(Log().contains("StartTime: 2.00000 s TimeLength: 2.00000 s"));
}

TEST_F(PreviewPanelTest, AClickOnTheTrackSeeksThere) {
    Play(AddMedia(testmedia::kOneMinute));
    const int64_t target = 40000000;
    QTest::mouseClick(Bar(), Qt::LeftButton, {}, TrackPointOf(target));
    const int64_t clicked = Bar()->Position();
    EXPECT_NEAR(double(clicked), double(target), 300000.0) << "the value under the pointer";
    EXPECT_EQ(window->lblpos->text(), "00:00:40");
    // Playing goes on from there.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Bar()->Position() > clicked + 200000; }, 5000));
    EXPECT_LT(Bar()->Position(), clicked + 1500000);
}

TEST_F(PreviewPanelTest, DraggingTheThumbPausesWhilePlayingAndLeavesAPauseAlone) {
    Play(AddMedia(testmedia::kOneMinute));
    const auto drag = [&](int64_t to) {
        Bar()->repaint();
        const QPoint thumb = Bar()->TickRect().center();
        QTest::mousePress(Bar(), Qt::LeftButton, {}, thumb);
        const int togglePressed = window->PlayToggle;
        QTest::mouseMove(Bar(), TrackPointOf(to));
        QTest::mouseRelease(Bar(), Qt::LeftButton, {}, TrackPointOf(to));
        return togglePressed;
    };
    EXPECT_EQ(drag(20000000), 0) << "paused during the drag";
    EXPECT_EQ(window->PlayToggle, 1) << "playing again after it";
    EXPECT_TRUE(window->btnPause->isVisible());
    EXPECT_NEAR(double(Bar()->Position()), 20000000.0, 300000.0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Bar()->Position() > 20300000; }, 5000));

    window->btnPause->click();
    EXPECT_EQ(window->PlayToggle, 0);
    EXPECT_EQ(drag(30000000), 0);
    EXPECT_EQ(window->PlayToggle, 0) << "a paused player stays paused";
    EXPECT_TRUE(window->btnPlay->isVisible());
    EXPECT_TRUE(window->IsPlaying);
}

TEST_F(PreviewPanelTest, SelectionChangesStopPlaybackAMomentAfterTheLast) {
    const TJobRow* first = AddMedia(testmedia::kOneMinute);
    const TJobRow* second = AddMedia(testmedia::kH264Aac);
    Play(first);
    Select({second});
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return clock.elapsed() >= 1000; }, 2000));
    EXPECT_TRUE(window->IsPlaying);
    Select({first});
    clock.restart();
    ASSERT_TRUE(WaitForStop(nullptr, 5000));
    EXPECT_GE(clock.elapsed(), 1450) << "1.5 s after the second change";
    EXPECT_LT(clock.elapsed(), 2500);
    EXPECT_TRUE(window->btnPlay->isEnabled()) << "the selected row can play";
}

TEST_F(PreviewPanelTest, TheListsMenuStopsPlayback) {
    const TJobRow* row = AddMedia(testmedia::kH264Aac);
    Play(row);
    window->VSTFileContextMenu(QPoint(5, 5));
    EXPECT_FALSE(window->IsPlaying);
    window->PopupMenu->close();
}

TEST_F(PreviewPanelTest, SnapshotsTakeTheFirstFreeNumberAndShowTheFrameOnScreen) {
    const QString folder = home.filePath("shots") + '/';
    QDir().mkpath(folder);
    StoreSetting(TSettingKey::SnapshotPath, folder);
    StoreSetting(TSettingKey::SnapshotExt, "jpg");
    QFile(folder + "movie_1.jpg").open(QIODevice::WriteOnly); // taken already
    const QString movie = CopyAs(testmedia::kH264Aac, "movie.mp4");
    window->AddDroppedFiles({movie});
    Play(List().TopLevel(0));
    window->btnPause->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Log().contains("Success"); }, 1000));

    for (int i = 0; i < 3; ++i)
        window->btnSnapshot->click();
    EXPECT_TRUE(QFile::exists(folder + "movie_0.jpg"));
    EXPECT_EQ(QFileInfo(folder + "movie_1.jpg").size(), 0) << "an existing file is kept";
    EXPECT_TRUE(QFile::exists(folder + "movie_2.jpg"));
    EXPECT_TRUE(QFile::exists(folder + "movie_3.jpg"));
    QImageReader jpeg(folder + "movie_0.jpg");
    EXPECT_EQ(jpeg.format(), "jpeg");
    const QImage saved = jpeg.read();
    const QImage onScreen = window->Player().CurrentPicture().copy();
    EXPECT_EQ(saved.size(), onScreen.size());
    EXPECT_LT(ThumbnailDifference(saved, onScreen), 4.0);

    StoreSetting(TSettingKey::SnapshotExt, "bmp");
    window->btnSnapshot->click();
    QImageReader bitmap(folder + "movie_0.bmp");
    EXPECT_EQ(bitmap.format(), "bmp");
    EXPECT_EQ(bitmap.read().size(), onScreen.size());
    EXPECT_TRUE(prompts.Calls.isEmpty()) << prompts.Calls.join("; ").toStdString();
}

TEST_F(PreviewPanelTest, AMissingSnapshotFolderIsToldAndPlayingGoesOn) {
    StoreSetting(TSettingKey::SnapshotPath, home.filePath("gone") + '/');
    Play(AddMedia(testmedia::kOneMinute));
    window->btnSnapshot->click();
    EXPECT_EQ(prompts.Calls, QStringList{"Error: No such file or directory"});
    EXPECT_TRUE(window->IsPlaying);
    const int64_t at = Bar()->Position();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Bar()->Position() > at + 200000; }, 3000));
}

TEST_F(PreviewPanelTest, AFileThatCannotBeOpenedIsToldAndNothingPlays) {
    const QString copy = CopyAs(testmedia::kH264Aac, "soon gone.mp4");
    window->AddDroppedFiles({copy});
    QFile::remove(copy);
    Select({List().TopLevel(0)});
    window->btnPlay->click();
    EXPECT_FALSE(window->IsPlaying);
    ASSERT_EQ(prompts.Calls.size(), 1);
    EXPECT_EQ(prompts.Calls[0], "Error: " + copy + ": No such file or directory");
    EXPECT_TRUE(Log().contains(copy + ": No such file or directory"));
    EXPECT_TRUE(window->btnPlay->isVisible());
    EXPECT_FALSE(window->btnStop->isEnabled());
}

// The window as a user sees it while a file plays (REELCASTER_SCREENSHOT_DIR keeps a picture).
TEST_F(PreviewPanelTest, WhilePlayingTheDisplayShowsTheFile) {
    AddMedia(testmedia::kMpeg4Mp3Avi);
    AddMedia(testmedia::kSixChannels);
    Play(AddMedia(testmedia::kOneMinute));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Bar()->Position() > 2000000; }, 5000));
    EXPECT_FALSE(window->Perview->Picture().isNull());
    EXPECT_EQ(window->lblFileName->toolTip(), "one_minute.avi");
    const QByteArray folder = qgetenv("REELCASTER_SCREENSHOT_DIR");
    if (!folder.isEmpty())
        window->grab().save(QString::fromLocal8Bit(folder) + "/playing.png");
    window->btnStop->click();
    EXPECT_FALSE(window->IsPlaying);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->Perview->Picture().isNull(); }, 3000))
        << "the backdrop again";
}
