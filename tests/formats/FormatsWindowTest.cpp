// The formats window over the shipped (or a test's own) "Format.dat" in a fresh data folder,
// prompts answered by the test; and what its choices convert to.

#include "formats/U_Formats.h"

#include "core/AppSettings.h"
#include "core/MrvLog.h"
#include "core/U_TreelistModel.h"
#include "engine/FFLoad.h"
#include "engine/probe/FFDecode.h"
#include "shell/AppTheme.h"
#include "shell/uLoadUI.h"

#include "common/Conversion.h"
#include "common/FakePrompts.h"
#include "common/Process.h"
#include "common/TestMedia.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kResolutionMessage = QStringLiteral(
    "Information: Please input an appropriate resolution.\r\n(Values range:80x80-1920x1280)");
const QString kVolumeMessage =
    QStringLiteral("Information: Please input an appropriate Volume.\r\n(Value range:0-256)");

class FormatsWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FFLoader().LoadLibraries(TLibrarySet::All()));
        ASSERT_TRUE(home.isValid());
        qputenv("REELCASTER_HOME", home.path().toUtf8());
        StartActivityLog(folder);
        LoadSettings(folder);
        ASSERT_TRUE(QFile::copy(QStringLiteral(REELCASTER_FORMAT_FILE), folder + "Format.dat"));
    }
    void TearDown() override {
        window.reset();
        ReleaseSettings();
        ReleaseActivityLog();
        qunsetenv("REELCASTER_HOME");
    }

    TJobRow* Add(const char* media = testmedia::kH264Aac) {
        EXPECT_TRUE(list.AddSourceFile(testmedia::Path(media), decoder, folder));
        return list.TopLevel(list.TopLevelCount() - 1);
    }
    void Open(TJobRow* row) {
        window = std::make_unique<TFormatsfrm>(list, *row, folder);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        // The size fields follow each other only while typed into, so the window needs the
        // keyboard (offscreen it gets it; under a bare X server it may not).
        window->activateWindow();
        (void)QTest::qWaitForWindowActive(window.get());
    }
    // A user's pick in a list.
    static void Pick(QComboBox* list, const QString& entry) {
        const int index = list->findText(entry);
        ASSERT_GE(index, 0) << entry.toStdString();
        list->setCurrentIndex(index);
        emit list->activated(index);
    }
    // Typing a whole number into a field that has the focus.
    static void Type(QSpinBox* field, const QString& digits) {
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, digits);
    }
    void Ok() {
        window->btnOKClick();
        if (!window->isVisible())
            window.reset();
    }
    QString Log() {
        QFile file(folder + "Log/log1.txt");
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir home;
    const QString folder = home.path() + "/";
    TFakePrompts prompts;
    TFFDecoder decoder;
    TJobList list;
    std::unique_ptr<TFormatsfrm> window;
};

} // namespace

TEST_F(FormatsWindowTest, OpensOnTheItemsProfileWithTheListsOfRowZero) {
    TJobRow* row = Add();
    Open(row);
    EXPECT_EQ(window->windowTitle(), "Formats");
    EXPECT_EQ(window->TitleLabel()->text(), "Formats");
    ASSERT_EQ(window->cbbFormat->count(), 5);
    EXPECT_EQ(window->cbbFormat->itemText(4), "Custom");
    EXPECT_EQ(window->cbbFormat->currentIndex(), 0) << "FormatIndex 1";
    EXPECT_EQ(window->cbbVideoEncoder->count(), 3);
    EXPECT_EQ(window->cbbVideoEncoder->maxVisibleItems(), 12);
    // Profile 1's entries.
    EXPECT_EQ(window->cbbVideoEncoder->currentText(), "FLV Video");
    EXPECT_EQ(window->cbbFrameRate->currentText(), "30 fps");
    EXPECT_EQ(window->cbbVideoBitRate->currentText(), "512 Kbps");
    EXPECT_EQ(window->cbbExt->currentText(), "FLV");
    EXPECT_EQ(window->cbbAudioEncoder->currentText(), "MP3 Audio");
    EXPECT_EQ(window->cbbChannels->currentText(), "Stereo");
    EXPECT_EQ(window->cbbSampleRate->currentText(), "44100 Hz");
    EXPECT_EQ(window->cbbAudioBitRate->currentText(), "96 Kbps");
    EXPECT_EQ(window->edtWidth->value(), 320);
    EXPECT_EQ(window->edtHeight->value(), 240);
    EXPECT_EQ(window->edtVolume->value(), 256);
    EXPECT_TRUE(window->chkVideo->isChecked());
    EXPECT_TRUE(window->chkAudio->isChecked());
    EXPECT_TRUE(window->cbbExt->isEnabled());
    EXPECT_TRUE(window->btnOK->hasFocus());
    window->reject();
    EXPECT_EQ(row->Item.OutputOptions.VideoCodec, "flv");
    const QString log = Log();
    for (const char* line :
         {"Enter TFormatsfrm", "Load [Format.dat] successful.", "Leave TFormatsfrm"})
        EXPECT_TRUE(log.contains(line)) << line;
}

