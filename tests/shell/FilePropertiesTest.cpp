// The file properties window over the main window's job list and probing decoder.

#include "shell/U_FileProperties.h"

#include "engine/encoder/FFEncode.h"
#include "shell/AppTheme.h"

#include "MainWindowFixture.h"

#include <QApplication>
#include <QLabel>

namespace {

class FilePropertiesTest : public MainWindowFixture {
protected:
    // The window's texts for a row, in the order of the design's table.
    QStringList Shown(const TJobRow* row) {
        TFilePropertiesFrm properties(row->Item, window->Encoder().Decoder(), window.get());
        properties.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&properties));
        EXPECT_EQ(properties.windowTitle(), "File Properties");
        EXPECT_EQ(properties.size(), TFilePropertiesFrm::kSize);
        const QByteArray screenshots = qgetenv("REELCASTER_SCREENSHOT_DIR");
        if (!screenshots.isEmpty())
            properties.grab().save(QString::fromLocal8Bit(screenshots) + "/file-properties.png");
        QStringList texts;
        for (const QLabel* label :
             {properties.lblFileName, properties.lblTimeLength, properties.lblResolution,
              properties.lblVideoBitRate, properties.lblFrameRate, properties.lblSampleRate,
              properties.lblChannel, properties.lblAudioBitRate})
            texts << label->text();
        return texts;
    }
};

} // namespace

TEST_F(FilePropertiesTest, ShowsTheFileAndItsStreams) {
    ApplyAppTheme(*qApp); // as the program looks, for the screenshot
    const QStringList kUnknownAudio{"unknown", "unknown", "unknown"};
    EXPECT_EQ(Shown(AddMedia(testmedia::kH264Aac)),
              QStringList({"h264_aac.mp4", "00:00:05", "320x240", "319 kbps", "30.00 fps",
                           "44100 Hz", "Stereo", "95 kbps"}));
    EXPECT_EQ(Shown(AddMedia(testmedia::kVideoOnly)).mid(5), kUnknownAudio);
    // Six channels are "Stereo": the window knows one and more than one.
    const QStringList six = Shown(AddMedia(testmedia::kSixChannels));
    EXPECT_EQ(six[5], "48000 Hz");
    EXPECT_EQ(six[6], "Stereo");
    EXPECT_EQ(Shown(AddMedia(testmedia::kAudioOnly)).mid(3, 2),
              QStringList({"unknown", "unknown"}));
}

TEST_F(FilePropertiesTest, MergeItemsClipsAndMissingFiles) {
    TJobRow* first = AddMedia(testmedia::kH264Aac);
    TJobRow* second = AddMedia(testmedia::kMpeg4Mp3Avi);
    AddClip(first, 1000000, 2000000);
    const QStringList clip = Shown(first->Children.front().get());
    EXPECT_EQ(clip.mid(0, 2), QStringList({"clip", "00:00:02"}));
    EXPECT_EQ(clip[4], "30.00 fps") << "the whole source's streams";

    Select({first, second});
    window->btnMergeClick();
    const TJobRow* merge = List().TopLevel(List().TopLevelCount() - 1);
    ASSERT_TRUE(merge->Item.IsMerge);
    const QStringList merged = Shown(merge);
    EXPECT_EQ(merged[1], "00:00:10") << "the members' durations together";
    EXPECT_EQ(merged.mid(4), QStringList({"30.00 fps", "44100 Hz", "Stereo", "95 kbps"}))
        << "the first member's streams";

    TJobRow* gone = AddMedia(testmedia::kH264Aac);
    gone->Item.InputOptions.FileName = home.filePath("gone.mp4");
    const QStringList missing = Shown(gone);
    EXPECT_EQ(missing[2], "320x240");
    EXPECT_EQ(missing.mid(3), QStringList(5, "unknown"));
}
