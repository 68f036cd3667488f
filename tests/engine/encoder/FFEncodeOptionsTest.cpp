#include "engine/encoder/FFEncodeOptions.h"

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
          output.FrameInputHook, output.FrameOutputHook, output.Join})
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
