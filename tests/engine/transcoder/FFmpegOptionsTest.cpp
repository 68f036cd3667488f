#include "engine/FFLoad.h"
#include "engine/FFLog.h"
#include "engine/FFmpegException.h"
#include "engine/transcoder/FFmpeg.h"

#include "common/TestMedia.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <functional>

extern "C" {
#include <libavutil/opt.h>
}

namespace {

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FFLoader().LoadLibraries(TLibrarySet::All()));
        logger = std::make_unique<TFFLogger>();
        logger->SetLogLevel(llDebug);
        logger->OnLog = [this](QObject*, quint32, TLogLevel level, const QString& text) {
            logged << QStringLiteral("%1 %2").arg(level).arg(text);
        };
    }
    void TearDown() override {
        logger.reset();
        FinalizeEngineLog();
    }

    // The exception text of an option, or "" when it was accepted.
    QString Failure(const QString& name, const QString& value) {
        try {
            job.SetOption(name, value);
        } catch (const FFmpegException& error) {
            return error.Message();
        }
        return QString();
    }
    int64_t VideoOption(const char* name) {
        int64_t value = 0;
        av_opt_get_int(job.LibraryOptions().CodecOptions(AVMEDIA_TYPE_VIDEO), name, 0, &value);
        return value;
    }
    int64_t AudioOption(const char* name) {
        int64_t value = 0;
        av_opt_get_int(job.LibraryOptions().CodecOptions(AVMEDIA_TYPE_AUDIO), name, 0, &value);
        return value;
    }
    QString WriteFile(const QString& name, const QByteArray& text) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return file.fileName();
    }

    std::unique_ptr<TFFLogger> logger;
    QStringList logged;
    TCustomFFmpeg job;
    QTemporaryDir dir;
};

} // namespace

