#include "engine/FFLoad.h"
#include "engine/FFLog.h"
#include "engine/FFmpegException.h"
#include "engine/probe/FFDecode.h"
#include "engine/transcoder/FFmpeg.h"

#include "JobFixture.h"

#include "common/Process.h"
#include "common/SilentServer.h"
#include "common/TestMedia.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

#include <sys/stat.h>

using JobTest = TJobFixture;

TEST_F(JobTest, DefaultFlvSettings) {
    const QString output = Out("default.flv");
    const RunResult result =
        Convert(testmedia::Path(testmedia::kH264Aac), output,
                [](TCustomFFmpeg& job) { DefaultFlvOutput(job, "scale=320:240"); });
    ASSERT_TRUE(result.Finished) << result.Error.toStdString();
    EXPECT_FALSE(result.Failed);
    EXPECT_EQ(result.Terminations, 1);

    const QJsonDocument probe = FFprobe(output);
    const QJsonArray video = Streams(probe, "video");
    const QJsonArray audio = Streams(probe, "audio");
    ASSERT_EQ(video.size(), 1);
    ASSERT_EQ(audio.size(), 1);
    EXPECT_EQ(probe["format"]["format_name"].toString(), "flv");
    EXPECT_EQ(video[0]["codec_name"].toString(), "flv1");
    EXPECT_EQ(video[0]["width"].toInt(), 320);
    EXPECT_EQ(video[0]["height"].toInt(), 240);
    EXPECT_EQ(audio[0]["codec_name"].toString(), "mp3");
    EXPECT_EQ(audio[0]["sample_rate"].toString(), "44100");
    EXPECT_EQ(audio[0]["channels"].toInt(), 2);
    EXPECT_NEAR(Duration(probe), 5.0, 1.0 / 30 + 0.03);
    const QJsonArray packets = FFprobePackets(output, "v:0");
    EXPECT_NEAR(packets.size(), 150, 1);

    // Our own prober reads the same.
    TFFDecoder decoder;
    ASSERT_TRUE(decoder.LoadFile(output));
    TVideoStreamInfo info;
    ASSERT_TRUE(decoder.GetFirstVideoStreamInfo(info));
    EXPECT_TRUE(info.CodecName.startsWith("flv"));
    EXPECT_EQ(info.Width, 320);
}

TEST_F(JobTest, H264AndAacIntoMp4AndFlv) {
    for (const char* name : {"h264.mp4", "h264.flv"}) {
        SCOPED_TRACE(name);
        const QString output = Out(name);
        const RunResult result =
            Convert(testmedia::Path(testmedia::kMpeg4Mp3Avi), output, [](TCustomFFmpeg& job) {
                job.SetCodec("vcodec", "libx264");
                job.SetCodec("acodec", "aac");
                job.SetOption("preset", "ultrafast");
                job.SetBitrate("ab", 128000);
            });
        ASSERT_TRUE(result.Finished) << result.Error.toStdString();
        const QJsonDocument probe = FFprobe(output);
        ASSERT_EQ(Streams(probe, "video").size(), 1);
        EXPECT_EQ(Streams(probe, "video")[0]["codec_name"].toString(), "h264");
        EXPECT_EQ(Streams(probe, "video")[0]["r_frame_rate"].toString(), "25/1");
        EXPECT_EQ(Streams(probe, "audio")[0]["codec_name"].toString(), "aac");
        EXPECT_NEAR(Duration(probe), 5.0, 0.1);
    }
}

TEST_F(JobTest, StartTimeAndRecordingTimeCutAPiece) {
    const QString output = Out("piece.mp4");
    TCustomFFmpeg job;
    job.SetOption("ss", "2");
    ASSERT_TRUE(job.OpenInputFile(testmedia::Path(testmedia::kH264Aac)));
    job.SetOption("t", "2");
    job.SetCodec("vcodec", "libx264");
    job.SetOption("preset", "ultrafast");
    ASSERT_GE(job.OpenOutputFile(output), 0);
    EXPECT_EQ(job.ExpectedTotalDuration(), 2000000) << "the recording time is what is expected";
    const RunResult result = Run(job);
    ASSERT_TRUE(result.Finished) << result.Error.toStdString();

    const QJsonDocument probe = FFprobe(output);
    EXPECT_NEAR(Duration(probe), 2.0, 0.07);
    const QJsonArray video = FFprobePackets(output, "v:0");
    EXPECT_NEAR(video.size(), 60, 1);
    // The first picture is the source's picture at 2 s.
    const QImage ours = FFmpegFrameAt(output, 0.0);
    const QImage source = FFmpegFrameAt(testmedia::Path(testmedia::kH264Aac), 2.0);
    const QImage before = FFmpegFrameAt(testmedia::Path(testmedia::kH264Aac), 1.5);
    ASSERT_FALSE(ours.isNull());
    auto difference = [](const QImage& a, const QImage& b) {
        double sum = 0;
        for (int y = 0; y < a.height(); y += 8)
            for (int x = 0; x < a.width(); x += 8)
                sum += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y)));
        return sum;
    };
    EXPECT_LT(difference(ours, source), difference(ours, before) / 4);
}

