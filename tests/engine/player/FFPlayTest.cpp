// The player, playing the test media into a display widget, with SDL's dummy sound driver
// (which takes the sound in real time) and the offscreen platform.

#include "engine/player/FFPlay.h"

#include "engine/FFLoad.h"
#include "engine/FFLog.h"
#include "engine/widgets/TPlayerDisplay.h"

#include "common/Process.h"
#include "common/TestMedia.h"
#include "common/TestPictures.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <mutex>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

struct TStateSeen {
    TPlayState State;
    qint64 At; // ms since the test began
};

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FFLoader().LoadLibraries(TLibrarySet::All()));
        player = std::make_unique<TFFPlayer>();
        ASSERT_TRUE(player->LoadSDL(QString(), TSDLLoader::DefaultFileName()))
            << player->LastError().toStdString();
        clock.start();
        player->OnState = [this](QObject*, TPlayState state) {
            states.push_back({state, clock.elapsed()});
        };
        player->OnPosition = [this](QObject*, int64_t pts) { positions.push_back(pts); };
        display.resize(280, 243);
        display.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&display));
    }
    void TearDown() override { player.reset(); }

    bool Saw(TPlayState state) const {
        return std::any_of(states.begin(), states.end(),
                           [state](const TStateSeen& seen) { return seen.State == state; });
    }
    int Count(TPlayState state) const {
        return static_cast<int>(
            std::count_if(states.begin(), states.end(),
                          [state](const TStateSeen& seen) { return seen.State == state; }));
    }
    bool WaitFor(TPlayState state, int milliseconds = 20000) {
        return QTest::qWaitFor([&] { return Saw(state); }, milliseconds);
    }

    QElapsedTimer clock;
    std::vector<TStateSeen> states;
    std::vector<int64_t> positions;
    TPlayerDisplay display;
    std::unique_ptr<TFFPlayer> player;
};

} // namespace

TEST_F(PlayerTest, OpeningPlaysToTheEndInRealTime) {
    int64_t duration = 0;
    QSize frame;
    player->OnFileOpen = [&](QObject*, int64_t d, int w, int h, int&, int&) {
        duration = d;
        frame = QSize(w, h);
    };
    ASSERT_TRUE(player->Open(testmedia::Path(testmedia::kH264Aac), &display))
        << player->LastError().toStdString();
    EXPECT_NEAR(duration, 5000000, 100000);
    EXPECT_EQ(frame, QSize(320, 240));
    EXPECT_EQ(player->ScreenWidth(), 280) << "the display's size";
    const qint64 opened = clock.elapsed();
    ASSERT_TRUE(WaitFor(psEnd));
    const qint64 took = clock.elapsed() - opened;
    EXPECT_NEAR(took, 5000, 500) << "in about real time";
    ASSERT_GT(positions.size(), 20u);
    EXPECT_LT(positions.front(), 200000);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end())) << [&] {
        std::string text;
        for (int64_t p : positions)
            text += std::to_string(p) + " ";
        return text;
    }();
    EXPECT_NEAR(positions.back(), duration, 100000);
    EXPECT_TRUE(Saw(psPlay));
    EXPECT_FALSE(display.Picture().isNull()) << "the display got pictures";
    const TPlayerStatistics stats = player->Statistics();
    EXPECT_GT(stats.PicturesShown, 100);
    player->Close(true);
    EXPECT_EQ(Count(psStop), 1);
}

TEST_F(PlayerTest, OpeningPausedShowsTheFirstPictureUntilResume) {
    ASSERT_TRUE(player->Open(testmedia::Path(testmedia::kH264Aac), &display, true));
    ASSERT_TRUE(WaitFor(psPause));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !display.Picture().isNull(); }, 5000));
    EXPECT_FALSE(
        QTest::qWaitFor([&] { return !positions.empty() && positions.back() > 100000; }, 700))
        << "no time passes while paused";
    const size_t before = positions.size();
    player->Resume();
    EXPECT_TRUE(QTest::qWaitFor([&] { return positions.size() > before + 10; }, 5000));
    EXPECT_TRUE(WaitFor(psResume));
}

TEST_F(PlayerTest, ASecondOpenClosesTheFirstCompletely) {
    ASSERT_TRUE(player->Open(testmedia::Path(testmedia::kH264Aac), &display));
    ASSERT_TRUE(QTest::qWaitFor([&] { return positions.size() > 5; }, 5000));
    ASSERT_TRUE(player->Open(testmedia::Path(testmedia::kMpeg4Mp3Avi), &display));
    EXPECT_EQ(Count(psStop), 1) << "the first was closed before the second opened";
    EXPECT_EQ(player->FileName(), testmedia::Path(testmedia::kMpeg4Mp3Avi));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Count(psPlay) >= 2; }, 5000));
}

