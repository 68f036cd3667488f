#include "common/Process.h"
#include "common/TestMedia.h"
#include "common/TestPictures.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include <QRegularExpression>

#include <csignal>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class ConvertCommandTest : public ::testing::Test {
protected:
    // REELCASTER_HOME starts empty: the profiles come with the program.
    TProcessResult Convert(const QStringList& arguments) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("REELCASTER_HOME", home.path());
        env.insert("TMPDIR", temp.path());
        return RunProgram(QStringLiteral(REELCASTER_CLI_PATH),
                          QStringList{"convert", "-o", out.path()} + arguments, env);
    }
    QString Out(const QString& name) const { return out.filePath(name); }
    // The same conversion, started and left running.
    std::unique_ptr<QProcess> Start(const QStringList& arguments) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("REELCASTER_HOME", home.path());
        env.insert("TMPDIR", temp.path());
        process->setProcessEnvironment(env);
        process->start(QStringLiteral(REELCASTER_CLI_PATH),
                       QStringList{"convert", "-o", out.path()} + arguments);
        EXPECT_TRUE(process->waitForStarted());
        return process;
    }
    // Everything in the output folder, hidden files too.
    QStringList OutputFiles() const {
        return QDir(out.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }
    void Write(const QString& path, const QByteArray& content) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    static QByteArray Read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static QStringList Codecs(const QJsonDocument& probe) {
        QStringList codecs;
        for (const QJsonValue& stream : probe["streams"].toArray())
            codecs << stream["codec_name"].toString();
        codecs.sort();
        return codecs;
    }
    static double Duration(const QString& file) {
        return FFprobe(file)["format"]["duration"].toString().toDouble();
    }

    QTemporaryDir home;
    QTemporaryDir out;
    QTemporaryDir temp;
};

} // namespace

TEST_F(ConvertCommandTest, NewItemSettingsGiveFlv) {
    const TProcessResult result =
        Convert({testmedia::Path(testmedia::kH264Aac), testmedia::Path(testmedia::kMpeg4Mp3Avi)});
    ASSERT_EQ(result.ExitCode, 0) << result.Err.toStdString();
    for (const char* name : {"h264_aac.flv", "mpeg4_mp3.flv"}) {
        const QJsonDocument probe = FFprobe(Out(name));
        EXPECT_EQ(Codecs(probe), (QStringList{"flv1", "mp3"})) << name;
        for (const QJsonValue& stream : probe["streams"].toArray()) {
            if (stream["codec_type"].toString() == "audio") {
                EXPECT_EQ(stream["sample_rate"].toString(), "44100");
                EXPECT_EQ(stream["channels"].toInt(), 2);
            }
        }
        EXPECT_NEAR(Duration(Out(name)), 5.0, 0.1) << name;
        EXPECT_TRUE(result.Out.contains(Out(name).toUtf8() + "  ")) << "the summary names it";
    }
    // The last progress line tells the whole batch done, at the rate it ran.
    const QList<QByteArray> lines = result.Out.split('\n');
    const auto last = std::find_if(lines.rbegin(), lines.rend(),
                                   [](const QByteArray& line) { return line.contains(" fps "); });
    ASSERT_NE(last, lines.rend());
    EXPECT_TRUE(last->contains("file 100%  batch 100%")) << last->toStdString();
    EXPECT_FALSE(last->contains("    0 fps")) << last->toStdString();
}

TEST_F(ConvertCommandTest, ProfileFourIsH264) {
    ASSERT_TRUE(QDir(home.path()).isEmpty());
    const TProcessResult result = Convert({"-p", "4", testmedia::Path(testmedia::kH264Aac)});
    ASSERT_EQ(result.ExitCode, 0) << result.Err.toStdString();
    EXPECT_EQ(Codecs(FFprobe(Out("h264_aac.flv"))), (QStringList{"aac", "h264"}));
}