TEST_F(FormatsWindowTest, TheH264EntryLocksTheFirstContainer) {
    Open(Add());
    window->cbbExt->setCurrentIndex(2);
    Pick(window->cbbFormat, "FLV H.264 high quality");
    EXPECT_EQ(window->cbbVideoEncoder->currentText(), "H.264 Video");
    EXPECT_EQ(window->cbbExt->currentIndex(), 0);
    EXPECT_FALSE(window->cbbExt->isEnabled());
    Pick(window->cbbFormat, "MP4 MPEG-4 for phones and tablets");
    EXPECT_TRUE(window->cbbExt->isEnabled());
    EXPECT_EQ(window->cbbExt->currentText(), "MP4");
    // Any change of a list by the user makes the choice custom.
    Pick(window->cbbAudioBitRate, "192 Kbps");
    EXPECT_EQ(window->cbbFormat->currentText(), "Custom");
    Pick(window->cbbFormat, "MP4 MPEG-4 for phones and tablets");
    window->edtVolume->setFocus();
    window->edtVolume->setValue(100);
    EXPECT_EQ(window->cbbFormat->currentText(), "Custom");
}

TEST_F(FormatsWindowTest, ReopeningACustomItemRestoresItsValues) {
    TJobRow* row = Add();
    TOutputOptions& output = row->Item.OutputOptions;
    row->Item.FormatIndex = 5;
    output.VideoCodec = "libx264";
    output.FrameRate = "";
    output.VideoBitrate = 1500000;
    output.FileExt = ".mkv";
    output.AudioCodec = "aac";
    output.AudioChannels = 1;
    output.AudioSampleRate = 48000;
    output.AudioBitrate = 160000;
    output.AudioVolume = 90;
    Open(row);
    EXPECT_EQ(window->cbbFormat->currentText(), "Custom");
    EXPECT_EQ(window->cbbVideoEncoder->currentText(), "H.264 Video");
    EXPECT_EQ(window->cbbFrameRate->currentText(), "original");
    EXPECT_EQ(window->cbbVideoBitRate->currentText(), "1500 Kbps");
    EXPECT_EQ(window->cbbExt->currentText(), "MKV");
    EXPECT_FALSE(window->cbbExt->isEnabled()) << "libx264 locks the container";
    EXPECT_EQ(window->cbbAudioEncoder->currentText(), "AAC Audio");
    EXPECT_EQ(window->cbbChannels->currentText(), "Mono");
    EXPECT_EQ(window->cbbSampleRate->currentText(), "48000 Hz");
    EXPECT_EQ(window->cbbAudioBitRate->currentText(), "160 Kbps");
    EXPECT_EQ(window->edtVolume->value(), 90);
}