TEST_F(OptionsTest, AcceptedValues) {
    using P = const TPendingSettings&;
    using S = const TJobSettings&;
    const std::string matrix = QByteArray("8").append(QByteArray(",16").repeated(63)).toStdString();
    const struct {
        const char* Name;
        const char* Value;
        std::function<bool(P, S)> Holds;
    } cases[] = {
        {"v", "3", [](P, S s) { return s.Verbosity == 3; }},
        {"threads", "4", [](P, S s) { return s.ThreadCount == 4; }},
        {"map", "0:1",
         [](P, S s) {
             return s.StreamMaps.last() == TStreamMap{0, 1, 0, 1};
         }},
        {"map", "1.2:0x3.010",
         [](P, S s) {
             return s.StreamMaps.last() == TStreamMap{1, 2, 3, 8};
         }},
        {"map_chapters", "1:2",
         [](P, S s) {
             return s.ChapterMaps.last() == TChapterMap{1, 2};
         }},
        {"fs", "10000000000", [](P, S s) { return s.FileSizeLimit == 10000000000LL; }},
        {"ss", "00:00:02.5", [](P p, S) { return p.StartTime == 2500000; }},
        {"ss", "7", [](P p, S) { return p.StartTime == 7000000; }},
        {"t", "3", [](P, S s) { return s.RecordingTime == 3000000; }},
        {"itsoffset", "-1", [](P p, S) { return p.InputTimeOffset == -1000000; }},
        {"itsscale", "1:0.5", [](P p, S) { return p.InputTimestampScales.value(1) == 0.5; }},
        {"timestamp", "1970-01-01 00:01:40.6Z", [](P p, S) { return p.RecordingTimestamp == 101; }},
        {"metadata", "title=a=b",
         [](P p, S) { return p.OutputMetadata.last() == QPair<QString, QString>("title", "a=b"); }},
        {"vframes", "10", [](P, S s) { return s.MaxFrames[0] == 10; }},
        {"aframes", "11", [](P, S s) { return s.MaxFrames[1] == 11; }},
        {"dframes", "12", [](P, S s) { return s.MaxFrames[3] == 12; }},
        {"vsync", "2", [](P, S s) { return s.VideoSync == 2; }},
        {"async", "100", [](P, S s) { return s.AudioSync == 100; }},
        {"adrift_threshold", "0.25", [](P, S s) { return s.AudioDriftThreshold == 0.25; }},
        {"copyts", "1", [](P, S s) { return s.CopyTimestamps; }},
        {"shortest", "", [](P, S s) { return s.Shortest; }},
        {"dts_delta_threshold", "3", [](P, S s) { return s.DtsDeltaThreshold == 3.0; }},
        {"programid", "5", [](P p, S) { return p.ProgramId == 5; }},
        {"copyinkf", "1", [](P, S s) { return s.CopyInitialNonKeyFrames == 1; }},
        {"pass", "2", [](P, S s) { return s.Pass == 2; }},
        {"passlogfile", "/tmp/x", [](P, S s) { return s.PassLogFile == "/tmp/x"; }},
        {"vstats_file", "s.log", [](P, S s) { return s.VStatsFile == "s.log"; }},
        {"vstats", "1", [](P, S s) { return s.VStatsFile.contains("/vstats_"); }},
        {"muxdelay", "0.2", [](P p, S) { return qFuzzyCompare(p.MuxMaxDelay, 0.2f); }},
        {"muxpreload", "0.3", [](P p, S) { return qFuzzyCompare(p.MuxPreload, 0.3f); }},
        {"f", "flv", [](P p, S) { return p.FormatName == "flv"; }},
        {"r", "30000/1001",
         [](P p, S) { return p.FrameRate.num == 30000 && p.FrameRate.den == 1001; }},
        {"r", "ntsc", [](P p, S) { return p.FrameRate.num == 30000 && p.FrameRate.den == 1001; }},
        {"s", "640x480", [](P p, S) { return p.FrameWidth == 640 && p.FrameHeight == 480; }},
        {"s", "vga", [](P p, S) { return p.FrameWidth == 640 && p.FrameHeight == 480; }},
        {"aspect", "16:9", [](P p, S) { return qFuzzyCompare(p.FrameAspectRatio, 16.0f / 9); }},
        {"aspect", "1.5", [](P p, S) { return p.FrameAspectRatio == 1.5f; }},
        {"pix_fmt", "yuv420p", [](P p, S) { return p.PixelFormat == AV_PIX_FMT_YUV420P; }},
        {"bits_per_raw_sample", "10", [](P p, S) { return p.BitsPerRawSample == 10; }},
        {"vn", "0", [](P p, S) { return !p.Kind(TStreamKind::Video).Disabled; }},
        {"vn", "no", [](P p, S) { return p.Kind(TStreamKind::Video).Disabled; }},
        {"an", "", [](P p, S) { return p.Kind(TStreamKind::Audio).Disabled; }},
        {"qscale", "255", [](P, S s) { return s.VideoQScale == 255.0f; }},
        {"aq", "2", [](P, S s) { return s.AudioQScale == 2.0f; }},
        {"rc_override", "0,10,5/11,20,-50",
         [](P, S s) {
             return s.RcOverrides == QList<TRcOverride>{{0, 10, 5, 0}, {11, 20, 0, 0.5f}};
         }},
        {"vcodec", "libx264",
         [](P p, S) { return p.Kind(TStreamKind::Video).CodecName == "libx264"; }},
        {"acodec", "copy", [](P p, S) { return p.Kind(TStreamKind::Audio).Copy; }},
        {"vf", "scale=320:240", [](P p, S) { return p.VideoFilters == "scale=320:240"; }},
        {"vfilters", "null", [](P p, S) { return p.VideoFilters == "null"; }},
        {"top", "1", [](P p, S) { return p.TopFieldFirst == 1; }},
        {"dc", "9", [](P, S s) { return s.IntraDcPrecision == 9; }},
        {"vtag", "FLV1", [](P p, S) { return p.Kind(TStreamKind::Video).Tag == 0x31564c46u; }},
        {"atag", "0x55", [](P p, S) { return p.Kind(TStreamKind::Audio).Tag == 0x55u; }},
        {"stag", "12", [](P p, S) { return p.Kind(TStreamKind::Subtitle).Tag == 12u; }},
        {"vlang", "eng", [](P p, S) { return p.Kind(TStreamKind::Video).Language == "eng"; }},
        {"streamid", "1:33", [](P, S s) { return s.StreamIds.value(1) == 33; }},
        {"force_key_frames", "1,2.5", [](P p, S) { return p.ForcedKeyFrames == "1,2.5"; }},
        {"vc", "2", [](P p, S) { return p.VideoChannel == 2; }},
        {"tvstd", "pal", [](P p, S) { return p.TvStandard == "pal"; }},
        {"ar", "22050", [](P p, S) { return p.AudioSampleRate == 22050; }},
        {"ac", "1", [](P p, S) { return p.AudioChannels == 1; }},
        {"vol", "512", [](P, S s) { return s.AudioVolume == 512; }},
        {"alang", "deu", [](P p, S) { return p.Kind(TStreamKind::Audio).Language == "deu"; }},
        {"sample_fmt", "s16", [](P p, S) { return p.SampleFormat == AV_SAMPLE_FMT_S16; }},
        {"scodec", "mov_text",
         [](P p, S) { return p.Kind(TStreamKind::Subtitle).CodecName == "mov_text"; }},
        {"dcodec", "copy", [](P p, S) { return p.Kind(TStreamKind::Data).Copy; }},
        {"absf", "aac_adtstoasc",
         [](P p, S) {
             return p.Kind(TStreamKind::Audio).BitstreamFilters == QStringList{"aac_adtstoasc"};
         }},
        {"vbsf", "h264_mp4toannexb",
         [](P p, S) {
             return p.Kind(TStreamKind::Video).BitstreamFilters == QStringList{"h264_mp4toannexb"};
         }},
        {"sbsf", "=ignored",
         [](P p, S) { return p.Kind(TStreamKind::Subtitle).BitstreamFilters.isEmpty(); }},
        {"intra_matrix", matrix.c_str(),
         [](P, S s) {
             return s.IntraMatrix && (*s.IntraMatrix)[0] == 8 && (*s.IntraMatrix)[63] == 16;
         }},
        {"loop_input", "1", [](P p, S) { return p.LoopInput; }},
        {"loop_output", "3", [](P p, S) { return p.LoopOutput == 3; }},
        {"re", "1", [](P, S s) { return s.RateEmulation; }},
        {"vhook", "watermark.so -f logo.png",
         [](P, S s) { return s.VideoHookModules == QStringList{"watermark.so -f logo.png"}; }},
    };
    for (const auto& c : cases) {
        TCustomFFmpeg fresh;
        try {
            fresh.SetOption(c.Name, c.Value);
        } catch (const FFmpegException& error) {
            ADD_FAILURE() << c.Name << " " << c.Value << ": " << error.what();
            continue;
        }
        EXPECT_TRUE(c.Holds(fresh.Pending(), fresh.Settings())) << c.Name << " " << c.Value;
    }
}

