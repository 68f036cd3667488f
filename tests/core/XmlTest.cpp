#include "core/U_FormatsChoice.h"
#include "core/U_XML.h"

#include "core/U_TreelistModel.h"

#include <gtest/gtest.h>

#include <QDomDocument>
#include <QFile>
#include <QTemporaryDir>

namespace {

const QString kShippedFile = QStringLiteral(REELCASTER_FORMAT_FILE);

QString Write(QTemporaryDir& dir, const QByteArray& text) {
    QFile file(dir.filePath("Format.dat"));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return file.fileName();
}

// A new item of a 640x360 source, converting to /out/talk.flv.
void MakeTalkItem(TFileOption& item) {
    item.InputOptions.FileName = "/src/talk.mkv";
    SetItemDefaults(item, "640x360");
    item.OutputOptions.FileName = "/out/talk.flv";
}

} // namespace

TEST(FormatProfiles, TheShippedFileFollowsTheConventions) {
    ASSERT_TRUE(LoadFormatProfiles(kShippedFile));
    const QList<TOOXML>& rows = FormatProfiles();
    ASSERT_EQ(rows.size(), 5) << "the list row and four profiles";
    const TOOXML& lists = rows[0];
    EXPECT_EQ(FillComboFromList(lists.VFormat).value(0), "FLV");
    EXPECT_EQ(VideoCodecOfEntry(FillComboFromList(lists.VEncoder).value(1)), "libx264");
    EXPECT_EQ(FillComboFromList(lists.AChannel), (QStringList{"Mono", "Stereo"}));
    EXPECT_TRUE(FillComboFromList(lists.AEncoder).contains("MP3 Audio"));
    EXPECT_TRUE(FillComboFromList(lists.AEncoder).contains("AAC Audio"));
    for (int row = 1; row <= 4; ++row) {
        TFormatChoice choice;
        QString error;
        EXPECT_TRUE(ProfileChoice(row, choice, &error)) << error.toStdString();
        EXPECT_FALSE(rows[row].Name.isEmpty());
    }
    TFormatChoice h264;
    QString error;
    ASSERT_TRUE(ProfileChoice(4, h264, &error));
    EXPECT_EQ(VideoCodecOfEntry(h264.VideoEncoder), "libx264");
    EXPECT_EQ(h264.Container, "FLV") << "H.264 only goes with container entry 0";
}

TEST(FormatProfiles, ReadingRowsAndBadFiles) {
    QTemporaryDir dir;
    const QString file = Write(dir, R"(<?xml version="1.0"?>
<any><row id="x"><Name>ignored</Name>
  <Video><Encoder>FLV Video</Encoder><FrameRate>original,25 fps</FrameRate><BitRate>512 Kbps</BitRate><Format>FLV</Format></Video>
  <Audio><Encoder>MP3 Audio</Encoder><Channel>Mono,Stereo</Channel><SampleRate>44100 Hz</SampleRate><BitRate>96 Kbps</BitRate></Audio></row>
<other id="1"><Name>First</Name><Video><Encoder>0</Encoder></Video></other></any>)");
    ASSERT_TRUE(LoadFormatProfiles(file));
    const QList<TOOXML>& rows = FormatProfiles();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].Id, "x");
    EXPECT_EQ(rows[0].VFrameRate, "original,25 fps");
    EXPECT_EQ(rows[0].ASampleRate, "") << "only \"SmapleRate\" is read";
    EXPECT_EQ(rows[1].Name, "First");
    EXPECT_EQ(rows[1].VEncoder, "0");
    EXPECT_EQ(rows[1].ABitRate, "") << "missing elements read as empty";

    EXPECT_FALSE(LoadFormatProfiles(dir.filePath("missing.dat")));
    EXPECT_FALSE(LoadFormatProfiles(Write(dir, "<not xml")));
}

TEST(FormatProfiles, SplittingLists) {
    EXPECT_EQ(FillComboFromList("a,,b , c\nd\r\n"), (QStringList{"a", "b ", " c", "d"}));
    EXPECT_TRUE(FillComboFromList("").isEmpty());
}