// A waiting seek leaves the picture of the new time on screen: the frame a precise decoder
// gives at that time, not the key picture before it.
TEST_F(PlayerTest, SeekingShowsThePictureAtTheNewTime) {
    const QString file = testmedia::Path(testmedia::kH264Aac);
    ASSERT_TRUE(player->Open(file, &display, true));
    ASSERT_TRUE(WaitFor(psPause));
    player->Seek(0, true, 2500000);
    int64_t pts = -1;
    const QImage picture = player->CurrentPicture(&pts);
    EXPECT_EQ(picture.size(), QSize(320, 240));
    EXPECT_NEAR(pts, 2500000, 40000);
    EXPECT_LT(ThumbnailDifference(picture, FFmpegFrameAt(file, 2.5)), 10.0);
    EXPECT_GT(ThumbnailDifference(picture, FFmpegFrameAt(file, 2.0)), 10.0)
        << "not the key picture before it";

    player->Seek(0, true, -1000000);
    player->CurrentPicture(&pts);
    EXPECT_LT(pts, 40000) << "before the start is the start";
    player->Seek(0, true, 60000000);
    player->CurrentPicture(&pts);
    EXPECT_GT(pts, 4700000) << "beyond the end is the end";
}

TEST_F(PlayerTest, SoundOnlyShowsItsSoundAndTellsItsTime) {
    QSize frame(0, 0);
    player->OnFileOpen = [&](QObject*, int64_t, int w, int h, int&, int&) { frame = QSize(w, h); };
    ASSERT_TRUE(player->Open(testmedia::Path(testmedia::kAudioOnly), &display));
    EXPECT_EQ(frame, QSize(-1, -1));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !positions.empty() && positions.back() > 1500000; }, 5000));
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    // The picture of the sound: more than a black display.
    const QImage sound = display.Picture();
    ASSERT_FALSE(sound.isNull());
    int lit = 0;
    for (int y = 0; y < sound.height(); y += 4)
        for (int x = 0; x < sound.width(); x += 4)
            lit += qGray(sound.pixel(x, y)) > 60;
    EXPECT_GT(lit, 20);
    EXPECT_TRUE(player->CurrentPicture().isNull()) << "no video, no picture";
    player->SetMute(true);
    const int64_t muted = positions.back();
    EXPECT_TRUE(QTest::qWaitFor([&] { return positions.back() > muted + 500000; }, 3000))
        << "a muted player keeps time";
    ASSERT_TRUE(WaitFor(psEnd, 10000));
}

TEST_F(PlayerTest, AStillPictureHasNoTimeAndNoEnd) {
    int64_t duration = -2;
    player->OnFileOpen = [&](QObject*, int64_t d, int, int, int&, int&) { duration = d; };
    ASSERT_TRUE(player->Open(testmedia::Path(testmedia::kStill), &display));
    EXPECT_EQ(duration, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !display.Picture().isNull(); }, 5000));
    EXPECT_FALSE(QTest::qWaitFor([&] { return !positions.empty() || Saw(psEnd); }, 1000));
    EXPECT_EQ(player->CurrentPicture().size(), QSize(320, 240));
}

TEST_F(PlayerTest, CloseWithoutWaitingReturnsAtOnce) {
    ASSERT_TRUE(player->Open(testmedia::Path(testmedia::kH264Aac), &display));
    ASSERT_TRUE(QTest::qWaitFor([&] { return positions.size() > 3; }, 5000));
    QElapsedTimer closing;
    closing.start();
    player->Close(false);
    EXPECT_LT(closing.elapsed(), 100);
    EXPECT_FALSE(player->Opened());
    EXPECT_TRUE(WaitFor(psStop, 5000)) << "psStop comes later";
}

// The video hook sees each picture before it is shown: what it draws is shown, and a hook
// that leaves AUpdate false leaves the picture as decoded.
TEST_F(PlayerTest, TheVideoHookDrawsIntoThePictures) {
    const QString file = testmedia::Path(testmedia::kH264Aac);
    for (const bool update : {true, false}) {
        SCOPED_TRACE(update ? "drawn" : "left");
        player->VideoHook = true;
        std::atomic<int> hooked{0};
        player->OnVideoHook = [&](QObject*, QImage* bitmap, int64_t, bool& change) {
            bitmap->fill(Qt::red);
            change = update;
            ++hooked;
        };
        ASSERT_TRUE(player->Open(file, &display, true));
        ASSERT_TRUE(WaitFor(psPause));
        const QImage picture = player->CurrentPicture();
        EXPECT_GT(hooked.load(), 0);
        const QColor middle = picture.pixelColor(picture.width() / 2, picture.height() / 2);
        if (update) {
            EXPECT_GT(middle.red(), 200);
            EXPECT_LT(middle.green(), 60);
        } else {
            EXPECT_LT(ThumbnailDifference(picture, FFmpegFrameAt(file, 0.0)), 10.0);
        }
        player->Close(true);
        states.clear();
    }
}

TEST_F(PlayerTest, ATurnedClipPlaysUpright) {
    const QString file = testmedia::Path(testmedia::kRotated90);
    QSize frame;
    player->OnFileOpen = [&](QObject*, int64_t, int w, int h, int&, int&) { frame = QSize(w, h); };
    ASSERT_TRUE(player->Open(file, &display, true));
    ASSERT_TRUE(WaitFor(psPause));
    EXPECT_EQ(frame, QSize(360, 640));
    const QImage picture = player->CurrentPicture();
    EXPECT_EQ(picture.size(), QSize(360, 640));
    EXPECT_LT(ThumbnailDifference(picture, FFmpegFrameAt(file, 0.0)), 12.0);
    const QRect area = display.PictureArea();
    EXPECT_LT(area.width(), area.height()) << "a portrait picture in the display";
}