TEST_F(FormatsWindowTest, ProportionalSizesAndTheSizeCheckOnOk) {
    TJobRow* row = Add();
    row->Item.OutputFrameSize = "640x480";
    Open(row);
    Type(window->edtWidth, "1280");
    EXPECT_EQ(window->edtHeight->value(), 960);
    EXPECT_EQ(window->cbbFormat->currentText(), "Custom");
    Type(window->edtHeight, "1281"); // the field takes it …
    EXPECT_EQ(window->edtHeight->value(), 1281);
    EXPECT_EQ(window->edtWidth->value(), 1708); // 1281 × 640 / 480 = 1708
    Ok();                                       // … OK does not
    ASSERT_TRUE(window);
    EXPECT_EQ(prompts.Calls.last(), kResolutionMessage);
    EXPECT_TRUE(window->edtHeight->hasFocus());
    EXPECT_EQ(row->Item.OutputFrameSize, "640x480");
    // Not proportional: the other field stays. A too small width is refused and gets the focus.
    window->chkVideo->setChecked(false);
    Type(window->edtHeight, "400");
    EXPECT_EQ(window->edtWidth->value(), 1708);
    Type(window->edtWidth, "60");
    EXPECT_EQ(window->edtHeight->value(), 400);
    window->btnOK->setFocus();
    Ok();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->edtWidth->hasFocus());
    Type(window->edtWidth, "400");
    Type(window->edtHeight, "300");
    Ok();
    EXPECT_FALSE(window);
    EXPECT_EQ(row->Item.OutputFrameSize, "400x300");
}

TEST_F(FormatsWindowTest, OkOnTheSameProfileKeepsTheNameButWritesTheCodecs) {
    TJobRow* row = Add();
    const QString name = row->Item.OutputOptions.FileName;
    row->Item.OutputOptions.VideoCodec = "mpeg4"; // not what profile 1's entries say
    row->Item.OutputOptions.AudioBitrate = 64000;
    Open(row);
    Ok();
    EXPECT_FALSE(window);
    EXPECT_EQ(row->Item.FormatIndex, 1);
    EXPECT_EQ(row->Item.OutputOptions.FileName, name);
    EXPECT_EQ(row->Item.OutputOptions.FileExt, ".flv");
    EXPECT_EQ(row->Item.OutputOptions.VideoCodec, "flv");
    EXPECT_EQ(row->Item.OutputOptions.AudioBitrate, 96000);

    // Another container: a new name in the output folder.
    Open(row);
    Pick(window->cbbFormat, "AVI MPEG-4 for DVD players");
    Ok();
    EXPECT_EQ(row->Item.FormatIndex, 3);
    EXPECT_EQ(row->Item.OutputOptions.FileExt, ".avi");
    EXPECT_EQ(row->Item.OutputOptions.FileName, folder + "h264_aac.avi");
}

TEST_F(FormatsWindowTest, DisablingAudioKeepsItsValuesForLater) {
    TJobRow* row = Add();
    row->Item.FormatIndex = 5;
    row->Item.OutputOptions.AudioCodec = "aac";
    row->Item.OutputOptions.AudioBitrate = 160000;
    row->Item.OutputOptions.AudioVolume = 128;
    Open(row);
    window->chkAudio->click();
    for (QWidget* control : std::initializer_list<QWidget*>{
             window->cbbAudioEncoder, window->cbbChannels, window->cbbSampleRate,
             window->cbbAudioBitRate, window->edtVolume})
        EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
    Pick(window->cbbAudioBitRate, "64 Kbps"); // changed, but not applied while off
    Ok();
    EXPECT_TRUE(row->Item.OutputOptions.DisableAudio);
    EXPECT_EQ(row->Item.OutputOptions.AudioCodec, "aac");
    EXPECT_EQ(row->Item.OutputOptions.AudioBitrate, 160000);
    EXPECT_EQ(row->Item.OutputOptions.AudioVolume, 128);
    Open(row);
    EXPECT_FALSE(window->chkAudio->isChecked());
    EXPECT_FALSE(window->cbbAudioEncoder->isEnabled());
}

TEST_F(FormatsWindowTest, AVolumeAbove256IsSaidAndNotApplied) {
    TJobRow* row = Add();
    Open(row);
    Type(window->edtVolume, "300");
    window->edtWidth->setFocus(); // leaving the field
    EXPECT_EQ(prompts.Calls.last(), kVolumeMessage);
    EXPECT_TRUE(window->edtVolume->hasFocus());
    prompts.Calls.clear();
    Ok();
    ASSERT_TRUE(window);
    EXPECT_EQ(prompts.Calls.value(0), kVolumeMessage);
    EXPECT_EQ(row->Item.OutputOptions.AudioVolume, 256);
    // An emptied field reads 0.
    window->edtVolume->selectAll();
    QTest::keyClick(window->edtVolume, Qt::Key_Backspace);
    EXPECT_EQ(window->edtVolume->value(), 0);
}