TEST(FormatProfiles, EntryToValue) {
    const struct {
        QString Entry;
        QString Codec, Rate, Ext, Audio;
        int Channels;
    } cases[] = {
        {"H.264 Video", "libx264", "H.264", ".h.264 video", "aac", 1},
        {"FLV Video", "flv", "FLV", ".flv video", "aac", 1},
        {"Video", "", "", ".video", "aac", 1},
        {"original", "", "", ".original", "aac", 1},
        {"MP3 Audio", "mp3", "MP3", ".mp3 audio", "libmp3lame", 1},
        {"Stereo", "", "", ".stereo", "aac", 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VideoCodecOfEntry(c.Entry), c.Codec) << c.Entry.toStdString();
        EXPECT_EQ(FrameRateOfEntry(c.Entry), c.Rate) << c.Entry.toStdString();
        EXPECT_EQ(FileExtOfEntry(c.Entry), c.Ext) << c.Entry.toStdString();
        EXPECT_EQ(AudioCodecOfEntry(c.Entry), c.Audio) << c.Entry.toStdString();
        EXPECT_EQ(ChannelsOfEntry(c.Entry), c.Channels) << c.Entry.toStdString();
    }
    bool ok = false;
    EXPECT_EQ(BitRateOfEntry("512 Kbps", &ok), 512000);
    EXPECT_TRUE(ok);
    EXPECT_EQ(SampleRateOfEntry("44100 Hz", &ok), 44100);
    EXPECT_TRUE(ok);
    BitRateOfEntry("fast Kbps", &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(AacEncoderName(), "aac");
}

TEST(FormatProfiles, ValueToEntry) {
    const QStringList encoders = {"FLV Video", "H.264 Video", "MPEG4 Video"};
    EXPECT_EQ(VideoCodecEntry(encoders, "libx264"), 1);
    EXPECT_EQ(VideoCodecEntry(encoders, "mpeg4"), 2);
    EXPECT_EQ(VideoCodecEntry(encoders, "vp9"), -1);
    const QStringList rates = {"original", "25 fps", "30 fps"};
    EXPECT_EQ(FrameRateEntry(rates, ""), 0) << "an empty rate finds \"original\"";
    EXPECT_EQ(FrameRateEntry(rates, "30"), 2);
    EXPECT_EQ(BitRateEntry({"256 Kbps", "512 Kbps"}, 512000), 1);
    EXPECT_EQ(AudioCodecEntry({"MP3 Audio", "AAC Audio"}, "libmp3lame"), 0);
    EXPECT_EQ(AudioCodecEntry({"MP3 Audio", "AAC Audio"}, "aac"), 1);
    EXPECT_EQ(ChannelsEntry({"One", "Two"}, 2), 1) << "by position, whatever the text";
    EXPECT_EQ(ChannelsEntry({"One", "Two"}, 6), -1);
    EXPECT_EQ(SampleRateEntry({"22050 Hz", "44100 Hz"}, 44100), 1);
    EXPECT_EQ(FileExtEntry({"FLV", "MP4", "flv"}, ".flv"), 2) << "the last match wins";
}

TEST(FormatProfiles, ApplyingAProfileToAnItem) {
    ASSERT_TRUE(LoadFormatProfiles(kShippedFile));
    TJobList list;
    TJobRow row;
    MakeTalkItem(row.Item);
    TFormatChoice choice;
    QString error;
    ASSERT_TRUE(ProfileChoice(2, choice, &error));
    choice.Width = "640";
    choice.Height = "360";
    choice.Volume = "200";
    ASSERT_TRUE(ApplyFormatChoice(choice, list, row, "/out/", &error)) << error.toStdString();
    const TOutputOptions& output = row.Item.OutputOptions;
    EXPECT_EQ(row.Item.FormatIndex, 2);
    EXPECT_EQ(output.FileExt, ".mp4");
    EXPECT_EQ(output.FileName, "/out/talk.mp4");
    EXPECT_EQ(output.VideoCodec, "mpeg4");
    EXPECT_EQ(output.AudioCodec, "aac");
    EXPECT_EQ(output.AudioVolume, 200);
    EXPECT_EQ(row.Item.OutputFrameSize, "640x360");

    // Profile 1 on a new item (profile 1 already): extension and name stay.
    TJobRow fresh;
    SetItemDefaults(fresh.Item, "320x240");
    fresh.Item.OutputOptions.FileName = "/out/a.flv";
    ASSERT_TRUE(ProfileChoice(1, choice, &error));
    ASSERT_TRUE(ApplyFormatChoice(choice, list, fresh, "/out/", &error));
    EXPECT_EQ(fresh.Item.OutputOptions.FileName, "/out/a.flv");
    EXPECT_EQ(fresh.Item.OutputOptions.FrameRate, "30");
}

TEST(FormatProfiles, ABadNumberEntryLeavesTheItemAsItWas) {
    ASSERT_TRUE(LoadFormatProfiles(kShippedFile));
    TJobList list;
    TJobRow row;
    MakeTalkItem(row.Item);
    const TFileOption before = row.Item;
    TFormatChoice choice;
    QString error;
    ASSERT_TRUE(ProfileChoice(2, choice, &error));
    choice.Width = "320";
    choice.Height = "180";
    choice.Volume = "100";
    for (QString* entry : {&choice.AudioBitRate, &choice.SampleRate, &choice.VideoBitRate}) {
        const QString good = *entry;
        *entry = "many Kbps";
        EXPECT_FALSE(ApplyFormatChoice(choice, list, row, "/out/", &error));
        EXPECT_EQ(error, "'many' is not a valid integer value");
        EXPECT_EQ(row.Item.FormatIndex, before.FormatIndex);
        EXPECT_EQ(row.Item.OutputFrameSize, before.OutputFrameSize);
        EXPECT_EQ(row.Item.OutputOptions.FileName, before.OutputOptions.FileName);
        EXPECT_EQ(row.Item.OutputOptions.VideoCodec, before.OutputOptions.VideoCodec);
        EXPECT_EQ(row.Item.OutputOptions.AudioCodec, before.OutputOptions.AudioCodec);
        EXPECT_EQ(row.Item.OutputOptions.AudioVolume, before.OutputOptions.AudioVolume);
        *entry = good;
    }
    // With audio off its entries are not read: they are not applied either.
    choice.EnableAudio = false;
    choice.AudioBitRate = "many Kbps";
    EXPECT_TRUE(ApplyFormatChoice(choice, list, row, "/out/", &error)) << error.toStdString();
    EXPECT_TRUE(row.Item.OutputOptions.DisableAudio);
    EXPECT_EQ(row.Item.OutputOptions.AudioBitrate, before.OutputOptions.AudioBitrate);
}
