#include "engine/probe/FFDecode.h"
#include "engine/FFLoad.h"
#include "engine/FFLog.h"
#include "engine/FFmpegException.h"

#include "common/TestMedia.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

class DecoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FFLoader().LoadLibraries(TLibrarySet::All()));
        logger = std::make_unique<TFFLogger>();
        logger->OnLog = [this](QObject* sender, quint32, TLogLevel level, const QString& text) {
            if (sender == &decoder)
                logged << QStringLiteral("%1 %2").arg(level).arg(text);
        };
    }
    void TearDown() override { logger.reset(); }

    std::unique_ptr<TFFLogger> logger;
    QStringList logged;
    TFFDecoder decoder;
};

} // namespace

TEST_F(DecoderTest, ProbesTheTestMedia) {
    const struct {
        const char* File;
        int Streams, Video, Audio, FirstVideo, FirstAudio;
        int Width, Height, RateNum, RateDen;
        int SampleRate, Channels;
        const char* VideoCodec;
        const char* AudioCodec;
    } cases[] = {
        {testmedia::kH264Aac, 2, 1, 1, 0, 1, 320, 240, 30, 1, 44100, 2, "h264", "aac"},
        {testmedia::kMpeg4Mp3Avi, 2, 1, 1, 0, 1, 320, 240, 25, 1, 44100, 2, "mpeg4", "mp3"},
        {testmedia::kAudioOnly, 1, 0, 1, -1, 0, -1, -1, -1, -1, 44100, 2, nullptr, "mp3"},
        {testmedia::kVideoOnly, 1, 1, 0, 0, -1, 320, 240, 30, 1, -1, -1, "h264", nullptr},
        {testmedia::kSixChannels, 2, 1, 1, 0, 1, 320, 240, 30, 1, 48000, 6, "h264", "aac"},
        {testmedia::kUnusualName, 2, 1, 1, 0, 1, 320, 240, 30, 1, 44100, 2, "h264", "aac"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.File);
        const QString path = testmedia::Path(c.File);
        ASSERT_TRUE(decoder.LoadFile(path)) << decoder.LastErrMsg().toStdString();
        EXPECT_EQ(decoder.FileName(), path);
        EXPECT_EQ(decoder.FileSize(), QFileInfo(path).size());
        EXPECT_EQ(decoder.StreamCount(), c.Streams);
        EXPECT_EQ(decoder.ProgramCount(), 0);
        EXPECT_EQ(decoder.VideoStreamCount(), c.Video);
        EXPECT_EQ(decoder.AudioStreamCount(), c.Audio);
        EXPECT_EQ(decoder.SubtitleStreamCount(), 0);
        EXPECT_EQ(decoder.FirstVideoStreamIndex(), c.FirstVideo);
        EXPECT_EQ(decoder.FirstAudioStreamIndex(), c.FirstAudio);
        EXPECT_EQ(decoder.FirstSubtitleStreamIndex(), -1);

        TFileStreamInfo file;
        ASSERT_TRUE(decoder.GetFileStreamInfo(file));
        EXPECT_NEAR(file.Duration, 5000000, 60000);
        EXPECT_GT(file.BitRate, 0);

        TVideoStreamInfo video;
        EXPECT_EQ(decoder.GetFirstVideoStreamInfo(video), c.Video > 0);
        EXPECT_EQ(video.Width, c.Width);
        EXPECT_EQ(video.Height, c.Height);
        EXPECT_EQ(video.FrameRateNum, c.RateNum);
        EXPECT_EQ(video.FrameRateDen, c.RateDen);
        if (c.VideoCodec) {
            EXPECT_TRUE(video.CodecName.startsWith(QLatin1String(c.VideoCodec) + "("))
                << video.CodecName.toStdString();
            EXPECT_NEAR(video.Duration, 5000000, 60000);
            EXPECT_FLOAT_EQ(video.DisplayAspectRatio, 320.0f / 240.0f);
            EXPECT_EQ(video.PixelFormat, AV_PIX_FMT_YUV420P);
        } else {
            EXPECT_EQ(decoder.LastErrMsg(), "no video stream.");
        }

        TAudioStreamInfo audio;
        EXPECT_EQ(decoder.GetAudioStreamInfo(-1, audio), c.Audio > 0);
        EXPECT_EQ(audio.SampleRate, c.SampleRate);
        EXPECT_EQ(audio.Channels, c.Channels);
        if (c.AudioCodec) {
            EXPECT_TRUE(audio.CodecName.startsWith(QLatin1String(c.AudioCodec)))
                << audio.CodecName.toStdString();
            EXPECT_NE(audio.SampleFormat, -1);
        } else {
            EXPECT_EQ(decoder.LastErrMsg(), "no audio stream.");
        }
    }
}