// A user's own profile file in the data folder wins over the shipped one.
TEST_F(ConvertCommandTest, TheUsersOwnProfilesWin) {
    QFile shipped(QStringLiteral(REELCASTER_FORMAT_FILE));
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(shipped.readAll());
    // Profile 4 in Matroska instead of FLV.
    const qsizetype row = text.indexOf("<Row id=\"4\">");
    const qsizetype format = text.indexOf("<Format>0</Format>", row);
    ASSERT_TRUE(row > 0 && format > row);
    text.replace(format, 18, "<Format>3</Format>");
    QFile own(home.filePath("Format.dat"));
    ASSERT_TRUE(own.open(QIODevice::WriteOnly));
    own.write(text.toUtf8());
    own.close();

    const TProcessResult result = Convert({"-p", "4", testmedia::Path(testmedia::kH264Aac)});
    ASSERT_EQ(result.ExitCode, 0) << result.Err.toStdString();
    EXPECT_EQ(Codecs(FFprobe(Out("h264_aac.mkv"))), (QStringList{"aac", "h264"}));
    EXPECT_EQ(FFprobe(Out("h264_aac.mkv"))["format"]["format_name"].toString(), "matroska,webm");
}

TEST_F(ConvertCommandTest, MergeJoinsTheFiles) {
    const TProcessResult result = Convert({"--merge", testmedia::Path(testmedia::kH264Aac),
                                           testmedia::Path(testmedia::kMpeg4Mp3Avi)});
    ASSERT_EQ(result.ExitCode, 0) << result.Err.toStdString();
    const QStringList files = QDir(out.path()).entryList(QDir::Files);
    EXPECT_EQ(files, QStringList{"Merge.flv"}) << "only the merge item converts";
    EXPECT_NEAR(Duration(Out("Merge.flv")), 10.0, 0.2);
}

TEST_F(ConvertCommandTest, ClipSizeCropAndWatermark) {
    QImage logo(20, 16, QImage::Format_RGB32);
    logo.fill(Qt::red);
    const QString picture = out.filePath("logo.png");
    ASSERT_TRUE(logo.save(picture));
    const TProcessResult result = Convert({"--clip", "00:00:01+2", "--size", "160x120", "--crop",
                                           "0,0,160,120", "--watermark-image", picture + "@30,40",
                                           "-p", "2", testmedia::Path(testmedia::kH264Aac)});
    ASSERT_EQ(result.ExitCode, 0) << result.Err.toStdString();
    const QString clip = Out("h264_aac_1.mp4");
    ASSERT_TRUE(QFileInfo::exists(clip)) << QDir(out.path()).entryList().join(' ').toStdString();
    EXPECT_FALSE(QFileInfo::exists(Out("h264_aac.mp4"))) << "the whole file is not converted";
    EXPECT_NEAR(Duration(clip), 2.0, 0.1);
    const QJsonDocument probe = FFprobe(clip);
    for (const QJsonValue& stream : probe["streams"].toArray()) {
        if (stream["codec_type"].toString() == "video") {
            EXPECT_EQ(stream["width"].toInt(), 160);
            EXPECT_EQ(stream["height"].toInt(), 120);
        }
    }
    const QImage frame = FFmpegFrameAt(clip, 1.0);
    ASSERT_FALSE(frame.isNull());
    EXPECT_GT(frame.pixelColor(40, 48).red(), 180) << "the picture is at its place";
    EXPECT_LT(frame.pixelColor(40, 48).green(), 90);
}