TEST_F(OptionsTest, FailuresKeepTheEarlierValues) {
    // Set something first, so a failure that touched the settings would show.
    job.SetOption("s", "320x240");
    job.SetOption("r", "25");
    job.SetOption("aspect", "4:3");
    job.SetOption("pass", "1");
    const std::string sixtyThree =
        QByteArray("1").append(QByteArray(",1").repeated(62)).toStdString();
    const struct {
        const char* Name;
        std::string Value;
        const char* Text;
    } cases[] = {
        {"pass", "3", "pass number can be only 1 or 2"},
        {"pass", "x", "'x' is not a valid integer value"},
        {"v", "1.5", "'1.5' is not a valid integer value"},
        {"adrift_threshold", "abc", "'abc' is not a valid floating point value"},
        {"r", "fast", "Incorrect frame rate"},
        {"s", "big", "Incorrect frame size"},
        {"aspect", "4:0", "Incorrect aspect ratio specification."},
        {"aspect", "0", "Incorrect aspect ratio specification."},
        {"pix_fmt", "rgb99", "Unknown pixel format requested: rgb99"},
        {"sample_fmt", "s99", "Invalid sample format \"s99\""},
        {"qscale", "0", "qscale must be > 0.0 and <= 255"},
        {"qscale", "256", "qscale must be > 0.0 and <= 255"},
        {"metadata", "title", "Missing ="},
        {"metadata", "=x", "wrong parameter of metadata"},
        {"map_metadata", "0,x:0", "Invalid metadata type x."},
        {"itsscale", "2000:0.5", "stream index over MAX_STREAMS(1024)"},
        {"ss", "soon", "Invalid duration specification for ss: soon"},
        {"t", "long", "Invalid duration specification for t: long"},
        {"timestamp", "yesterday", "Invalid date specification for timestamp: yesterday"},
        {"force_key_frames", "1,x", "Invalid duration specification for force_key_frames: x"},
        {"vtag", "FLV", "tag parameter must be 4 chars or int value"},
        {"intra_matrix", sixtyThree, ""},
        {"rc_override", "0,10", "error parsing rc_override"},
        {"streamid", "1",
         "Invalid value \"1\" for option \"streamid\", required syntax is \"index:value\""},
        {"streamid", "a:b",
         "Invalid value \"a:b\" for option \"streamid\", required syntax is \"index:value\""},
        {"vbsf", "nosuchfilter=1", "Unknown bitstream filter nosuchfilter"},
        {"croptop", "10", "Removed, use the crop filter instead"},
        {"padcolor", "black", "Removed, use the pad filter instead"},
        {"newvideo", "", "At least one output file must be specified"},
        {"newaudio", "", "At least one output file must be specified"},
        {"loglevel", "loud", "'loud' is not a valid integer value"},
        {"fpre", "/nonexistent.ffpreset", "Preset file \"/nonexistent.ffpreset\" not found"},
        {"target", "vhs", "Unknown target type"},
        {"target", "pal-vhs", "Unknown target type"},
    };
    const TPendingSettings pending = job.Pending();
    const TJobSettings settings = job.Settings();
    for (const auto& c : cases) {
        QString expected = QString::fromLatin1(c.Text);
        if (QLatin1String(c.Name) == QLatin1String("intra_matrix"))
            expected = QStringLiteral("Syntax error in matrix \"%1\" at coeff 63")
                           .arg(QString::fromStdString(c.Value));
        EXPECT_EQ(Failure(c.Name, QString::fromStdString(c.Value)), expected) << c.Name;
        EXPECT_TRUE(job.Pending() == pending) << c.Name << " changed the pending settings";
        EXPECT_TRUE(job.Settings() == settings) << c.Name << " changed the job settings";
    }
}