TEST_F(DecoderTest, SeveralStreamsOfAKind) {
    ASSERT_TRUE(decoder.LoadFile(testmedia::Path(testmedia::kSeveralStreams)));
    EXPECT_EQ(decoder.StreamCount(), 4);
    EXPECT_EQ(decoder.VideoStreamCount(), 1);
    EXPECT_EQ(decoder.AudioStreamCount(), 2);
    EXPECT_EQ(decoder.SubtitleStreamCount(), 1);
    EXPECT_EQ(decoder.FirstAudioStreamIndex(), 1);
    EXPECT_EQ(decoder.FirstSubtitleStreamIndex(), 3);

    const struct {
        int Index, SampleRate, Channels;
    } tracks[] = {{-1, 44100, 2}, {1, 44100, 2}, {2, 22050, 1}};
    for (const auto& track : tracks) {
        TAudioStreamInfo audio;
        ASSERT_TRUE(decoder.GetAudioStreamInfo(track.Index, audio)) << track.Index;
        EXPECT_EQ(audio.SampleRate, track.SampleRate) << track.Index;
        EXPECT_EQ(audio.Channels, track.Channels) << track.Index;
    }
    TAudioStreamInfo notAudio;
    EXPECT_FALSE(decoder.GetAudioStreamInfo(3, notAudio)) << "the subtitles";
}

TEST_F(DecoderTest, FilesThatCannotBeOpenedFailWithTheirMessage) {
    QTemporaryDir dir;
    const QString unreadable = dir.filePath("unreadable.mp4");
    QFile::copy(testmedia::Path(testmedia::kH264Aac), unreadable);
    QFile::setPermissions(unreadable, QFileDevice::WriteOwner);
    // Nobody ever writes into it: opening it would wait for ever.
    const QString pipe = dir.filePath("pipe.mp4");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const struct {
        QString Path;
        const char* Reason;
    } cases[] = {
        {testmedia::Path(testmedia::kTruncated), "Invalid data found when processing input"},
        {testmedia::Path(testmedia::kEmpty), "Invalid data found when processing input"},
        {testmedia::Path(testmedia::kRandomBytes), "Invalid data found when processing input"},
        {dir.path(), "Is a directory"},
        {dir.filePath("missing.mp4"), "No such file or directory"},
        {unreadable, geteuid() == 0 ? nullptr : "Permission denied"},
        {pipe, "Not a regular file"},
        {QStringLiteral("/dev/tty"), "Not a regular file"},
    };
    for (const auto& c : cases) {
        if (c.Reason == nullptr)
            continue; // root reads every file
        SCOPED_TRACE(c.Path.toStdString());
        // A file is open before: a failed load leaves none.
        ASSERT_TRUE(decoder.LoadFile(testmedia::Path(testmedia::kAudioOnly)));
        logged.clear();
        EXPECT_FALSE(decoder.LoadFile(c.Path));
        const QString expected = c.Path + ": " + c.Reason;
        EXPECT_EQ(decoder.LastErrMsg(), expected);
        EXPECT_EQ(logged, QStringList{QStringLiteral("%1 %2").arg(llError).arg(expected)});
        EXPECT_EQ(decoder.StreamCount(), -1);
        EXPECT_EQ(decoder.FileSize(), -1);
        EXPECT_EQ(decoder.FormatContext(), nullptr);
    }
}

TEST_F(DecoderTest, ForcedFormats) {
    EXPECT_FALSE(decoder.LoadFile(testmedia::Path(testmedia::kAudioOnly), "nosuchformat"));
    EXPECT_EQ(decoder.LastErrMsg(), "Unknown input format: nosuchformat");
    EXPECT_TRUE(logged.isEmpty());

    ASSERT_TRUE(decoder.LoadFile(testmedia::Path(testmedia::kAudioOnly), "mp3"));
    EXPECT_EQ(decoder.ForcedFormat(), "mp3");
    decoder.CloseFile();
    EXPECT_TRUE(decoder.ForcedFormat().isEmpty());
}