TEST_F(ConvertCommandTest, ARunKeepsTheWindowsScaledPicturesAndLeavesNothingBehind) {
    // What the window keeps in the user's working folder while it is open.
    const QString userTemp = temp.filePath(QStringLiteral("reelcaster-%1").arg(::getuid()));
    const QString windowFolder =
        userTemp + "/{B7AE1E92-DF16-425A-A984-453ECE6A6338}/5EE42FCD6CBC44CB27DE";
    ASSERT_TRUE(QDir().mkpath(windowFolder));
    QFile::setPermissions(userTemp,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QImage logo(20, 16, QImage::Format_RGB32);
    logo.fill(Qt::red);
    ASSERT_TRUE(logo.save(windowFolder + "/~TmpA1.png"));
    const QString picture = out.filePath("logo.png");
    ASSERT_TRUE(logo.save(picture));

    const TProcessResult result =
        Convert({"--size", "160x120", "--watermark-image", picture + "@30,40",
                 testmedia::Path(testmedia::kVideoOnly)});
    ASSERT_EQ(result.ExitCode, 0) << result.Err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(windowFolder + "/~TmpA1.png"));
    EXPECT_EQ(QDir(userTemp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{"{B7AE1E92-DF16-425A-A984-453ECE6A6338}"})
        << "the run's own working folder is gone";
}

TEST_F(ConvertCommandTest, BadInputsAreReportedAndTheOthersConverted) {
    const TProcessResult result =
        Convert({testmedia::Path(testmedia::kEmpty), testmedia::Path(testmedia::kAudioOnly)});
    EXPECT_EQ(result.ExitCode, 1);
    EXPECT_TRUE(result.Err.contains("1 files have been loaded successfully,1 files failed.\n"
                                    "unloaded files:\n" +
                                    testmedia::Path(testmedia::kEmpty).toUtf8()))
        << result.Err.toStdString();
    EXPECT_EQ(Codecs(FFprobe(Out("audio_only.flv"))), QStringList{"mp3"});
}

TEST_F(ConvertCommandTest, ExistingOutputsAreSkippedUnlessReplaced) {
    ASSERT_EQ(Convert({testmedia::Path(testmedia::kAudioOnly)}).ExitCode, 0);
    const QDateTime first = QFileInfo(Out("audio_only.flv")).lastModified();
    TProcessResult again = Convert({testmedia::Path(testmedia::kAudioOnly)});
    EXPECT_EQ(again.ExitCode, 0);
    EXPECT_TRUE(again.Err.contains("skipped: " + Out("audio_only.flv").toUtf8() + " exists"));
    EXPECT_EQ(QFileInfo(Out("audio_only.flv")).lastModified(), first);
    again = Convert({"-y", "-q", testmedia::Path(testmedia::kAudioOnly)});
    EXPECT_EQ(again.ExitCode, 0);
    EXPECT_TRUE(again.Out.isEmpty()) << "quiet";
    EXPECT_FALSE(again.Err.contains("skipped"));
}

// Transcoder options for every output; a "vf" chain runs on what the item's own crop and
// watermark made: a grey picture with the red logo grey too, the crop kept.
TEST_F(ConvertCommandTest, OutputOptionsReachEveryOutput) {
    QImage logo(20, 16, QImage::Format_RGB32);
    logo.fill(Qt::red);
    const QString picture = out.filePath("logo.png");
    ASSERT_TRUE(logo.save(picture));
    const TProcessResult result =
        Convert({"--output-option", "vf=nativehue=0:-100", "--output-option", "vb=200000", "--crop",
                 "0,0,160,120", "--watermark-image", picture + "@30,40",
                 testmedia::Path(testmedia::kH264Aac), testmedia::Path(testmedia::kMpeg4Mp3Avi)});
    ASSERT_EQ(result.ExitCode, 0) << result.Err.toStdString();
    for (const char* name : {"h264_aac.flv", "mpeg4_mp3.flv"}) {
        SCOPED_TRACE(name);
        const QImage frame = FFmpegFrameAt(Out(name), 1.0);
        ASSERT_FALSE(frame.isNull());
        int colourful = 0;
        for (int y = 0; y < frame.height(); y += 4) {
            for (int x = 0; x < frame.width(); x += 4) {
                const QColor c = frame.pixelColor(x, y);
                colourful += std::max({c.red(), c.green(), c.blue()}) -
                                 std::min({c.red(), c.green(), c.blue()}) >
                             12;
            }
        }
        EXPECT_EQ(colourful, 0) << "the picture is grey";
        // The logo (red, now a mid grey) at its place on the upscaled quarter.
        const QColor mark = frame.pixelColor(40, 48);
        EXPECT_NEAR(mark.red(), 76, 20);
    }
    const QImage expected = FFmpegFrameAt(testmedia::Path(testmedia::kH264Aac), 1.0,
                                          "crop=160:120:0:0,scale=320:240,hue=s=0");
    EXPECT_LT(ThumbnailDifference(FFmpegFrameAt(Out("h264_aac.flv"), 1.0), expected), 10);
}

TEST_F(ConvertCommandTest, UsageErrorsAndHelp) {
    const QStringList bad[] = {{},
                               {"--size", "big", "x.mp4"},
                               {"--clip", "5", "x.mp4"},
                               {"--clip", "1+0", "x.mp4"},
                               {"--crop", "10,10,5,5", "x.mp4"},
                               {"-p", "5", "x.mp4"},
                               {"-j", "0", "x.mp4"},
                               {"--watermark-image", "logo.png", "x.mp4"},
                               {"--output-option", "vf", "x.mp4"},
                               {"--output-option", "=1", "x.mp4"},
                               {"--bogus", "x.mp4"}};
    for (const QStringList& arguments : bad)
        EXPECT_EQ(Convert(arguments).ExitCode, 2) << arguments.join(' ').toStdString();
    const TProcessResult help = Convert({"--help"});
    EXPECT_EQ(help.ExitCode, 0);
    for (const char* option :
         {"--output-dir", "--profile", "--size", "--clip", "--crop", "--watermark-image", "--merge",
          "--parallel", "--overwrite", "--quiet", "--output-option", "Example"})
        EXPECT_TRUE(help.Out.contains(option)) << option;
}

TEST_F(ConvertCommandTest, SeveralAtOnce) {
    const TProcessResult result =
        Convert({"-j", "2", testmedia::Path(testmedia::kH264Aac),
                 testmedia::Path(testmedia::kMpeg4Mp3Avi), testmedia::Path(testmedia::kVideoOnly)});
    ASSERT_EQ(result.ExitCode, 0) << result.Err.toStdString();
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files).size(), 3);
}