// Seeking lands on the key picture before the start (the source's only one is its first); the
// pictures decoded only to get there are neither shown nor counted as dropped.
TEST_F(JobTest, AStartBetweenKeyPicturesBeginsAtThatPicture) {
    const QString output = Out("between.flv");
    TCustomFFmpeg job;
    job.SetOption("ss", "1.5");
    ASSERT_TRUE(job.OpenInputFile(testmedia::Path(testmedia::kVideoOnly)));
    job.SetOption("t", "2");
    DefaultFlvOutput(job, "");
    ASSERT_GE(job.OpenOutputFile(output), 0);
    int64_t firstHookTime = -1;
    job.OnVideoOutputHook = [&](TCustomFFmpeg&, TVideoHookData& data) {
        if (firstHookTime < 0)
            firstHookTime = data.PTS;
    };
    const RunResult result = Run(job);
    ASSERT_TRUE(result.Finished) << result.Error.toStdString();
    // The recording time ends at the first packet past it, so pictures reordered behind it
    // may be missing at the end.
    EXPECT_NEAR(FFprobePackets(output, "v:0").size(), 60, 2);
    EXPECT_GE(firstHookTime, 0);
    std::lock_guard lock(logLock);
    // A report of dropped pictures is logged whenever some were dropped.
    EXPECT_TRUE(logged.filter(" drop=").isEmpty())
        << logged.filter(" drop=").join("").toStdString();
}

// Pictures of one-line stripes, as the two fields of an interlaced picture in motion look.
TEST_F(JobTest, DeinterlaceBuildsEachPictureFromOneField) {
    const QString striped = Out("striped.avi");
    ASSERT_EQ(
        RunProgram("ffmpeg", {"-v", "error", "-f", "lavfi", "-i",
                              "color=gray:s=64x48:r=25:d=1,format=gray,geq=lum='255*mod(Y,2)'",
                              "-c:v", "rawvideo", "-pix_fmt", "gray", striped})
            .ExitCode,
        0);
    for (const bool deinterlace : {false, true}) {
        SCOPED_TRACE(deinterlace ? "deinterlaced" : "as it is");
        const QString output = Out(deinterlace ? "smooth.avi" : "stripes.avi");
        const RunResult result = Convert(striped, output, [&](TCustomFFmpeg& job) {
            job.SetCodec("vcodec", "rawvideo");
            job.SetOption("pix_fmt", "gray");
            if (deinterlace)
                job.SetOption("deinterlace", "1");
        });
        ASSERT_TRUE(result.Finished) << result.Error.toStdString();
        EXPECT_EQ(FFprobePackets(output, "v:0").size(), 25) << "every picture comes out";
        const QImage frame = FFmpegFrameAt(output, 0.5);
        ASSERT_FALSE(frame.isNull());
        const int step = std::abs(qGray(frame.pixel(32, 20)) - qGray(frame.pixel(32, 21)));
        if (deinterlace)
            EXPECT_LT(step, 40);
        else
            EXPECT_GT(step, 200);
    }
}

TEST_F(JobTest, JoinedInputsFollowEachOther) {
    const QString output = Out("joined.flv");
    TCustomFFmpeg job;
    ASSERT_TRUE(job.OpenInputFile(testmedia::Path(testmedia::kH264Aac)));
    ASSERT_TRUE(job.OpenInputFile(testmedia::Path(testmedia::kMpeg4Mp3Avi)));
    DefaultFlvOutput(job, "scale=320:240");
    ASSERT_GE(job.OpenOutputFile(output, true), 0) << job.LastErrorText().toStdString();
    EXPECT_EQ(job.OpenOutputFile(Out("second.flv"), true), -1);
    EXPECT_EQ(job.LastErrorText(), "Cannot join more than one output file.");
    job.ExpandJoin();
    EXPECT_NEAR(job.ExpectedTotalDuration(), 10041633, 100000);
    const RunResult result = Run(job);
    ASSERT_TRUE(result.Finished) << result.Error.toStdString();

    const QJsonDocument probe = FFprobe(output);
    EXPECT_NEAR(Duration(probe), 10.0, 0.15);
    for (const char* stream : {"v:0", "a:0"}) {
        const QJsonArray packets = FFprobePackets(output, stream);
        double last = -1;
        double largestGap = 0;
        for (const QJsonValue& packet : packets) {
            const double time = packet["dts_time"].toString().toDouble();
            EXPECT_GE(time, last) << stream;
            if (last >= 0)
                largestGap = std::max(largestGap, time - last);
            last = time;
        }
        EXPECT_LT(largestGap, 0.1) << stream << ": the second input continues the first";
        EXPECT_GT(last, 9.8) << stream;
    }
    ASSERT_FALSE(result.Progress.isEmpty());
    EXPECT_EQ(result.Progress.last().FileIndex, -1);
    bool sawSecondFile = false;
    for (const TJobProgress& progress : result.Progress)
        sawSecondFile = sawSecondFile || progress.FileIndex == 1;
    Q_UNUSED(sawSecondFile); // progress every 0.5 s may come before the switch on a fast machine
}

TEST_F(JobTest, VolumeScalesAndClipsSamples) {
    const QString source = testmedia::Path(testmedia::kAudioOnly);
    const int sourcePeak = FFmpegPeakSample(source);
    ASSERT_GT(sourcePeak, 10000);
    ASSERT_LT(sourcePeak, 16000);
    const struct {
        int Volume;
        int Peak;
    } cases[] = {{256, sourcePeak}, {512, 2 * sourcePeak}, {128, sourcePeak / 2}, {1024, 32767}};
    for (const auto& c : cases) {
        const QString output = Out(QStringLiteral("volume%1.wav").arg(c.Volume));
        const RunResult result = Convert(source, output, [&](TCustomFFmpeg& job) {
            job.SetCodec("acodec", "pcm_s16le");
            job.SetVolume(c.Volume);
        });
        ASSERT_TRUE(result.Finished) << result.Error.toStdString();
        EXPECT_NEAR(FFmpegPeakSample(output), c.Peak, c.Peak / 50 + 2) << c.Volume;
    }
}

