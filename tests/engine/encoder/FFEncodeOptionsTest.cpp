#include "engine/encoder/FFEncodeOptions.h"

#include "common/QtPrinting.h"
#include "engine/FFmpegException.h"
#include "engine/transcoder/FFmpeg.h"

#include <gtest/gtest.h>

TEST(OptionRecords, InputDefaults) {
    TInputOptions input;
    input.FileName = QStringLiteral("x.mp4");
    input.StartTime = 0;
    input.ProgramId = 3;
    InitInputOptions(input);
    EXPECT_TRUE(input.FileName.isEmpty());
    EXPECT_TRUE(input.FileFormat.isEmpty());
    EXPECT_EQ(input.StartTime, INT64_MIN);
    EXPECT_EQ(input.ProgramId, -1);
    EXPECT_TRUE(input.ExtOptions.isEmpty());
}

TEST(OptionRecords, OutputDefaults) {
    TOutputOptions output;
    output.AudioVolume = 256;
    output.Info.Title = QStringLiteral("t");
    output.Join = true;
    output.Overwrite = true;
    InitOutputOptions(output);

    const struct {
        const char* Field;
        int64_t Actual;
        int64_t Expected;
    } numbers[] = {
        {"PacketSize", output.PacketSize, -1},
        {"MuxRate", output.MuxRate, -1},
        {"AudioVolume", output.AudioVolume, -1},
        {"AudioChannels", output.AudioChannels, -1},
        {"AudioSampleRate", output.AudioSampleRate, -1},
        {"AudioBitrate", output.AudioBitrate, -1},
        {"AudioBitrateTolerance", output.AudioBitrateTolerance, -1},
        {"AudioSync", output.AudioSync, 0},
        {"GopSize", output.GopSize, -1},
        {"VideoBitrate", output.VideoBitrate, -1},
        {"VideoMaxRate", output.VideoMaxRate, -1},
        {"VideoMinRate", output.VideoMinRate, -1},
        {"VideoBitrateTolerance", output.VideoBitrateTolerance, -1},
        {"VideoBufSize", output.VideoBufSize, -1},
        {"VideoSync", output.VideoSync, -1},
        {"StartTime", output.StartTime, INT64_MIN},
        {"Duration", output.Duration, INT64_MIN},
        {"Target", output.Target, 0},
        {"TargetNorm", output.TargetNorm, 0},
        {"TargetFallbackNorm", output.TargetFallbackNorm, 1},
        {"HookBitsPixel", output.HookBitsPixel, 24},
        {"Info.Year", output.Info.Year, -1},
        {"Info.Track", output.Info.Track, -1},
    };
    for (const auto& n : numbers)
        EXPECT_EQ(n.Actual, n.Expected) << n.Field;

    EXPECT_FLOAT_EQ(output.MuxDelay, -1.0f);
    EXPECT_FLOAT_EQ(output.MuxPreload, -1.0f);
    EXPECT_DOUBLE_EQ(output.Info.Timestamp, -1.0);

    for (bool flag :
         {output.DisableAudio, output.DisableVideo, output.DisableSubtitle, output.InputSync,
          output.CopyTimestamps, output.AudioHook, output.VideoInputHook, output.VideoOutputHook,
          output.FrameInputHook, output.FrameOutputHook, output.Join, output.Overwrite})
        EXPECT_FALSE(flag);

    for (const QString& text :
         {output.FileName,         output.FileExt,       output.FileFormat,
          output.AudioCodec,       output.AudioLanguage, output.AudioTag,
          output.VideoCodec,       output.FrameRate,     output.FrameSize,
          output.FrameAspectRatio, output.VideoTag,      output.VideoFilters,
          output.VideoLanguage,    output.SubtitleCodec, output.SubtitleLanguage,
          output.DataCodec,        output.PresetFile,    output.ExtOptions,
          output.Info.Title,       output.Info.Author,   output.Info.Copyright,
          output.Info.Comment,     output.Info.Album,    output.Info.Genre})
        EXPECT_TRUE(text.isEmpty());

    EXPECT_EQ(output, TOutputOptions{});
}