TEST_F(OptionsTest, SampleRateAndChannelsOnlyWhenPositive) {
    job.SetOption("ar", "44100");
    job.SetOption("ac", "2");
    job.SetOption("ar", "0");
    job.SetOption("ac", "-1");
    EXPECT_EQ(job.Pending().AudioSampleRate, 44100);
    EXPECT_EQ(job.Pending().AudioChannels, 2);
    job.SetSampleRate(-5);
    job.SetChannels(0);
    EXPECT_EQ(job.Pending().AudioSampleRate, 44100);
    EXPECT_EQ(job.Pending().AudioChannels, 2);
}

TEST_F(OptionsTest, DirectSettersIgnoreTheirNoValueMarkers) {
    job.SetStartTime(2000000);
    job.SetStartTime(INT64_MIN);
    job.SetRecordingTime(INT64_MIN);
    job.SetProgramId(-1);
    job.SetVolume(-1);
    job.SetMuxDelay(0);
    job.SetMuxPreload(-1);
    EXPECT_EQ(job.Pending().StartTime, 2000000);
    EXPECT_EQ(job.Settings().RecordingTime, INT64_MAX);
    EXPECT_EQ(job.ExpectedTotalDuration(), -1);
    EXPECT_EQ(job.Pending().ProgramId, 0);
    EXPECT_EQ(job.Settings().AudioVolume, 256);
    EXPECT_FLOAT_EQ(job.Pending().MuxMaxDelay, 0.7f);
    EXPECT_FLOAT_EQ(job.Pending().MuxPreload, 0.5f);

    job.SetRecordingTime(0); // 0 is a real value
    EXPECT_EQ(job.Settings().RecordingTime, 0);
    job.SetVolume(256);
    EXPECT_EQ(job.Settings().AudioVolume, 256);
    try {
        job.SetCodec("xcodec", "h264");
        FAIL();
    } catch (const FFmpegException& error) {
        EXPECT_EQ(error.Message(), "Invalid parameter \"xcodec\"");
    }
}

TEST_F(OptionsTest, FixedTextsAreLogged) {
    job.SetOption("y", "");
    job.SetOption("timelimit", "10");
    job.SetOption("map_meta_data", "0:0");
    EXPECT_TRUE(logged.contains(QStringLiteral("%1 Do nothing: option - y").arg(llInfo)));
    EXPECT_TRUE(logged.contains(
        QStringLiteral("%1 Warning: -timelimit not implemented on Windows").arg(llWarning)));
    EXPECT_TRUE(logged.contains(QStringLiteral("%1 -map_meta_data is deprecated and will be "
                                               "removed soon. Use -map_metadata instead.")
                                    .arg(llWarning)));
    EXPECT_EQ(job.Settings().MetadataMaps.size(), 1);
    EXPECT_FALSE(job.Settings().CopyGlobalMetadata) << "a global map turns the automatic copy off";
    job.SetOption("map_metadata", "0,s1:0,c2");
    EXPECT_EQ(job.Settings().MetadataMaps.last(), (TMetadataMap{{0, 's', 1}, {0, 'c', 2}}));
    EXPECT_FALSE(job.Settings().CopyStreamMetadata);
    EXPECT_FALSE(job.Settings().CopyChapters);
}

TEST_F(OptionsTest, LogLevelOption) {
    job.SetOption("loglevel", "Debug");
    EXPECT_EQ(GetLogger()->LogLevel(), llDebug);
    job.SetOption("loglevel", "20");
    EXPECT_EQ(GetLogger()->LogLevel(), llError);
}

TEST_F(OptionsTest, BitRatesGoThroughTheLibraryAndWarnWhenTooLow) {
    job.SetOption("b", "500");
    EXPECT_EQ(VideoOption("b"), 500);
    EXPECT_TRUE(logged.filter("The bitrate parameter is set too low").size() == 1);
    job.SetOption("ab", "96000");
    job.SetOption("vb", "512000");
    EXPECT_EQ(VideoOption("b"), 512000);
    EXPECT_EQ(AudioOption("b"), 96000) << "the video rate must not reach the audio set";
    job.SetBitrate("b", 800000);
    EXPECT_EQ(AudioOption("b"), 96000);
    EXPECT_EQ(logged.filter("The bitrate parameter is set too low").size(), 1);
}