TEST_F(JobTest, CropPadScaleChainGivesItsSize) {
    const QString output = Out("chain.mp4");
    const RunResult result =
        Convert(testmedia::Path(testmedia::kH264Aac), output, [](TCustomFFmpeg& job) {
            job.SetCodec("vcodec", "libx264");
            job.SetOption("preset", "ultrafast");
            job.SetVideoFilters("crop=160:120:0:0,pad=200.00:150.00:20.00:15.00,scale=100:76");
        });
    ASSERT_TRUE(result.Finished) << result.Error.toStdString();
    const QJsonArray video = Streams(FFprobe(output), "video");
    ASSERT_EQ(video.size(), 1);
    EXPECT_EQ(video[0]["width"].toInt(), 100);
    EXPECT_EQ(video[0]["height"].toInt(), 76);
    const QImage frame = FFmpegFrameAt(output, 1.0);
    ASSERT_FALSE(frame.isNull());
    EXPECT_LT(qGray(frame.pixel(3, 3)), 40) << "the pad border is black";
}

TEST_F(JobTest, PictureWatermarkLandsAtItsPlace) {
    QImage logo(40, 30, QImage::Format_RGB32);
    logo.fill(QColor(255, 0, 0));
    const QString logoPath = Out("logo, [1]; it's: red.png");
    ASSERT_TRUE(logo.save(logoPath));
    // Two levels of escaping: the option value of "movie", then the graph text.
    auto escape = [](QString text, const QString& special) {
        QString escaped;
        for (const QChar c : text) {
            if (special.contains(c))
                escaped += QLatin1Char('\\');
            escaped += c;
        }
        return escaped;
    };
    const QString path = escape(escape(logoPath, "\\':"), "\\'[],;");
    const QString filters = QStringLiteral("movie=%1 [watermark1]; [in] scale=320:240 [main]; "
                                           "[main][watermark1] overlay=10:20 [out]")
                                .arg(path);
    const QString output = Out("watermark.mp4");
    const RunResult result =
        Convert(testmedia::Path(testmedia::kH264Aac), output, [&](TCustomFFmpeg& job) {
            job.SetCodec("vcodec", "libx264");
            job.SetOption("preset", "ultrafast");
            job.SetOption("crf", "10");
            job.SetVideoFilters(filters);
        });
    ASSERT_TRUE(result.Finished) << result.Error.toStdString() << " " << filters.toStdString();
    const QImage frame = FFmpegFrameAt(output, 1.0);
    ASSERT_EQ(frame.size(), QSize(320, 240));
    const QColor inside = frame.pixelColor(10 + 20, 20 + 15);
    EXPECT_GT(inside.red(), 200);
    EXPECT_LT(inside.green(), 60);
    EXPECT_LT(inside.blue(), 60);
    const QColor outside = frame.pixelColor(10 + 60, 20 + 60);
    EXPECT_FALSE(outside.red() > 200 && outside.green() < 60 && outside.blue() < 60);
}

TEST_F(JobTest, SoundOnlyAndPictureOnlyInputs) {
    const struct {
        const char* Input;
        int Video, Audio;
    } cases[] = {{testmedia::kAudioOnly, 0, 1}, {testmedia::kVideoOnly, 1, 0}};
    for (const auto& c : cases) {
        const QString output = Out(QStringLiteral("%1.flv").arg(c.Input));
        const RunResult result = Convert(testmedia::Path(c.Input), output, [](TCustomFFmpeg& job) {
            DefaultFlvOutput(job, "scale=320:240");
        });
        ASSERT_TRUE(result.Finished) << c.Input << ": " << result.Error.toStdString();
        const QJsonDocument probe = FFprobe(output);
        EXPECT_EQ(Streams(probe, "video").size(), c.Video) << c.Input;
        EXPECT_EQ(Streams(probe, "audio").size(), c.Audio) << c.Input;
        EXPECT_NEAR(Duration(probe), 5.0, 0.1) << c.Input;
        ASSERT_FALSE(result.Progress.isEmpty()) << c.Input;
        if (c.Video == 0) {
            EXPECT_EQ(result.Progress.last().FrameNumber, 0);
            EXPECT_EQ(result.Progress.last().FPS, 0);
        }
    }
}

TEST_F(JobTest, VariableRateToConstantRateDuplicatesAndDrops) {
    const struct {
        const char* Sync;
        bool Changes;
    } cases[] = {{"1", true}, {"-1", true}, {"0", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Sync);
        TCustomFFmpeg job;
        ASSERT_TRUE(job.OpenInputFile(testmedia::Path(testmedia::kVariableRate)));
        job.SetCodec("vcodec", "mpeg4");
        job.SetFrameRate("30");
        job.SetOption("vsync", c.Sync);
        const QString output = Out(QStringLiteral("cfr%1.avi").arg(c.Sync));
        ASSERT_GE(job.OpenOutputFile(output), 0);
        const RunResult result = Run(job);
        ASSERT_TRUE(result.Finished) << result.Error.toStdString();
        if (c.Changes) {
            // The 0.5 s gap is filled by repeating pictures, the 60 fps second loses half.
            EXPECT_NEAR(job.FramesDuplicated(), 14, 2);
            EXPECT_NEAR(job.FramesDropped(), 30, 3);
            EXPECT_NEAR(FFprobePackets(output, "v:0").size(), 30 + 14 + 30, 3);
        } else {
            EXPECT_EQ(job.FramesDuplicated(), 0);
            EXPECT_EQ(job.FramesDropped(), 0);
            EXPECT_EQ(FFprobePackets(output, "v:0").size(), 90);
        }
    }
}