// Ctrl+C, a logout's SIGTERM or a SIGKILL in the middle of a batch: the file being converted
// never appears under its name, earlier files of the batch's other names stay as they were,
// and the next run without -y converts it (it finds no finished-looking file to skip).
TEST_F(ConvertCommandTest, AnInterruptedBatchLeavesNothingHalfWritten) {
    const struct {
        const char* Name;
        int Signal;
        int ExitCode;
    } cases[] = {{"SIGINT", SIGINT, 130}, {"SIGTERM", SIGTERM, 130}, {"SIGKILL", SIGKILL, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        for (const QString& name : OutputFiles())
            QFile::remove(Out(name));
        Write(Out("h264_aac.flv"), "an earlier conversion");
        Write(Out("mpeg4_mp3.flv"), "an earlier conversion");
        auto run =
            Start({"-y", testmedia::Path(testmedia::kOneMinute),
                   testmedia::Path(testmedia::kH264Aac), testmedia::Path(testmedia::kMpeg4Mp3Avi)});
        // The first report of file 1 comes while it is being converted.
        ASSERT_TRUE(QTest::qWaitFor([&] { return run->canReadLine(); }, 60000));
        ASSERT_TRUE(run->readLine().startsWith("[ 1 / 3 ] one_minute.flv"));
        ::kill(static_cast<pid_t>(run->processId()), c.Signal);
        ASSERT_TRUE(run->waitForFinished(30000));
        if (c.ExitCode >= 0)
            EXPECT_EQ(run->exitCode(), c.ExitCode) << run->readAllStandardError().toStdString();

        EXPECT_FALSE(QFileInfo::exists(Out("one_minute.flv")));
        EXPECT_EQ(Read(Out("h264_aac.flv")), "an earlier conversion");
        EXPECT_EQ(Read(Out("mpeg4_mp3.flv")), "an earlier conversion");
        // Only a killed run leaves its hidden temporary; nothing looks finished.
        const QStringList left = OutputFiles().filter(QRegularExpression("^\\.one_minute"));
        EXPECT_EQ(left.size(), c.Signal == SIGKILL ? 1 : 0) << left.join(' ').toStdString();

        const TProcessResult rerun = Convert({"-q", testmedia::Path(testmedia::kOneMinute)});
        EXPECT_EQ(rerun.ExitCode, 0) << rerun.Err.toStdString();
        EXPECT_FALSE(rerun.Err.contains("skipped"));
        EXPECT_NEAR(Duration(Out("one_minute.flv")), 60.0, 0.2);
        EXPECT_EQ(OutputFiles(), QStringList({"h264_aac.flv", "mpeg4_mp3.flv", "one_minute.flv"}))
            << "the rerun removed what the killed run left";
    }
}

// What the command says and its status, for what cannot be converted as asked.
TEST_F(ConvertCommandTest, FailuresAreTold) {
    QStringList many;
    for (int i = 0; i <= 20; ++i)
        many << testmedia::Path(testmedia::kAudioOnly);
    ASSERT_EQ(::mkfifo(QFile::encodeName(Out("video_only.flv")).constData(), 0600), 0);
    const struct {
        const char* Case;
        QStringList Arguments;
        int ExitCode;
        const char* Says;
    } cases[] = {
        {"noise",
         {testmedia::Path(testmedia::kRandomBytes)},
         1,
         "random_bytes.mp4: Invalid data found when processing input"},
        {"a clip after the end",
         {"--clip", "00:00:10+2", testmedia::Path(testmedia::kH264Aac)},
         1,
         "nothing to convert: the clip starts after the end of the file"},
        {"a merge of 21", QStringList{"--merge"} + many, 1,
         "Merge failed: max input files 20 reached"},
        {"a FIFO as output",
         {"-y", testmedia::Path(testmedia::kVideoOnly)},
         1,
         "video_only.flv: Not a regular file"},
        {"an input that ends early",
         {testmedia::Path(testmedia::kCutOff)},
         0,
         "cut_off.flv: input ended at 00:00:02 of 00:00:05"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Case);
        const TProcessResult result = Convert(c.Arguments);
        EXPECT_FALSE(result.Crashed) << "and at once, for the FIFO";
        EXPECT_EQ(result.ExitCode, c.ExitCode) << result.Err.toStdString();
        EXPECT_TRUE(result.Err.contains(c.Says)) << result.Err.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(Out("Merge.flv"))) << "no merge with parts missing";
    EXPECT_NEAR(Duration(Out("cut_off.flv")), 2.0, 0.5);
}

// A file converted where it lies, with -y, is never its own output.
TEST_F(ConvertCommandTest, AFileIsNeverConvertedOntoItself) {
    const QString source = Out("clip.flv");
    ASSERT_TRUE(QFile::copy(testmedia::Path(testmedia::kH264Aac), source));
    const QByteArray before = Read(source);
    const TProcessResult result = Convert({"-y", source});
    ASSERT_EQ(result.ExitCode, 0) << result.Err.toStdString();
    EXPECT_EQ(Read(source), before);
    EXPECT_NEAR(Duration(Out("clip_1.flv")), 5.0, 0.1);
}

// A reader that stops early does not stop the conversion.
TEST_F(ConvertCommandTest, AClosedPipeEndsOnlyTheDisplay) {
    const QString command =
        QStringLiteral(
            "set -o pipefail; REELCASTER_HOME='%1' TMPDIR='%2' '%3' convert -o '%4' '%5' "
            "| head -c 1 > /dev/null")
            .arg(home.path(), temp.path(), QStringLiteral(REELCASTER_CLI_PATH), out.path(),
                 testmedia::Path(testmedia::kOneMinute));
    const TProcessResult result = RunProgram("bash", {"-c", command});
    EXPECT_EQ(result.ExitCode, 0) << result.Err.toStdString();
    EXPECT_NEAR(Duration(Out("one_minute.flv")), 60.0, 0.2);
}

namespace {

// A 16 × 16 greyscale picture at 1 s: what a person would recognise of a frame, whatever its
// size. `autorotate` false shows a source as it is stored.
QImage Thumbnail(const QString& file, const QString& filters = {}, bool autorotate = true) {
    QTemporaryDir dir;
    QStringList arguments{"-v", "error", "-nostdin"};
    if (!autorotate)
        arguments << "-noautorotate";
    arguments << "-ss"
              << "1"
              << "-i" << file << "-frames:v"
              << "1"
              << "-vf"
              << (filters.isEmpty() ? QString() : filters + ",") + "scale=16:16,format=gray"
              << dir.filePath("thumb.png");
    RunProgram("ffmpeg", arguments);
    return QImage(dir.filePath("thumb.png")).convertToFormat(QImage::Format_Grayscale8);
}

QJsonObject VideoStream(const QString& file) {
    for (const QJsonValue& stream : FFprobe(file)["streams"].toArray()) {
        if (stream["codec_type"].toString() == "video")
            return stream.toObject();
    }
    return {};
}

// The mean difference of two thumbnails, 0 … 255; 255 when either is missing.
double Difference(const QImage& a, const QImage& b) {
    if (a.isNull() || b.isNull() || a.size() != b.size())
        return 255.0;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            sum += std::abs(int(a.pixelColor(x, y).value()) - int(b.pixelColor(x, y).value()));
    return sum / (a.width() * a.height());
}

} // namespace

// Phone videos come out upright and DVD pictures with their own shape: the size and the
// picture are those a player shows of the source, not its stored ones.
TEST_F(ConvertCommandTest, PicturesComeOutAsTheyAreSeen) {
    const struct {
        const char* File;
        int Width, Height;
        bool Stored; // the stored picture differs from the shown one
    } cases[] = {
        {testmedia::kRotated90, 360, 640, true},
        {testmedia::kRotated180, 640, 360, true},
        {testmedia::kRotated270, 360, 640, true},
        {testmedia::kAnamorphic, 1024, 576, false},
    };
    QStringList files;
    for (const auto& c : cases)
        files << testmedia::Path(c.File);
    const TProcessResult result = Convert(files);
    ASSERT_EQ(result.ExitCode, 0) << result.Err.toStdString();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.File);
        const QString output = Out(QFileInfo(c.File).completeBaseName() + ".flv");
        const QJsonObject video = VideoStream(output);
        EXPECT_EQ(video["width"].toInt(), c.Width);
        EXPECT_EQ(video["height"].toInt(), c.Height);
        EXPECT_FALSE(video.contains("side_data_list")) << "no rotation left to apply";
        const QString sar = video["sample_aspect_ratio"].toString();
        EXPECT_TRUE(sar.isEmpty() || sar == "1:1") << sar.toStdString();

        const QImage ours = Thumbnail(output);
        const QImage shown = Thumbnail(testmedia::Path(c.File));
        EXPECT_LT(Difference(ours, shown), 12.0) << "the picture a player shows";
        if (c.Stored) {
            EXPECT_GT(Difference(ours, Thumbnail(testmedia::Path(c.File), {}, false)), 25.0)
                << "not the stored one";
        }
    }
}