TEST_F(FormatsWindowTest, ABadEntryInTheProfileFileChangesNothingAtAll) {
    QFile file(folder + "Format.dat");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(file.readAll());
    file.close();
    // Profile 1's audio bit rate (position 1) becomes a word.
    text.replace("<BitRate>64 Kbps,96 Kbps,", "<BitRate>64 Kbps,fast Kbps,");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
    file.close();

    TJobRow* row = Add();
    const TFileOption before = row->Item;
    Open(row);
    EXPECT_EQ(window->cbbAudioBitRate->currentText(), "fast Kbps");
    Pick(window->cbbFormat, "MP4 MPEG-4 for phones and tablets");
    Pick(window->cbbAudioBitRate, "fast Kbps");
    Type(window->edtWidth, "640");
    Ok();
    ASSERT_TRUE(window) << "the window stays open";
    EXPECT_EQ(prompts.Calls.last(), "Error: 'fast' is not a valid integer value");
    const TOutputOptions& now = row->Item.OutputOptions;
    const TOutputOptions& was = before.OutputOptions;
    EXPECT_EQ(row->Item.FormatIndex, before.FormatIndex);
    EXPECT_EQ(row->Item.OutputFrameSize, before.OutputFrameSize);
    EXPECT_EQ(now.FileName, was.FileName);
    EXPECT_EQ(now.FileExt, was.FileExt);
    EXPECT_EQ(now.VideoCodec, was.VideoCodec);
    EXPECT_EQ(now.VideoBitrate, was.VideoBitrate);
    EXPECT_EQ(now.AudioCodec, was.AudioCodec);
    EXPECT_EQ(now.AudioBitrate, was.AudioBitrate);
    EXPECT_EQ(now.DisableAudio, was.DisableAudio);
}

TEST_F(FormatsWindowTest, WithoutAProfileFileNothingIsApplied) {
    ASSERT_TRUE(QFile::remove(folder + "Format.dat"));
    TJobRow* row = Add();
    Open(row);
    EXPECT_EQ(window->cbbFormat->count(), 0);
    Ok();
    EXPECT_FALSE(window);
    EXPECT_EQ(row->Item.OutputOptions.VideoCodec, "flv");
    EXPECT_TRUE(Log().contains("Load [Format.dat] failed."));
}

// A new size moves and scales both watermarks of the item; a text's font follows the width.
TEST_F(FormatsWindowTest, ANewSizeMovesAndScalesTheWatermark) {
    TJobRow* row = Add();
    QImage picture(40, 20, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(folder + "mark.png"));
    TWaterMark& mark = row->Item.WaterMark;
    row->Item.WaterMarkType = wmPicture;
    mark.WaterMarkKind = wmPicture;
    mark.PictureFile = folder + "mark.png";
    mark.PictureViewRect = QRect(51, 28, 37, 18);
    mark.OutputRect = QRect(20, 30, 40, 20);
    mark.WaterMarkText = "Hello";
    QFont font;
    font.setPointSize(24);
    mark.TextFont = TTextFont{font, Qt::white};
    mark.TextViewRect = QRect(33, 0, 60, 30);
    Open(row);
    window->chkVideo->setChecked(false);
    Type(window->edtWidth, "640");
    Type(window->edtHeight, "360");
    Ok();
    EXPECT_FALSE(window);
    EXPECT_EQ(row->Item.OutputFrameSize, "640x360");
    // 320x240 shows at 33 … 327 × 0 … 220, 640x360 at 0 … 360 × 9 … 211.
    EXPECT_EQ(mark.PictureViewRect, QRect(22, 35, 45, 16));
    EXPECT_EQ(mark.TextViewRect, QRect(0, 9, 73, 28));
    EXPECT_EQ(mark.OutputRect, QRect(40, 45, 80, 30));
    EXPECT_EQ(mark.TextFont->Font.pointSize(), 48);
    EXPECT_EQ(QImage(mark.ScaledPictureFile).size(), QSize(80, 30));
    const QString log = Log();
    for (const char* line :
         {"ChangePicWaterMark:-------------", "DestRect: 22, 35 , 67, 51",
          "ChangeFontWaterMarkk:-------------", "Size: 48", "ChangeFontWaterMark:-------------",
          "SrcRect: 40, 45 , 120, 75", "SaveWaterMark"})
        EXPECT_TRUE(log.contains(line)) << line;
}