TEST(OptionRecords, RecordsCopyAndCompareByValue) {
    TOutputOptions a;
    a.VideoFilters = QStringLiteral("scale=320:240");
    TOutputOptions b = a;
    EXPECT_EQ(a, b);
    b.Info.Album = QStringLiteral("x");
    EXPECT_NE(a, b);
    EXPECT_TRUE(a.Info.Album.isEmpty());
}

TEST(ExtraOptionText, SplitsIntoLowerCaseNamesAndRawValues) {
    const struct {
        const char* Text;
        TOptionPairs Expected;
    } cases[] = {
        {"", {}},
        {"  VCodec=libx264<CRLF>g=12  ", {{"vcodec", "libx264"}, {"g", "12"}}},
        {"a=1\r\nb=2\rc=3\nd", {{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", ""}}},
        {"metadata=title=a=b<CRLF><CRLF>=orphan", {{"metadata", "title=a=b"}}},
        {" Name = value ", {{"name", " value"}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseExtraOptions(QString::fromUtf8(c.Text)), c.Expected) << c.Text;
}

// The record reaches the job as the options its fields stand for.
TEST(OutputRecordTranslation, FieldsBecomeTheirOptions) {
    TFFmpeg job;
    TOutputOptions options;
    options.FileFormat = QStringLiteral("flv");
    options.VideoCodec = QStringLiteral("flv");
    options.AudioCodec = QStringLiteral("libmp3lame");
    options.FrameSize = QStringLiteral("320x240");
    options.FrameRate = QStringLiteral("25");
    options.AudioChannels = 2;
    options.AudioSampleRate = 22050;
    options.AudioVolume = 128;
    options.VideoSync = 0;
    options.Duration = 2000000;
    options.Info.Title = QStringLiteral("Title");
    options.Info.Year = 2026;
    options.ExtOptions = QStringLiteral("g=12<CRLF>vcodec=mpeg4<CRLF>newvideo");
    const TStreamValues values = ApplyOutputOptions(job, options);

    const TPendingSettings& pending = job.Pending();
    EXPECT_EQ(pending.FormatName, "flv");
    EXPECT_EQ(pending.Kind(TStreamKind::Video).CodecName, "flv"); // the record wins
    EXPECT_EQ(pending.Kind(TStreamKind::Audio).CodecName, "libmp3lame");
    EXPECT_EQ(pending.FrameWidth, 320);
    EXPECT_EQ(pending.FrameHeight, 240);
    EXPECT_EQ(av_cmp_q(pending.FrameRate, AVRational{25, 1}), 0);
    EXPECT_EQ(pending.AudioChannels, 2);
    EXPECT_EQ(pending.AudioSampleRate, 22050);
    EXPECT_TRUE(pending.OutputMetadata.contains({"title", "Title"}));
    EXPECT_TRUE(pending.OutputMetadata.contains({"year", "2026"}));
    EXPECT_EQ(job.Settings().AudioVolume, 128);
    EXPECT_EQ(job.Settings().VideoSync, 0);
    EXPECT_EQ(job.Settings().RecordingTime, 2000000);
    EXPECT_EQ(values.NewStreams, QStringList{"newvideo"});
    EXPECT_EQ(values.Extra, (TOptionPairs{{"vcodec", "mpeg4"}}));
}

// Streams the extra text adds each take the first per-stream value not yet taken, else the
// output's own default.
TEST(OutputRecordTranslation, AddedStreamsTakeTheFirstUnusedValues) {
    TStreamValues values;
    values.Defaults = {{"vcodec", "flv"}, {"s", "320x240"}};
    values.Extra = {{"vcodec", "mpeg4"}, {"vcodec", "libx264"}, {"s", "160x120"}};
    EXPECT_EQ(values.Take("vcodec"), "mpeg4");
    EXPECT_EQ(values.Take("vcodec"), "libx264");
    EXPECT_EQ(values.Take("vcodec"), "flv");
    EXPECT_EQ(values.Take("s"), "160x120");
    EXPECT_EQ(values.Take("s"), "320x240");
    EXPECT_EQ(values.Take("vf"), "");
}

TEST(OutputRecordTranslation, ABadValueRaisesTheOptionsText) {
    TFFmpeg job;
    TOutputOptions options;
    options.ExtOptions = QStringLiteral("vcodec=no_such_codec_here<CRLF>r=abc");
    EXPECT_THROW(ApplyOutputOptions(job, options), FFmpegException);
}