// A crop rectangle is in the upright picture: this one fits only a portrait frame.
TEST_F(ConvertCommandTest, ACropOnATurnedVideoCropsTheUprightPicture) {
    const TProcessResult result = Convert(
        {"--crop", "0,400,360,640", "--size", "360x240", testmedia::Path(testmedia::kRotated90)});
    ASSERT_EQ(result.ExitCode, 0) << result.Err.toStdString();
    const QString output = Out("rotated_90.flv");
    const QJsonObject video = VideoStream(output);
    EXPECT_EQ(video["width"].toInt(), 360);
    EXPECT_EQ(video["height"].toInt(), 240);
    EXPECT_LT(Difference(Thumbnail(output),
                         Thumbnail(testmedia::Path(testmedia::kRotated90), "crop=360:240:0:400")),
              12.0);
}

// An odd size is evened out, as FLV and most encoders need.
TEST_F(ConvertCommandTest, AnOddSizeComesOutEven) {
    const QString odd = temp.filePath("odd.mkv");
    ASSERT_EQ(RunProgram("ffmpeg", {"-v", "error", "-f", "lavfi", "-i",
                                    "testsrc=size=321x241:rate=25:duration=1", "-c:v", "ffv1",
                                    "-pix_fmt", "yuv444p", odd})
                  .ExitCode,
              0);
    const TProcessResult result = Convert({odd});
    ASSERT_EQ(result.ExitCode, 0) << result.Err.toStdString();
    const QJsonObject video = VideoStream(Out("odd.flv"));
    EXPECT_EQ(video["width"].toInt(), 322);
    EXPECT_EQ(video["height"].toInt(), 242);
}