TEST_F(JobTest, ProgressGrowsToTheTotal) {
    TCustomFFmpeg job;
    job.ProgressInterval = 0; // every packet
    ASSERT_TRUE(job.OpenInputFile(testmedia::Path(testmedia::kH264Aac)));
    DefaultFlvOutput(job, "scale=320:240");
    ASSERT_GE(job.OpenOutputFile(Out("progress.flv")), 0);
    const RunResult result = Run(job);
    ASSERT_TRUE(result.Finished);
    ASSERT_GT(result.Progress.size(), 10);
    int64_t last = -1;
    for (const TJobProgress& progress : result.Progress) {
        EXPECT_GE(progress.CurrentDuration, last);
        EXPECT_EQ(progress.TotalDuration, 5000000);
        last = progress.CurrentDuration;
    }
    const TJobProgress& final = result.Progress.last();
    EXPECT_EQ(final.FileIndex, -1);
    EXPECT_NEAR(final.CurrentDuration, 5000000, 50000);
    EXPECT_EQ(final.FrameNumber, 150);
    EXPECT_EQ(final.TotalSize, QFileInfo(Out("progress.flv")).size());
    EXPECT_GT(final.BitRate, 300);
}

TEST_F(JobTest, StopPauseAndResume) {
    const QString output = Out("paced.flv");
    TCustomFFmpeg job;
    job.SetOption("re", "1"); // read at the source's own pace: 5 s
    ASSERT_TRUE(job.OpenInputFile(testmedia::Path(testmedia::kH264Aac)));
    DefaultFlvOutput(job, "");
    ASSERT_GE(job.OpenOutputFile(output), 0);
    std::atomic<int> progressCount{0};
    std::atomic<int> terminations{0};
    job.ProgressInterval = 100000;
    job.OnProgress = [&](TCustomFFmpeg&, const TJobProgress&) { ++progressCount; };
    job.OnTerminate = [&](TCustomFFmpeg&) { ++terminations; };
    job.Start(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return progressCount >= 3; }, 20000));

    job.Pause();
    EXPECT_TRUE(job.Paused());
    // The packet in hand finishes, then the loop holds at its safe point.
    ASSERT_TRUE(QTest::qWaitFor([&] { return job.HeldByPause(); }, 20000));
    const int pausedAt = progressCount;
    const qint64 sizeAtPause = QFileInfo(output).size();
    EXPECT_FALSE(QTest::qWaitFor(
        [&] { return progressCount != pausedAt || QFileInfo(output).size() != sizeAtPause; }, 600))
        << "no progress and no growing output while paused";
    job.Resume();
    EXPECT_TRUE(QTest::qWaitFor([&] { return progressCount > pausedAt; }, 20000));
    EXPECT_FALSE(job.HeldByPause());

    job.Pause();
    job.Stop(true); // stopping a paused job ends it promptly
    EXPECT_EQ(terminations, 1);
    EXPECT_FALSE(job.Finished());
    EXPECT_FALSE(job.Failed());
    EXPECT_TRUE(FilesIn(dir.path()).isEmpty()) << "a stopped run leaves nothing behind";
}

TEST_F(JobTest, StartWithoutOutputOrInputReportsTheEnd) {
    TCustomFFmpeg noOutput;
    ASSERT_TRUE(noOutput.OpenInputFile(testmedia::Path(testmedia::kH264Aac)));
    RunResult result = Run(noOutput);
    EXPECT_EQ(result.Terminations, 1);
    EXPECT_TRUE(result.Failed);
    EXPECT_EQ(result.Error, "At least one output file must be specified");

    TCustomFFmpeg noInput;
    ASSERT_GE(noInput.OpenOutputFile(Out("nothing.flv")), 0);
    result = Run(noInput);
    EXPECT_EQ(result.Error, "At least one input file must be specified");

    TCustomFFmpeg unstarted;
    int ended = 0;
    unstarted.OnTerminate = [&](TCustomFFmpeg& job) {
        ++ended;
        EXPECT_FALSE(job.Finished());
    };
    unstarted.EndUnstarted(true);
    unstarted.EndUnstarted(true);
    EXPECT_EQ(ended, 1);
}