// --- What the choices convert to ---------------------------------------------------------

TEST_F(FormatsWindowTest, EveryChoiceConvertsIntoWhatItSays) {
    const struct {
        const char* Profile;
        const char* Format;
        const char* Video;
        const char* Audio;
    } profiles[] = {
        {"FLV for the web, 512 Kbps", "flv", "flv1", "mp3"},
        {"MP4 MPEG-4 for phones and tablets", "mov,mp4,m4a,3gp,3g2,mj2", "mpeg4", "aac"},
        {"AVI MPEG-4 for DVD players", "avi", "mpeg4", "mp3"},
        {"FLV H.264 high quality", "flv", "h264", "aac"},
    };
    for (const auto& profile : profiles) {
        TJobRow* row = Add();
        Open(row);
        Pick(window->cbbFormat, profile.Profile);
        Ok();
        ASSERT_FALSE(window);
        row->Item.OutputOptions.Duration = 1000000; // a second is enough
    }
    TJobRow* custom = Add();
    Open(custom);
    window->chkVideo->setChecked(false);
    Type(window->edtWidth, "320");
    Type(window->edtHeight, "180");
    Pick(window->cbbFrameRate, "15 fps");
    Pick(window->cbbChannels, "Mono");
    Pick(window->cbbSampleRate, "22050 Hz");
    Ok();
    ASSERT_FALSE(window);
    custom->Item.OutputOptions.Duration = 1000000;

    ASSERT_TRUE(ConvertCheckedItems(list));
    for (int i = 0; i < 4; ++i) {
        const QString output = list.TopLevel(i)->Item.OutputOptions.FileName;
        const QJsonObject probe = FFprobe(output).object();
        EXPECT_EQ(probe["format"].toObject()["format_name"].toString(), profiles[i].Format)
            << output.toStdString();
        QStringList codecs;
        for (const QJsonValue stream : probe["streams"].toArray())
            codecs << stream["codec_name"].toString();
        codecs.sort(); // the containers order their streams each in its own way
        QStringList expected{profiles[i].Video, profiles[i].Audio};
        expected.sort();
        EXPECT_EQ(codecs, expected) << output.toStdString();
    }
    const QJsonObject probe = FFprobe(custom->Item.OutputOptions.FileName).object();
    int streams = 0;
    for (const QJsonValue stream : probe["streams"].toArray()) {
        ++streams;
        if (stream["codec_type"].toString() == "video") {
            EXPECT_EQ(stream["width"].toInt(), 320);
            EXPECT_EQ(stream["height"].toInt(), 180);
            EXPECT_EQ(stream["r_frame_rate"].toString(), "15/1");
        } else {
            EXPECT_EQ(stream["channels"].toInt(), 1);
            EXPECT_EQ(stream["sample_rate"].toString(), "22050");
        }
    }
    EXPECT_EQ(streams, 2);
    // Our own reader agrees.
    ASSERT_TRUE(decoder.LoadFile(custom->Item.OutputOptions.FileName));
    TVideoStreamInfo video;
    TAudioStreamInfo audio;
    ASSERT_TRUE(decoder.GetFirstVideoStreamInfo(video));
    ASSERT_TRUE(decoder.GetAudioStreamInfo(-1, audio));
    EXPECT_EQ(video.Width, 320);
    EXPECT_EQ(video.Height, 180);
    EXPECT_EQ(audio.Channels, 1);
    EXPECT_EQ(audio.SampleRate, 22050);
    decoder.CloseFile();
}

// The window as a user sees it (REELCASTER_SCREENSHOT_DIR keeps a picture).
TEST_F(FormatsWindowTest, AsAUserSeesIt) {
    ApplyAppTheme(*qApp);
    Open(Add());
    Pick(window->cbbFormat, "MP4 MPEG-4 for phones and tablets");
    EXPECT_TRUE(window->gprVideo->isVisible() && window->gprAudio->isVisible());
    const QByteArray screenshots = qgetenv("REELCASTER_SCREENSHOT_DIR");
    if (!screenshots.isEmpty())
        window->grab().save(QString::fromLocal8Bit(screenshots) + "/formats.png");
}