// Over 20 s of a flash and a beep every second, each picture is shown within 40 ms of the
// sound's clock.
TEST_F(PlayerTest, PicturesKeepTimeWithTheSound) {
    ASSERT_TRUE(player->Open(testmedia::Path(testmedia::kFlashBeep), &display));
    ASSERT_TRUE(WaitFor(psEnd, 40000));
    const TPlayerStatistics stats = player->Statistics();
    EXPECT_GT(stats.PicturesShown, 400);
    EXPECT_LT(std::fabs(stats.MaxSyncDifference), 40.0) << stats.MaxSyncDifference;
    RecordProperty("MaxSyncDifferenceMs", std::to_string(stats.MaxSyncDifference));
    EXPECT_EQ(stats.PicturesDropped, 0);
}

// Files that cannot be played fail Open with their reason; a damaged one plays what it can.
TEST_F(PlayerTest, BrokenFilesFailOrPlayWhatTheyCan) {
    for (const char* broken : {testmedia::kTruncated, testmedia::kEmpty, testmedia::kRandomBytes}) {
        SCOPED_TRACE(broken);
        const QString file = testmedia::Path(broken);
        EXPECT_FALSE(player->Open(file, &display));
        EXPECT_TRUE(player->LastError().startsWith(file + ": "))
            << player->LastError().toStdString();
        EXPECT_FALSE(player->Opened());
    }
    const QString missing = QStringLiteral("/nonexistent/file.mp4");
    EXPECT_FALSE(player->Open(missing, &display));
    EXPECT_EQ(player->LastError(), missing + ": No such file or directory");

    ASSERT_TRUE(player->Open(testmedia::Path(testmedia::kDamagedMiddle), &display));
    ASSERT_TRUE(WaitFor(psEnd, 20000));
    EXPECT_GT(positions.back(), 4500000);
    // Closing in the middle of a seek ends cleanly.
    ASSERT_TRUE(player->Open(testmedia::Path(testmedia::kCutOff), &display));
    player->Seek(0, false, 4000000);
    player->Close(true);
    EXPECT_FALSE(player->Opened());
}

// Without a sound device the pictures play on their own clock to the end; a file of sound
// alone has nothing left to play and says so.
TEST_F(PlayerTest, WithoutASoundDeviceThePicturesStillPlay) {
    player->AudioDriver = QStringLiteral("no-such-driver");
    ASSERT_TRUE(player->Open(testmedia::Path(testmedia::kH264Aac), &display))
        << player->LastError().toStdString();
    const qint64 opened = clock.elapsed();
    ASSERT_TRUE(WaitFor(psEnd, 10000));
    EXPECT_NEAR(clock.elapsed() - opened, 5000, 700) << "in about real time";
    EXPECT_GT(player->Statistics().PicturesShown, 100);

    const QString sound = testmedia::Path(testmedia::kAudioOnly);
    EXPECT_FALSE(player->Open(sound, &display));
    EXPECT_TRUE(player->LastError().startsWith(sound + ": ")) << player->LastError().toStdString();
}

// Streams that are not played (here: no sound) do not hold up the end after a seek.
TEST_F(PlayerTest, AfterASeekAFileWithoutSoundReachesItsEnd) {
    ASSERT_TRUE(player->Open(testmedia::Path(testmedia::kVideoOnly), &display));
    ASSERT_TRUE(QTest::qWaitFor([&] { return positions.size() > 3; }, 5000));
    player->Seek(0, true, 4000000);
    ASSERT_TRUE(WaitFor(psEnd, 5000));
    EXPECT_NEAR(positions.back(), 5000000, 100000);
}

namespace {

// Pixels in the lowest third that are white in what the display shows but not in the decoded
// picture: the letters of a text subtitle.
int SubtitlePixels(const TPlayerDisplay& display, const QImage& decoded) {
    const QImage shown = display.Picture().convertToFormat(QImage::Format_RGB32);
    if (shown.isNull() || decoded.isNull())
        return 0;
    const QImage plain = decoded.scaled(shown.size()).convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = shown.height() * 2 / 3; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            count += qGray(shown.pixel(x, y)) > 230 && qGray(plain.pixel(x, y)) < 200;
    return count;
}

} // namespace

// The text subtitle ("Hello" from 0.5 s to 2 s) is drawn over the picture while it is due.
TEST_F(PlayerTest, TextSubtitlesAreShownWhileDue) {
    ASSERT_TRUE(player->Open(testmedia::Path(testmedia::kSeveralStreams), &display));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return !positions.empty() && positions.back() > 700000 && positions.back() < 1800000 &&
                   SubtitlePixels(display, player->CurrentPicture()) > 40;
        },
        5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return positions.back() > 2150000; }, 5000));
    EXPECT_LT(SubtitlePixels(display, player->CurrentPicture()), 10) << "gone after its end";
}