TEST_F(JobTest, BadInputsEndWithAMessage) {
    // Failures while opening.
    {
        TCustomFFmpeg job;
        const QString missing = Out("missing.mp4");
        EXPECT_FALSE(job.OpenInputFile(missing));
        EXPECT_EQ(job.LastErrorText(), missing + ": No such file or directory");
        for (const char* broken :
             {testmedia::kTruncated, testmedia::kEmpty, testmedia::kRandomBytes}) {
            EXPECT_FALSE(job.OpenInputFile(testmedia::Path(broken)));
            EXPECT_TRUE(job.LastErrorText().startsWith(testmedia::Path(broken) + ": "));
        }
        EXPECT_EQ(job.InputFileCount(), 0);
    }
    {
        TCustomFFmpeg job;
        ASSERT_TRUE(job.OpenInputFile(testmedia::Path(testmedia::kH264Aac)));
        job.SetCodec("vcodec", "nosuchcodec");
        EXPECT_EQ(job.OpenOutputFile(Out("x.flv")), -1);
        EXPECT_EQ(job.LastErrorText(), "new_video_stream fail: Unknown encoder 'nosuchcodec'");
        job.SetCodec("vcodec", "flv");
        job.SetCodec("acodec", "flv");
        EXPECT_EQ(job.OpenOutputFile(Out("y.flv")), -1);
        EXPECT_EQ(job.LastErrorText(), "new_audio_stream fail: Invalid encoder type 'flv'");
        job.SetCodec("acodec", "libmp3lame");
        const QString unwritable = Out("no/such/folder/out.flv");
        EXPECT_EQ(job.OpenOutputFile(unwritable), -1);
        EXPECT_EQ(job.LastErrorText(), unwritable + ": No such file or directory");
        EXPECT_EQ(job.OutputFileCount(), 0) << "a failed output is removed again";
        // Only regular files are written: a device, a folder or a FIFO is refused at once.
        const QString fifo = Out("fifo.flv");
        ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        for (const QString& odd : {QStringLiteral("/dev/full"), dir.path(), fifo}) {
            job.SetFormat("flv"); // the names tell no container
            EXPECT_EQ(job.OpenOutputFile(odd), -1) << odd.toStdString();
            EXPECT_EQ(job.LastErrorText(), odd + ": Not a regular file");
        }
    }
    // Failures while running.
    const struct {
        const char* Name;
        const char* Output;
        std::function<void(TCustomFFmpeg&)> Configure;
        QString ErrorStart;
    } cases[] = {
        {"bad filter", "f.flv", [](TCustomFFmpeg& j) { j.SetVideoFilters("scale=:nonsense[x"); },
         "Error opening filters: scale=:nonsense[x"},
        {"stream the container cannot hold", "h.flv",
         [](TCustomFFmpeg& j) { j.SetCodec("vcodec", "rawvideo"); },
         "Could not write header for output file #0 (incorrect codec parameters ?)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const QString output = QString(c.Output).startsWith('/') ? c.Output : Out(c.Output);
        TCustomFFmpeg job;
        ASSERT_TRUE(job.OpenInputFile(testmedia::Path(testmedia::kH264Aac)));
        c.Configure(job);
        ASSERT_GE(job.OpenOutputFile(output), 0) << job.LastErrorText().toStdString();
        const RunResult result = Run(job);
        EXPECT_FALSE(result.Finished);
        EXPECT_TRUE(result.Failed);
        EXPECT_TRUE(result.Error.startsWith(c.ErrorStart)) << result.Error.toStdString();
        EXPECT_EQ(result.Terminations, 1);
    }
}

TEST_F(JobTest, ADamagedMiddleStillConverts) {
    const QString output = Out("damaged.flv");
    const RunResult result = Convert(testmedia::Path(testmedia::kDamagedMiddle), output,
                                     [](TCustomFFmpeg& job) { DefaultFlvOutput(job, ""); });
    ASSERT_TRUE(result.Finished) << result.Error.toStdString();
    EXPECT_GT(Duration(FFprobe(output)), 4.5);
}

TEST_F(JobTest, VideoCopyWithAPreviewIsRefused) {
    TCustomFFmpeg job;
    ASSERT_TRUE(job.OpenInputFile(testmedia::Path(testmedia::kH264Aac)));
    job.SetCodec("vcodec", "copy");
    ASSERT_GE(job.OpenOutputFile(Out("copy.mp4")), 0);
    job.SetPreviewFlags(pfBitmap);
    const RunResult result = Run(job);
    EXPECT_EQ(result.Error, "-vcodec copy and PostHooks are incompatible (frames are not decoded)");

    // Without the preview the streams are copied as they are.
    const QString output = Out("copied.mp4");
    const RunResult copied =
        Convert(testmedia::Path(testmedia::kH264Aac), output, [](TCustomFFmpeg& j) {
            j.SetCodec("vcodec", "copy");
            j.SetCodec("acodec", "copy");
        });
    ASSERT_TRUE(copied.Finished) << copied.Error.toStdString();
    const QJsonDocument probe = FFprobe(output);
    EXPECT_EQ(Streams(probe, "video")[0]["codec_name"].toString(), "h264");
    EXPECT_NEAR(Duration(probe), 5.0, 0.05);
    EXPECT_EQ(FFprobePackets(output, "v:0").size(), 150);
}

TEST_F(JobTest, HooksAndPreviewsSeeThePictures) {
    const QString output = Out("hooked.mp4");
    TCustomFFmpeg job;
    ASSERT_TRUE(job.OpenInputFile(testmedia::Path(testmedia::kH264Aac)));
    job.SetCodec("vcodec", "libx264");
    job.SetOption("preset", "ultrafast");
    job.SetOption("crf", "10");
    ASSERT_GE(job.OpenOutputFile(output), 0);
    int outputHooks = 0;
    int previews = 0;
    int frameHooks = 0;
    job.OnVideoOutputHook = [&](TCustomFFmpeg&, TVideoHookData& data) {
        ++outputHooks;
        QPainter painter(data.Bitmap);
        painter.fillRect(QRect(0, 0, 64, 48), Qt::white);
    };
    job.OnFrameInputHook = [&](TCustomFFmpeg&, const TFrameHookData& data) {
        ++frameHooks;
        EXPECT_EQ(data.Width, 320);
    };
    job.OnPreviewBitmap = [&](TCustomFFmpeg&, QImage& bitmap, int64_t, int) {
        ++previews;
        EXPECT_EQ(bitmap.size(), QSize(320, 240));
    };
    job.SetPreviewFlags(pfBitmap);
    const RunResult result = Run(job);
    ASSERT_TRUE(result.Finished) << result.Error.toStdString();
    EXPECT_EQ(outputHooks, 150);
    EXPECT_EQ(frameHooks, 150);
    EXPECT_GE(previews, 1);
    const QImage frame = FFmpegFrameAt(output, 2.0);
    EXPECT_GT(qGray(frame.pixel(20, 20)), 230) << "what the hook drew is in the output";
}

// A stop arrives while a picture is still to be written. Raw pictures are larger than the
// output's write buffer, so every one of them reaches the file at once.
TEST_F(JobTest, AStopInTheMiddleOfAPacketStillEndsTheOutput) {
    for (const bool threaded : {true, false}) {
        SCOPED_TRACE(threaded ? "on a worker" : "on the calling thread");
        const QString output = Out(threaded ? "stopped1.avi" : "stopped2.avi");
        TCustomFFmpeg job;
        ASSERT_TRUE(job.OpenInputFile(testmedia::Path(testmedia::kH264Aac)));
        job.SetCodec("vcodec", "rawvideo");
        job.SetOption("an", "1");
        ASSERT_GE(job.OpenOutputFile(output), 0);
        int hooks = 0;
        job.OnVideoOutputHook = [&](TCustomFFmpeg& running, TVideoHookData&) {
            if (++hooks == 30)
                running.Stop(false);
        };
        std::atomic<int> terminations{0};
        job.OnTerminate = [&](TCustomFFmpeg&) { ++terminations; };
        job.Start(threaded);
        EXPECT_TRUE(QTest::qWaitFor([&] { return terminations > 0; }, 60000));
        EXPECT_EQ(terminations, 1);
        EXPECT_FALSE(job.Failed()) << job.ErrorText().toStdString();
        EXPECT_FALSE(job.Finished());
        EXPECT_FALSE(QFileInfo::exists(output));
        EXPECT_EQ(FilesIn(dir.path()), QStringList()) << "nor a temporary";
    }
}

TEST_F(JobTest, AStopEndsTheWaitOfARateEmulationAcrossATimeJump) {
    // 1000 s of nothing after the first second, in a container that keeps such jumps.
    const QString source = Out("jump.mkv");
    ASSERT_EQ(RunProgram("ffmpeg",
                         {"-v", "error", "-f", "lavfi", "-i", "testsrc=s=160x120:r=25:d=3", "-vf",
                          "setpts='if(gte(N,25),PTS+1000/TB,PTS)'", "-c:v", "mpeg4", source})
                  .ExitCode,
              0);
    TCustomFFmpeg job;
    job.SetOption("re", "1");
    ASSERT_TRUE(job.OpenInputFile(source));
    job.SetOption("vsync", "0");
    ASSERT_GE(job.OpenOutputFile(Out("jump.avi")), 0);
    std::atomic<int> pictures{0};
    job.OnVideoOutputHook = [&](TCustomFFmpeg&, TVideoHookData&) { ++pictures; };
    job.Start(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return pictures >= 26; }, 20000));
    QElapsedTimer clock;
    clock.start();
    job.Stop(true);
    EXPECT_LT(clock.elapsed(), 20000) << "the stop waited for the source's own time";
    EXPECT_FALSE(job.Failed()) << job.ErrorText().toStdString();
}