TEST_F(DecoderTest, QueriesWithoutAFileOrWithABadIndex) {
    TVideoStreamInfo video;
    TAudioStreamInfo audio;
    TFileStreamInfo file;
    EXPECT_FALSE(decoder.GetFileStreamInfo(file));
    EXPECT_EQ(file.BitRate, -1);
    EXPECT_EQ(file.Year, -1);
    EXPECT_TRUE(decoder.FileName().isEmpty());
    EXPECT_FALSE(decoder.IsVideoStream(0));
    EXPECT_EQ(logged.size(), 3);
    EXPECT_EQ(logged.first(), QStringLiteral("%1 file not loaded.").arg(llWarning));

    ASSERT_TRUE(decoder.LoadFile(testmedia::Path(testmedia::kH264Aac)));
    logged.clear();
    const struct {
        std::function<bool()> Query;
        const char* Text;
    } cases[] = {
        {[&] { return decoder.GetVideoStreamInfo(5, video); }, "stream index #5 is invalid."},
        {[&] { return decoder.GetVideoStreamInfo(1, video); }, "stream #1 is not video stream."},
        {[&] { return decoder.GetAudioStreamInfo(0, audio); }, "stream #0 is not audio stream."},
        {[&] { return decoder.IsAudioStream(-1); }, "stream index #-1 is invalid."},
        {[&] { return decoder.IsVideoStream(2); }, "stream index #2 is invalid."},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(c.Query()) << c.Text;
        EXPECT_EQ(decoder.LastErrMsg(), c.Text);
    }
    EXPECT_EQ(logged.size(), 5);
    EXPECT_EQ(video.Width, -1) << "a failed query leaves the defaults";
    EXPECT_TRUE(decoder.IsVideoStream(0));
    EXPECT_TRUE(decoder.IsAudioStream(1));
}

TEST_F(DecoderTest, OnBeforeFindStreamInfoSeesTheContext) {
    AVFormatContext* seen = nullptr;
    decoder.OnBeforeFindStreamInfo = [&](QObject* sender, AVFormatContext* context) {
        EXPECT_EQ(sender, &decoder);
        seen = context;
    };
    ASSERT_TRUE(decoder.LoadFile(testmedia::Path(testmedia::kH264Aac)));
    EXPECT_EQ(seen, decoder.FormatContext());
}

TEST_F(DecoderTest, LibrariesMustBeLoaded) {
    const struct {
        TLibraryKind Kind;
        const char* Text;
    } cases[] = {{LibAVCodec, "LibAVCodec not loaded."},
                 {LibAVFormat, "LibAVFormat not loaded."},
                 {LibAVUtil, "LibAVUtil not loaded."},
                 {LibSwScale, "LibSwScale not loaded."}};
    for (const auto& c : cases) {
        FFLoader().UnloadLibraries({c.Kind});
        try {
            decoder.LoadFile(testmedia::Path(testmedia::kH264Aac));
            ADD_FAILURE() << "no error for " << c.Text;
        } catch (const FFmpegException& error) {
            EXPECT_EQ(error.Message(), c.Text);
        }
        ASSERT_TRUE(FFLoader().LoadLibraries(TLibrarySet::All()));
    }
}