TEST_F(OptionsTest, LibraryFallback) {
    const struct {
        const char* Name;
        const char* Value;
        const char* Failure;
    } cases[] = {
        {"g", "50", ""},                // generic codec option
        {"preset", "slow", ""},         // libx264's own
        {"crf", "23", ""},              // libx264's own
        {"movflags", "+faststart", ""}, // the mov muxer's own
        {"packetsize", "2048", ""},     // generic container option
        {"acutoff", "15000", ""},       // "cutoff" of the audio set
        {"sws_flags", "bilinear", ""},  // scaler
        {"nosuchoption", "1", "Unrecognized option \"nosuchoption\""},
        {"g", "many", "Invalid value \"many\" for option \"g\""},
        {"sws_flags", "nonsense", "Error setting option \"sws_flags\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Failure(c.Name, c.Value).toStdString(), std::string(c.Failure)) << c.Name;
    EXPECT_EQ(VideoOption("g"), 50);
    EXPECT_EQ(AudioOption("cutoff"), 15000);
    EXPECT_EQ(job.LibraryOptions().ScalerFlags(), SWS_BILINEAR);

    QStringList remembered;
    for (const auto& pair : job.LibraryOptions().Pairs())
        remembered << pair.Name + "=" + pair.Value + (pair.Private ? " private" : "");
    EXPECT_EQ(remembered, (QStringList{"g=50", "preset=slow private", "crf=23 private",
                                       "movflags=+faststart private", "packetsize=2048",
                                       "cutoff=15000", "sws_flags=bilinear"}));
    EXPECT_EQ(Failure("  ", "1"), QString()) << "a blank name is refused without a text";
    EXPECT_EQ(job.LibraryOptions().Pairs().size(), 7);

    job.FatalOnBadOption = false;
    EXPECT_EQ(Failure("nosuchoption", "1"), QString());
    EXPECT_EQ(job.LibraryOptions().Pairs().size(), 7);
}

TEST_F(OptionsTest, DebugSettingsRaiseTheLogLevel) {
    logger->SetLogLevel(llInfo);
    job.SetOption("fdebug", "ts");
    EXPECT_EQ(logger->LogLevel(), llDebug);
}

TEST_F(OptionsTest, AppliedPairsReachNewContexts) {
    job.SetOption("g", "75");
    job.SetOption("preset", "veryslow");
    job.SetOption("ab", "64000");
    // libx264's own "profile" is a name; the generic option of that name is a number.
    EXPECT_EQ(Failure("profile", "high"), QString());
    const AVCodec* x264 = avcodec_find_encoder_by_name("libx264");
    ASSERT_NE(x264, nullptr);
    ffmpeg::CodecContextPtr video(avcodec_alloc_context3(x264));
    job.LibraryOptions().ApplyTo(video.get(), true);
    EXPECT_EQ(video->gop_size, 75);
    EXPECT_NE(video->bit_rate, 64000) << "the audio bit rate stays with audio";
    uint8_t* preset = nullptr;
    ASSERT_GE(av_opt_get(video->priv_data, "preset", 0, &preset), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(preset), "veryslow");
    av_free(preset);
    uint8_t* profile = nullptr;
    ASSERT_GE(av_opt_get(video->priv_data, "profile", 0, &profile), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(profile), "high");
    av_free(profile);

    ffmpeg::CodecContextPtr audio(avcodec_alloc_context3(avcodec_find_encoder_by_name("aac")));
    job.LibraryOptions().ApplyTo(audio.get(), true);
    EXPECT_EQ(audio->bit_rate, 64000);
    EXPECT_NE(audio->gop_size, 75);
}

TEST(PendingSettings, EachEventResetsItsOwnPart) {
    enum Event { InputOpen, OutputOpen, VideoStream, AudioStream };
    struct Case {
        const char* Name;
        std::function<void(TPendingSettings&)> Set;
        std::function<bool(const TPendingSettings&)> IsSet;
        std::array<bool, 4> ResetBy; // InputOpen, OutputOpen, VideoStream, AudioStream
    };
    const Case cases[] = {
        {"format",
         [](auto& p) { p.FormatName = "flv"; },
         [](auto& p) { return !p.FormatName.isEmpty(); },
         {true, true, false, false}},
        {"frame rate",
         [](auto& p) {
             p.FrameRate = {25, 1};
         },
         [](auto& p) { return p.FrameRate.num == 25; },
         {true, true, false, false}},
        {"frame size",
         [](auto& p) { p.FrameWidth = 320; },
         [](auto& p) { return p.FrameWidth == 320; },
         {true, true, false, false}},
        {"sample rate",
         [](auto& p) { p.AudioSampleRate = 44100; },
         [](auto& p) { return p.AudioSampleRate != 0; },
         {true, true, false, false}},
        {"channels",
         [](auto& p) { p.AudioChannels = 2; },
         [](auto& p) { return p.AudioChannels != 0; },
         {true, true, false, false}},
        {"pixel format",
         [](auto& p) { p.PixelFormat = AV_PIX_FMT_YUV420P; },
         [](auto& p) { return p.PixelFormat != AV_PIX_FMT_NONE; },
         {true, false, true, false}},
        {"aspect",
         [](auto& p) { p.FrameAspectRatio = 1.5f; },
         [](auto& p) { return p.FrameAspectRatio != 0; },
         {false, false, true, false}},
        {"filters",
         [](auto& p) { p.VideoFilters = "null"; },
         [](auto& p) { return !p.VideoFilters.isEmpty(); },
         {false, false, true, false}},
        {"key frames",
         [](auto& p) { p.ForcedKeyFrames = "1"; },
         [](auto& p) { return !p.ForcedKeyFrames.isEmpty(); },
         {false, true, true, false}},
        {"video codec",
         [](auto& p) { p.Kind(TStreamKind::Video).CodecName = "flv"; },
         [](auto& p) { return !p.Kind(TStreamKind::Video).CodecName.isEmpty(); },
         {true, false, true, false}},
        {"audio codec",
         [](auto& p) { p.Kind(TStreamKind::Audio).CodecName = "mp3"; },
         [](auto& p) { return !p.Kind(TStreamKind::Audio).CodecName.isEmpty(); },
         {true, false, false, true}},
        {"video copy",
         [](auto& p) { p.Kind(TStreamKind::Video).Copy = true; },
         [](auto& p) { return p.Kind(TStreamKind::Video).Copy; },
         {false, false, true, false}},
        {"audio disabled",
         [](auto& p) { p.Kind(TStreamKind::Audio).Disabled = true; },
         [](auto& p) { return p.Kind(TStreamKind::Audio).Disabled; },
         {false, true, false, true}},
        {"audio language",
         [](auto& p) { p.Kind(TStreamKind::Audio).Language = "eng"; },
         [](auto& p) { return !p.Kind(TStreamKind::Audio).Language.isEmpty(); },
         {false, false, false, true}},
        {"video filters chain",
         [](auto& p) { p.Kind(TStreamKind::Video).BitstreamFilters = {"x"}; },
         [](auto& p) { return !p.Kind(TStreamKind::Video).BitstreamFilters.isEmpty(); },
         {false, false, true, false}},
        {"video tag",
         [](auto& p) { p.Kind(TStreamKind::Video).Tag = 7; },
         [](auto& p) { return p.Kind(TStreamKind::Video).Tag == 7; },
         {false, false, true, false}},
        {"start time",
         [](auto& p) { p.StartTime = 5; },
         [](auto& p) { return p.StartTime == 5; },
         {true, false, false, false}},
        {"program",
         [](auto& p) { p.ProgramId = 5; },
         [](auto& p) { return p.ProgramId == 5; },
         {true, false, false, false}},
        {"top field",
         [](auto& p) { p.TopFieldFirst = 1; },
         [](auto& p) { return p.TopFieldFirst == 1; },
         {true, false, false, false}},
        {"timestamp scales",
         [](auto& p) { p.InputTimestampScales[1] = 2; },
         [](auto& p) { return !p.InputTimestampScales.isEmpty(); },
         {true, false, false, false}},
        {"metadata",
         [](auto& p) {
             p.OutputMetadata = {{"a", "b"}};
         },
         [](auto& p) { return !p.OutputMetadata.isEmpty(); },
         {false, true, false, false}},
        {"input offset",
         [](auto& p) { p.InputTimeOffset = 9; },
         [](auto& p) { return p.InputTimeOffset == 9; },
         {true, false, false, false}},
        {"loop input",
         [](auto& p) { p.LoopInput = true; },
         [](auto& p) { return p.LoopInput; },
         {true, false, false, false}},
        {"audio tag",
         [](auto& p) { p.Kind(TStreamKind::Audio).Tag = 7; },
         [](auto& p) { return p.Kind(TStreamKind::Audio).Tag == 7; },
         {false, false, false, true}},
        {"bits per raw sample",
         [](auto& p) { p.BitsPerRawSample = 10; },
         [](auto& p) { return p.BitsPerRawSample == 10; },
         {false, false, true, false}},
        {"loop output",
         [](auto& p) { p.LoopOutput = 0; },
         [](auto& p) { return p.LoopOutput == 0; },
         {false, true, false, false}},
        {"mux preload",
         [](auto& p) { p.MuxPreload = 1; },
         [](auto& p) { return p.MuxPreload == 1; },
         {false, true, false, false}},
        {"sample format",
         [](auto& p) { p.SampleFormat = AV_SAMPLE_FMT_S16; },
         [](auto& p) { return p.SampleFormat == AV_SAMPLE_FMT_S16; },
         {false, false, false, false}},
    };
    const std::function<void(TPendingSettings&)> events[] = {
        [](auto& p) { p.ResetAfterInputOpen(); }, [](auto& p) { p.ResetAfterOutputOpen(); },
        [](auto& p) { p.ResetAfterStream(TStreamKind::Video); },
        [](auto& p) { p.ResetAfterStream(TStreamKind::Audio); }};
    const char* eventNames[] = {"input open", "output open", "video stream", "audio stream"};
    for (const Case& c : cases) {
        for (int e = 0; e < 4; ++e) {
            TPendingSettings pending;
            c.Set(pending);
            ASSERT_TRUE(c.IsSet(pending)) << c.Name;
            events[e](pending);
            EXPECT_EQ(!c.IsSet(pending), c.ResetBy[e]) << c.Name << " after " << eventNames[e];
        }
    }
}

TEST_F(OptionsTest, PresetFiles) {
    const QString good = WriteFile("good.ffpreset", "  # a comment\r\n\r\nVCodec=libx264\n"
                                                    "acodec=aac\r\ng=48\npreset=fast\n   \n");
    job.SetOption("vpre", good);
    EXPECT_EQ(job.Pending().Kind(TStreamKind::Video).CodecName, "libx264");
    EXPECT_EQ(job.Pending().Kind(TStreamKind::Audio).CodecName, "aac");
    EXPECT_EQ(VideoOption("g"), 48);

    const struct {
        QByteArray Text;
        QString Failure; // %1 is the file name
    } cases[] = {
        {"g=1\n=5\n", "%1: Invalid syntax: \"=5\""},
        {"g=\n", "%1: Invalid syntax: \"g=\""},
        {"justaword\n", "%1: Invalid syntax: \"justaword\""},
        {"bogus=1\n", "Unrecognized option \"bogus\"\r\n%1: Invalid option or argument: "
                      "\"bogus=1\", parsed as \"bogus\" = \"1\""},
        {"vcodec=mpeg4\ng=2\ng=lots\n",
         "Invalid value \"lots\" for option \"g\"\r\n%1: Invalid option or argument: "
         "\"g=lots\", parsed as \"g\" = \"lots\""},
    };
    for (int i = 0; i < 5; ++i) {
        const QString file = WriteFile(QStringLiteral("bad%1.ffpreset").arg(i), cases[i].Text);
        EXPECT_EQ(Failure("fpre", file), cases[i].Failure.arg(file)) << cases[i].Text.constData();
    }
    // A file that fails changes nothing, not even by its lines before the bad one.
    EXPECT_EQ(job.Pending().Kind(TStreamKind::Video).CodecName, "libx264");
    EXPECT_EQ(VideoOption("g"), 48);
    job.FatalOnBadOption = false;
    EXPECT_EQ(Failure("apre", WriteFile("lenient.ffpreset", "bogus=1\ng=12\n")), QString());
    EXPECT_EQ(VideoOption("g"), 12);
}

TEST_F(OptionsTest, Targets) {
    const struct {
        std::function<void(TCustomFFmpeg&)> Apply;
        int Width, Height, RateNum, RateDen;
        const char* Format;
        const char* Assumed; // "" when the norm was not guessed
    } cases[] = {
        {[](auto& j) { j.SetOption("target", "pal-dvd"); }, 720, 576, 25, 1, "dvd", ""},
        {[](auto& j) { j.SetOption("target", "ntsc-vcd"); }, 352, 240, 30000, 1001, "vcd", ""},
        {[](auto& j) { j.SetOption("target", "film-svcd"); }, 480, 480, 24000, 1001, "svcd", ""},
        {[](auto& j) {
             j.SetOption("r", "25");
             j.SetOption("target", "dvd");
         },
         720, 576, 25, 1, "dvd", "PAL"},
        {[](auto& j) {
             j.SetOption("r", "29.97");
             j.SetOption("target", "vcd");
         },
         352, 240, 30000, 1001, "vcd", "NTSC"},
        {[](auto& j) { j.SetOption("target", "dvd"); }, 720, 480, 30000, 1001, "dvd", "NTSC"},
        {[](auto& j) { j.SetTarget(3, 0, 1); }, 720, 576, 25, 1, "dvd", "PAL"},
        {[](auto& j) { j.SetTarget(1, 2, 1); }, 352, 240, 30000, 1001, "vcd", ""},
        {[](auto& j) { j.SetOption("target", "pal-dv50"); }, 720, 576, 25, 1, "dv", ""},
    };
    for (const auto& c : cases) {
        TCustomFFmpeg target;
        target.SetOption("v", "2");
        logged.clear();
        c.Apply(target);
        const TPendingSettings& p = target.Pending();
        EXPECT_EQ(p.FrameWidth, c.Width) << c.Format;
        EXPECT_EQ(p.FrameHeight, c.Height) << c.Format;
        EXPECT_EQ(p.FrameRate.num, c.RateNum) << c.Format;
        EXPECT_EQ(p.FrameRate.den, c.RateDen) << c.Format;
        EXPECT_EQ(p.FormatName, c.Format);
        if (*c.Assumed)
            EXPECT_TRUE(logged.contains(
                QStringLiteral("%1 Assuming %2 for target.").arg(llVerbose).arg(c.Assumed)))
                << c.Format << " " << logged.join('|').toStdString();
        else
            EXPECT_TRUE(logged.filter("for target.").isEmpty()) << c.Format;
    }

    TCustomFFmpeg dvd;
    dvd.SetOption("ac", "1");
    dvd.SetOption("target", "pal-dvd");
    EXPECT_EQ(dvd.Pending().Kind(TStreamKind::Video).CodecName, "mpeg2video");
    EXPECT_EQ(dvd.Pending().Kind(TStreamKind::Audio).CodecName, "ac3");
    EXPECT_EQ(dvd.Pending().PixelFormat, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(dvd.Pending().AudioSampleRate, 48000);
    EXPECT_EQ(dvd.Pending().AudioChannels, 2) << "one channel becomes two";
    EXPECT_FLOAT_EQ(dvd.Pending().FrameAspectRatio, 16.0f / 9.0f);
    EXPECT_TRUE(logged.contains(QStringLiteral("%1 Assuming 16:9 for aspect ratio").arg(llInfo)));
    int64_t rate = 0;
    av_opt_get_int(dvd.LibraryOptions().CodecOptions(AVMEDIA_TYPE_VIDEO), "b", 0, &rate);
    EXPECT_EQ(rate, 6000000);
    av_opt_get_int(dvd.LibraryOptions().CodecOptions(AVMEDIA_TYPE_AUDIO), "b", 0, &rate);
    EXPECT_EQ(rate, 448000);

    TCustomFFmpeg vcd;
    vcd.SetOption("aspect", "16:9");
    vcd.SetOption("target", "pal-vcd");
    EXPECT_FLOAT_EQ(vcd.Pending().FrameAspectRatio, 16.0f / 9.0f) << "a given aspect stays";
    EXPECT_FLOAT_EQ(vcd.Pending().MuxPreload, 0.44f);
}

// Random names and values: only FFmpegException may come out, and nothing may crash or leak.
TEST_F(OptionsTest, RandomNamesAndValuesNeverCrash) {
    const QStringList names = {"map",
                               "map_metadata",
                               "map_chapters",
                               "itsscale",
                               "metadata",
                               "vtag",
                               "intra_matrix",
                               "rc_override",
                               "streamid",
                               "force_key_frames",
                               "vbsf",
                               "absf",
                               "target",
                               "r",
                               "s",
                               "aspect",
                               "pix_fmt",
                               "sample_fmt",
                               "ss",
                               "t",
                               "timestamp",
                               "fs",
                               "pass",
                               "qscale",
                               "loglevel",
                               "b",
                               "ab",
                               "vb",
                               "g",
                               "preset",
                               "flags",
                               "sws_flags",
                               "fpre",
                               "vcodec",
                               "acodec",
                               "x",
                               "",
                               "newvideo",
                               "v",
                               "threads",
                               "ar",
                               "ac",
                               "vol",
                               "top",
                               "croptop"};
    const QStringList values = {"",
                                "0",
                                "-1",
                                "1:2",
                                "0x7fffffff",
                                "99999999999999999999",
                                "abc",
                                "=",
                                ":",
                                ",",
                                "/",
                                "1,2,3",
                                "pal-dvd",
                                "ntsc-",
                                "25/0",
                                "0/0",
                                "-5x-5",
                                "999999x999999",
                                "1e308",
                                "nan",
                                "Ünïcödé",
                                "%s%n%s",
                                QString(3000, 'x'),
                                "\n",
                                "list"};
    QRandomGenerator random(20261209);
    for (int i = 0; i < 20000; ++i) {
        TCustomFFmpeg fuzzed;
        for (int step = 0; step < 3; ++step) {
            QString name = names[random.bounded(names.size())];
            QString value = values[random.bounded(values.size())];
            if (random.bounded(4) == 0)
                value += values[random.bounded(values.size())];
            if (random.bounded(10) == 0)
                name = QString::number(random.generate(), 36);
            try {
                fuzzed.SetOption(name, value);
            } catch (const FFmpegException&) {
            }
        }
    }
    SUCCEED();
}

TEST_F(OptionsTest, TargetNormFromAnOpenedInput) {
    const struct {
        const char* Input;
        int Height;
        const char* Assumed;
    } cases[] = {{testmedia::kMpeg4Mp3Avi, 576, "PAL"}, // 25 fps decides PAL
                 {testmedia::kH264Aac, 480, "NTSC"}};   // 30 fps decides nothing: the fallback
    for (const auto& c : cases) {
        TCustomFFmpeg target;
        target.SetOption("v", "2");
        ASSERT_TRUE(target.OpenInputFile(testmedia::Path(c.Input)));
        logged.clear();
        target.SetOption("target", "dvd");
        EXPECT_EQ(target.Pending().FrameHeight, c.Height) << c.Input;
        EXPECT_TRUE(logged.contains(
            QStringLiteral("%1 Assuming %2 for target.").arg(llVerbose).arg(c.Assumed)))
            << c.Input;
    }
}