// The muxer picks its own time base when it writes the header (FLV counts milliseconds, MPEG-TS
// 1/90000 s): packets through bitstream filters must still keep their times.
TEST_F(JobTest, BitstreamFiltersKeepThePacketTimes) {
    const struct {
        const char* Output;
        const char* VideoCodec;
        const char* Filter;
    } cases[] = {
        {"filtered.flv", "flv", "null"},
        {"filtered.ts", "copy", "h264_mp4toannexb"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Output);
        const RunResult result =
            Convert(testmedia::Path(testmedia::kVideoOnly), Out(c.Output), [&](TCustomFFmpeg& job) {
                job.SetCodec("vcodec", c.VideoCodec);
                job.SetOption("vbsf", c.Filter);
            });
        ASSERT_TRUE(result.Finished) << result.Error.toStdString();
        const QJsonArray packets = FFprobePackets(Out(c.Output), "v:0");
        ASSERT_EQ(packets.size(), 150) << "none held back at the end";
        double last = -1;
        for (const QJsonValue& packet : packets)
            last = std::max(last, packet["pts_time"].toString().toDouble());
        EXPECT_NEAR(last - packets[0]["pts_time"].toString().toDouble(), 149 / 30.0, 0.05);
    }
}

TEST_F(JobTest, OneSourceStreamEncodedForOneOutputAndCopiedIntoAnother) {
    TCustomFFmpeg job;
    ASSERT_TRUE(job.OpenInputFile(testmedia::Path(testmedia::kVideoOnly)));
    job.SetCodec("vcodec", "flv");
    ASSERT_GE(job.OpenOutputFile(Out("encoded.flv")), 0);
    job.SetCodec("vcodec", "copy");
    ASSERT_GE(job.OpenOutputFile(Out("copied.mp4")), 0);
    const RunResult result = Run(job);
    ASSERT_TRUE(result.Finished) << result.Error.toStdString();
    for (const char* output : {"encoded.flv", "copied.mp4"}) {
        SCOPED_TRACE(output);
        EXPECT_EQ(FFprobePackets(Out(output), "v:0").size(), 150);
        EXPECT_NEAR(Duration(FFprobe(Out(output))), 5.0, 0.1);
    }
    EXPECT_EQ(Streams(FFprobe(Out("copied.mp4")), "video")[0]["codec_name"], "h264");
}