// A context built by hand shows the rules for values a real file rarely has.
TEST_F(DecoderTest, AttachedContextEdgeCases) {
    ffmpeg::InputContextPtr owner(avformat_alloc_context());
    AVFormatContext* context = owner.get();
    context->url = av_strdup(testmedia::Path(testmedia::kH264Aac).toUtf8().constData());
    av_dict_set(&context->metadata, "year", "2019", 0);
    av_dict_set(&context->metadata, "track", "3/12", 0);
    av_dict_set(&context->metadata, "TITLE", "Upper case key", 0);

    AVStream* video = avformat_new_stream(context, nullptr);
    video->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    video->codecpar->codec_id = AV_CODEC_ID_NONE;
    video->codecpar->codec_tag = MKTAG('X', 'V', 'I', 'D');
    video->codecpar->width = 720;
    video->codecpar->height = 576;
    video->codecpar->sample_aspect_ratio = AVRational{0, 1};
    video->avg_frame_rate = AVRational{0, 0};
    video->r_frame_rate = AVRational{25, 1};
    video->time_base = AVRational{1, 0};
    video->start_time = AV_NOPTS_VALUE;
    video->duration = 50;

    AVStream* transport = avformat_new_stream(context, nullptr);
    transport->codecpar->codec_type = AVMEDIA_TYPE_DATA;
    transport->codecpar->codec_id = AV_CODEC_ID_MPEG2TS;

    decoder.AttachFormatContext(context);
    EXPECT_EQ(decoder.FormatContext(), context);
    EXPECT_EQ(decoder.FileSize(), QFileInfo(testmedia::Path(testmedia::kH264Aac)).size())
        << "no container size: the file system's";
    EXPECT_EQ(decoder.StreamCount(), 2);
    EXPECT_EQ(decoder.VideoStreamCount(), 1);
    EXPECT_EQ(decoder.AudioStreamCount(), 0);

    TVideoStreamInfo info;
    ASSERT_TRUE(decoder.GetVideoStreamInfo(0, info));
    EXPECT_EQ(info.CodecName, "XVID / 0x44495658");
    EXPECT_FLOAT_EQ(info.DisplayAspectRatio, 0.0f) << "unknown aspect is not width / height";
    EXPECT_EQ(info.FrameRateNum, 25) << "no average rate: the base rate";
    EXPECT_EQ(info.FrameRateDen, 1);
    EXPECT_EQ(info.RawStartTime, AV_NOPTS_VALUE);
    EXPECT_EQ(info.StartTime, -1);
    EXPECT_EQ(video->time_base.den, 1) << "a zero denominator is mended on the stream";
    EXPECT_EQ(info.Duration, 50000000);
    EXPECT_EQ(CodecText(transport->codecpar, false), "mpeg2ts");

    TFileStreamInfo file;
    ASSERT_TRUE(decoder.GetFileStreamInfo(file));
    EXPECT_EQ(file.Year, 2019);
    EXPECT_EQ(file.Track, 0) << "3/12 is not a whole number";
    EXPECT_EQ(file.Title, "Upper case key");
    av_dict_set(&context->metadata, "year", "2019-05-01", 0);
    decoder.GetFileStreamInfo(file);
    EXPECT_EQ(file.Year, 0);

    decoder.CloseFile(); // not owned: the context stays ours
    EXPECT_EQ(decoder.StreamCount(), -1);
    EXPECT_EQ(context->nb_streams, 2u);

    // A name that is not a file keeps the container's (missing) size.
    av_free(context->url);
    context->url = av_strdup("tcp://example.invalid:1");
    decoder.AttachFormatContext(context);
    EXPECT_EQ(decoder.FileSize(), -1);
    decoder.CloseFile();

    // A stream that cannot tell its size answers with an error code, which is no size either.
    uint8_t* buffer = static_cast<uint8_t*>(av_malloc(4096));
    context->pb = avio_alloc_context(buffer, 4096, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_LT(avio_size(context->pb), -1);
    decoder.AttachFormatContext(context);
    EXPECT_EQ(decoder.FileSize(), -1);
    decoder.CloseFile();
    av_freep(&context->pb->buffer);
    avio_context_free(&context->pb);
}

// How a stored picture is meant to be seen: the display rotation of phones' videos, the wide
// pixels of a DVD, and the upright, square-pixel size both give.
TEST_F(DecoderTest, PicturesAsTheyAreMeantToBeSeen) {
    const struct {
        const char* File;
        int Rotation;
        int AspectNum, AspectDen;
        int Width, Height; // stored
        int DisplayWidth, DisplayHeight;
    } cases[] = {
        {testmedia::kH264Aac, 0, 1, 1, 320, 240, 320, 240},
        {testmedia::kRotated90, 90, 1, 1, 640, 360, 360, 640},
        {testmedia::kRotated180, 180, 1, 1, 640, 360, 640, 360},
        {testmedia::kRotated270, 270, 1, 1, 640, 360, 360, 640},
        {testmedia::kAnamorphic, 0, 64, 45, 720, 576, 1024, 576},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.File);
        ASSERT_TRUE(decoder.LoadFile(testmedia::Path(c.File)))
            << decoder.LastErrMsg().toStdString();
        TVideoStreamInfo video;
        ASSERT_TRUE(decoder.GetFirstVideoStreamInfo(video));
        EXPECT_EQ(video.Rotation, c.Rotation);
        EXPECT_EQ(video.SampleAspectNum, c.AspectNum);
        EXPECT_EQ(video.SampleAspectDen, c.AspectDen);
        EXPECT_EQ(video.Width, c.Width);
        EXPECT_EQ(video.Height, c.Height);
        EXPECT_EQ(video.DisplayWidth, c.DisplayWidth);
        EXPECT_EQ(video.DisplayHeight, c.DisplayHeight);
        decoder.CloseFile();
    }
}