TEST_F(JobTest, TheAudioHookGetsEveryChannelInterleaved) {
    // AAC decodes into one plane per channel.
    for (const char* source : {testmedia::kH264Aac, testmedia::kSixChannels}) {
        SCOPED_TRACE(source);
        TCustomFFmpeg job;
        ASSERT_TRUE(job.OpenInputFile(testmedia::Path(source)));
        job.SetOption("vn", "1");
        job.SetChannels(2);
        ASSERT_GE(job.OpenOutputFile(Out("hooked.mp3")), 0);
        double seconds = 0;
        int channelsSeen = 0;
        int formatSeen = AV_SAMPLE_FMT_NONE;
        double lastSample = 0;
        job.OnAudioHook = [&](TCustomFFmpeg&, int64_t, uint8_t* data, int size, int rate,
                              int channels, int format) {
            channelsSeen = channels;
            formatSeen = format;
            const int frameBytes = channels * av_get_bytes_per_sample(AVSampleFormat(format));
            ASSERT_EQ(size % frameBytes, 0);
            seconds += double(size / frameBytes) / rate;
            // Every byte handed over is there to read.
            lastSample = reinterpret_cast<const float*>(data)[size / 4 - 1];
        };
        const RunResult result = Run(job);
        ASSERT_TRUE(result.Finished) << result.Error.toStdString();
        EXPECT_EQ(formatSeen, AV_SAMPLE_FMT_FLT);
        EXPECT_EQ(channelsSeen, std::string(source) == testmedia::kSixChannels ? 6 : 2);
        EXPECT_NEAR(seconds, 5.0, 0.1);
        EXPECT_LE(std::abs(lastSample), 1.0);
        QFile::remove(Out("hooked.mp3"));
    }
}

TEST_F(JobTest, AHangingRemoteInputTimesOut) {
    SilentServer server;
    TCustomFFmpeg job;
    job.IOTimeout = 300;
    const QString url = QStringLiteral("tcp://127.0.0.1:%1").arg(server.Port());
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(job.OpenInputFile(url));
    EXPECT_LT(clock.elapsed(), 20000);
    EXPECT_EQ(job.LastErrorText(), url + ": Immediate exit requested");
    std::lock_guard lock(logLock);
    EXPECT_EQ(logged.count(QStringLiteral("%1 connecting/reading/writing timeout").arg(llInfo)), 1);
}

TEST_F(JobTest, AStopEndsABlockingOpenOnAnotherThread) {
    SilentServer server;
    TCustomFFmpeg job;
    job.IOTimeout = 600000; // only the stop can end it
    std::atomic<bool> opened{true};
    std::thread opener([&] {
        opened = job.OpenInputFile(QStringLiteral("tcp://127.0.0.1:%1").arg(server.Port()));
    });
    // Once connected the open waits for the first bytes, which never come.
    EXPECT_TRUE(server.WaitForConnection(20000));
    job.Stop(false);
    opener.join();
    EXPECT_FALSE(opened);
    std::lock_guard lock(logLock);
    EXPECT_EQ(logged.count(QStringLiteral("%1 connecting/reading/writing canceled").arg(llInfo)),
              1);
}

TEST_F(JobTest, TwoPassEncoding) {
    const QString prefix = Out("twopass");
    for (const char* pass : {"1", "2"}) {
        const QString output = Out(QStringLiteral("pass%1.avi").arg(pass));
        const RunResult result =
            Convert(testmedia::Path(testmedia::kH264Aac), output, [&](TCustomFFmpeg& job) {
                job.SetOption("pass", pass);
                job.SetOption("passlogfile", prefix);
                job.SetCodec("vcodec", "mpeg4");
                job.SetBitrate("vb", 300000);
                job.SetOption("an", "1");
            });
        ASSERT_TRUE(result.Finished) << pass << ": " << result.Error.toStdString();
        EXPECT_TRUE(QFileInfo(prefix + "-0.log").size() > 0);
    }
    EXPECT_EQ(FFprobePackets(Out("pass2.avi"), "v:0").size(), 150);
}

TEST_F(JobTest, ATimestampJumpIsAbsorbed) {
    // Two transport stream pieces, the second stamped 100 s later, one after another in a file.
    const QString first = Out("first.ts");
    const QString second = Out("second.ts");
    for (const auto& [file, offset] : {std::pair{first, "0"}, std::pair{second, "100"}}) {
        ASSERT_EQ(RunProgram("ffmpeg", {"-v", "error", "-nostdin", "-y", "-i",
                                        testmedia::Path(testmedia::kH264Aac), "-t", "2",
                                        "-output_ts_offset", offset, "-c", "copy", file})
                      .ExitCode,
                  0);
    }
    const QString joined = Out("jump.ts");
    QFile out(joined);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    for (const QString& piece : {first, second}) {
        QFile in(piece);
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        out.write(in.readAll());
    }
    out.close();

    const QString output = Out("jump.flv");
    const RunResult result = Convert(joined, output, [](TCustomFFmpeg& job) {
        job.SetOption("v", "3");
        DefaultFlvOutput(job, "");
    });
    ASSERT_TRUE(result.Finished) << result.Error.toStdString();
    EXPECT_LT(Duration(FFprobe(output)), 10.0) << "the 100 s jump is not in the output";
    std::lock_guard lock(logLock);
    EXPECT_FALSE(logged.filter("timestamp discontinuity").isEmpty());
}

// "noautorotate" keeps the stored orientation; a copied stream keeps the display rotation it
// came with (a player still turns it).
TEST_F(JobTest, StoredOrientationOnRequestAndInCopies) {
    const QString kept = Out("kept.flv");
    const RunResult result = Convert(testmedia::Path(testmedia::kRotated90), kept,
                                     [](TCustomFFmpeg& job) { DefaultFlvOutput(job, ""); });
    ASSERT_TRUE(result.Finished) << result.Error.toStdString();
    TCustomFFmpeg stored;
    stored.SetOption("noautorotate", "");
    ASSERT_TRUE(stored.OpenInputFile(testmedia::Path(testmedia::kRotated90)));
    DefaultFlvOutput(stored, "");
    ASSERT_GE(stored.OpenOutputFile(Out("stored.flv")), 0);
    ASSERT_TRUE(Run(stored).Finished);

    const auto size = [&](const QString& file) {
        const QJsonObject video = Streams(FFprobe(file), "video")[0].toObject();
        return QSize(video["width"].toInt(), video["height"].toInt());
    };
    EXPECT_EQ(size(kept), QSize(360, 640));
    EXPECT_EQ(size(Out("stored.flv")), QSize(640, 360));

    const QString copy = Out("copy.mp4");
    ASSERT_TRUE(Convert(testmedia::Path(testmedia::kRotated90), copy, [](TCustomFFmpeg& job) {
                    job.SetCodec("vcodec", "copy");
                    job.SetCodec("acodec", "copy");
                }).Finished);
    const QJsonObject video = Streams(FFprobe(copy), "video")[0].toObject();
    EXPECT_EQ(QSize(video["width"].toInt(), video["height"].toInt()), QSize(640, 360));
    const QJsonArray sideData = video["side_data_list"].toArray();
    ASSERT_EQ(sideData.size(), 1) << "the display matrix went along";
    EXPECT_EQ(sideData[0].toObject()["rotation"].toInt(), -90);
}

namespace {

// Each packet's stream, time and data checksum, as ffprobe reads them.
QStringList PacketHashes(const QString& file) {
    const TProcessResult result =
        RunProgram(QStringLiteral("ffprobe"),
                   {"-v", "error", "-show_entries", "packet=stream_index,pts,data_hash",
                    "-show_data_hash", "CRC32", "-of", "csv", file});
    return QString::fromUtf8(result.Out).split('\n', Qt::SkipEmptyParts);
}

} // namespace

// Without "threads" the job decodes with automatic threads; the FLV default's encoders (flv,
// libmp3lame) have none, so the output is the same packet for packet as with one thread, and
// so are the run's totals.
TEST_F(JobTest, AutomaticThreadsKeepTheDefaultOutput) {
    struct TRun {
        QStringList Packets;
        TJobProgress Final;
        int64_t Duplicated = -1, Dropped = -1;
    };
    const auto convert = [this](const QString& output, bool oneThread) {
        TRun run;
        TCustomFFmpeg job;
        job.AutomaticThreads = 4;
        EXPECT_TRUE(job.OpenInputFile(testmedia::Path(testmedia::kH264Aac)));
        if (oneThread)
            job.SetOption("threads", "1");
        DefaultFlvOutput(job, "scale=320:240");
        EXPECT_GE(job.OpenOutputFile(output), 0);
        const RunResult result = Run(job);
        EXPECT_TRUE(result.Finished) << result.Error.toStdString();
        if (!result.Progress.isEmpty())
            run.Final = result.Progress.last();
        run.Duplicated = job.FramesDuplicated();
        run.Dropped = job.FramesDropped();
        run.Packets = PacketHashes(output);
        return run;
    };
    const TRun single = convert(Out("one.flv"), true);
    EXPECT_FALSE(logged.join('\n').contains("(automatic)"));
    logged.clear();
    const TRun automatic = convert(Out("automatic.flv"), false);
    EXPECT_TRUE(logged.join('\n').contains("Threads of input stream #0.0 (Video): 4 (automatic)"))
        << logged.join('\n').toStdString();
    EXPECT_GT(single.Packets.size(), 300);
    EXPECT_EQ(automatic.Packets, single.Packets);
    EXPECT_EQ(automatic.Final.FrameNumber, single.Final.FrameNumber);
    EXPECT_EQ(automatic.Final.TotalSize, single.Final.TotalSize);
    EXPECT_EQ(automatic.Duplicated, single.Duplicated);
    EXPECT_EQ(automatic.Dropped, single.Dropped);
}

// A stop while the encoder thread has a full queue (upscaled pictures encode slower than they
// decode) ends the run promptly and leaves nothing behind.
TEST_F(JobTest, AStopWhileTheEncoderThreadIsBusyEndsCleanly) {
    TCustomFFmpeg job;
    job.AutomaticThreads = 4;
    ASSERT_TRUE(job.OpenInputFile(testmedia::Path(testmedia::kOneMinute)));
    DefaultFlvOutput(job, "scale=1280:720");
    ASSERT_GE(job.OpenOutputFile(Out("busy.flv")), 0);
    std::atomic<int> progressCount{0};
    std::atomic<int> terminations{0};
    job.ProgressInterval = 50000;
    job.OnProgress = [&](TCustomFFmpeg&, const TJobProgress&) { ++progressCount; };
    job.OnTerminate = [&](TCustomFFmpeg&) { ++terminations; };
    job.Start(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return progressCount >= 2; }, 20000));
    job.Stop(true);
    EXPECT_EQ(terminations, 1);
    EXPECT_FALSE(job.Finished());
    EXPECT_FALSE(job.Failed());
    EXPECT_TRUE(FilesIn(dir.path()).isEmpty());
}
