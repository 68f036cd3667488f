#include "core/U_ConvertingBatch.h"

#include "core/U_FormatsChoice.h"
#include "core/U_TreelistModel.h"
#include "core/U_XML.h"
#include "engine/FFLoad.h"

#include "common/Process.h"
#include "common/TestMedia.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

class FakeQuestion : public IReplaceQuestion {
public:
    explicit FakeQuestion(QList<TReplaceAnswer> answers) : Answers(std::move(answers)) {}
    TReplaceAnswer AskReplace(const QString& path) override {
        Asked << path;
        return Answers.isEmpty() ? TReplaceAnswer::No : Answers.takeFirst();
    }
    QList<TReplaceAnswer> Answers;
    QStringList Asked;
};

class BatchTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(FFLoader().LoadLibraries(TLibrarySet::All())); }

    TJobRow* Add(const QString& path) {
        EXPECT_TRUE(list.AddSourceFile(path, prober.Decoder(), folder));
        return list.TopLevel(list.TopLevelCount() - 1);
    }
    void Touch(const QString& path) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    // Runs the batch's tasks one at a time and collects what the window would be told.
    std::vector<TBatchEndView> Run(TFFEncoder& encoder, TConversionBatch& batch) {
        std::vector<TBatchEndView> ends;
        encoder.OnTerminate = [&](QObject*, const TTerminateInfo& info) {
            ends.push_back(batch.Terminated(info));
        };
        encoder.StartTask(1);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !ends.empty() && ends.back().RunEnded; }, 120000));
        return ends;
    }

    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    TFFEncoder prober;
    TJobList list;
    QStringList log;
    TBatchLog logger = [this](bool error, const QString& line) {
        log << QString(error ? "E " : "I ") + line;
    };
};

} // namespace

TEST_F(BatchTest, ListOrderClipsAfterTheirItemAndMerges) {
    TJobRow* a = Add(testmedia::Path(testmedia::kH264Aac));
    TJobRow* b = Add(testmedia::Path(testmedia::kMpeg4Mp3Avi));
    for (TJobRow* owner : {a, b}) {
        ClipList() = {TClipFile{"c", 0, 1000000, 1000000, "320x240", "320x240", 1, {}}};
        list.SetFocused(owner);
        list.CommitClipList(folder);
    }
    list.SetChecked(a, true); // a converts whole and as a clip; b only as a clip
    TJobRow* c = Add(testmedia::Path(testmedia::kVideoOnly));
    TJobRow* d = Add(testmedia::Path(testmedia::kAudioOnly));
    list.DeselectAll();
    list.SetSelected(c, true);
    list.SetSelected(d, true);
    TJobRow* merge = list.MergeSelected(folder);

    TFFEncoder encoder;
    TConversionBatch batch(encoder, logger);
    FakeQuestion question({});
    batch.Build(list, question);
    EXPECT_TRUE(question.Asked.isEmpty());
    EXPECT_EQ(batch.Attempted(), (QStringList{a->Item.OutputOptions.FileName,
                                              a->Children[0]->Item.OutputOptions.FileName,
                                              b->Children[0]->Item.OutputOptions.FileName,
                                              merge->Item.OutputOptions.FileName}));
    ASSERT_EQ(encoder.TaskCount(), 4);
    EXPECT_EQ(encoder.Task(3)->InputFileCount(), 2) << "the merge task reads both members";
    EXPECT_TRUE(encoder.Task(3)->Joining());
    EXPECT_EQ(batch.BatchTotal(), a->Item.Duration + 1000000 + 1000000 + merge->Item.Duration);
    EXPECT_EQ(batch.InitialCounter(), "[ 0 / 4 ]");
    EXPECT_EQ(log.count("I [Merge Video]"), 2);
    EXPECT_TRUE(log.contains("I Success to Load File: " + c->Item.InputOptions.FileName));
}

TEST_F(BatchTest, ItemLogBlock) {
    TJobRow* a = Add(testmedia::Path(testmedia::kH264Aac));
    TFFEncoder encoder;
    TConversionBatch batch(encoder, logger);
    FakeQuestion question({});
    batch.Build(list, question);
    const QStringList expected = {
        "I [SetEncodeParam]",
        "I Success to Load File: " + a->Item.InputOptions.FileName,
        "I File Format[.flv]  VideoCodec[flv]  [320x240]  30 fps ,512000 bps\r\n" +
            QString(23, ' ') + "AudioCodec[libmp3lame] 44100 Hz, 2 Channels, 96000 bps",
        "I TimeStart: -9223372036854.77539, TimeLength: -9223372036854.77539",
        "I OutPutName: " + a->Item.OutputOptions.FileName,
        "I [SetEncodeParam]"};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(a->Item.OutputOptions.VideoFilters, "scale=320:240");
}

TEST_F(BatchTest, OverwriteAnswers) {
    const struct {
        const char* Case;
        QList<TReplaceAnswer> Answers;
        QList<bool> Exists; // of the four outputs
        int Asked;
        QList<int> Converted; // rows that got a task
    } cases[] = {
        {"yes then no",
         {TReplaceAnswer::Yes, TReplaceAnswer::No},
         {true, true, false, true},
         3,
         {0, 2}},
        {"no to all", {TReplaceAnswer::NoToAll}, {true, false, true, false}, 1, {1, 3}},
        {"yes to all", {TReplaceAnswer::YesToAll}, {true, true, false, true}, 1, {0, 1, 2, 3}},
        {"cancel", {TReplaceAnswer::Cancel}, {false, true, false, false}, 1, {0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Case);
        list.Clear();
        QTemporaryDir outputs;
        for (int i = 0; i < 4; ++i) {
            TJobRow* row = Add(testmedia::Path(testmedia::kAudioOnly));
            row->Item.OutputOptions.FileName = outputs.filePath(QStringLiteral("out%1.flv").arg(i));
            if (c.Exists[i])
                Touch(row->Item.OutputOptions.FileName);
        }
        TFFEncoder encoder;
        TConversionBatch batch(encoder, logger);
        FakeQuestion question(c.Answers);
        batch.Build(list, question);
        EXPECT_EQ(question.Asked.size(), c.Asked);
        QStringList expected;
        for (int row : c.Converted)
            expected << list.TopLevel(row)->Item.OutputOptions.FileName;
        EXPECT_EQ(batch.Attempted(), expected);
    }
}

TEST_F(BatchTest, FailuresWhileBuilding) {
    Add(testmedia::Path(testmedia::kH264Aac));
    TJobRow* gone = Add(testmedia::Path(testmedia::kH264Aac));
    TJobRow* badCodec = Add(testmedia::Path(testmedia::kH264Aac));
    Add(testmedia::Path(testmedia::kH264Aac));
    gone->Item.InputOptions.FileName = dir.filePath("vanished.mp4");
    badCodec->Item.OutputOptions.VideoCodec = "nosuchcodec";
    badCodec->Item.WaterMarkType = wmText;
    TJobRow* last = list.TopLevel(3);
    last->Item.WaterMarkType = wmText;
    last->Item.WaterMark.WaterMarkText = "last";

    TFFEncoder encoder;
    TConversionBatch batch(encoder, logger);
    FakeQuestion question({});
    batch.Build(list, question);
    EXPECT_EQ(batch.AttemptedCount(), 4) << "failed items count as attempted";
    EXPECT_EQ(encoder.TaskCount(), 2);
    EXPECT_TRUE(log.contains("E File open Error: " + dir.filePath("vanished.mp4") +
                             ": No such file or directory"));
    EXPECT_TRUE(log.contains("E SetOutput Error: new_video_stream fail: Unknown encoder "
                             "'nosuchcodec'"));
    ASSERT_EQ(batch.TextWaterMarks().size(), 1) << "the removed task's watermark went with it";
    EXPECT_EQ(batch.TextWaterMarks()[0].TaskIndex, 1);
    EXPECT_EQ(batch.TextWaterMarks()[0].WaterMark.WaterMarkText, "last");
    EXPECT_EQ(batch.TaskOutputName(1), last->Item.OutputOptions.FileName);
}

TEST_F(BatchTest, ProgressArithmetic) {
    for (int i = 0; i < 2; ++i)
        Add(testmedia::Path(testmedia::kH264Aac))->Item.Duration = 5000000;
    TFFEncoder encoder;
    TConversionBatch batch(encoder, logger);
    FakeQuestion question({});
    batch.Build(list, question);
    ASSERT_EQ(batch.BatchTotal(), 10000000);

    TProgressInfo info;
    info.TaskIndex = 0;
    info.TotalDuration = 5000000;
    info.CurrentDuration = 2500000;
    TBatchProgressView view = batch.Progress(info);
    EXPECT_TRUE(view.FileChanged);
    EXPECT_EQ(view.FileName, "h264_aac.flv");
    EXPECT_EQ(view.FilePercent, 50);
    EXPECT_EQ(view.TotalPercent, 25);
    EXPECT_EQ(view.Counter, "[ 1 / 2 ]");

    info.CurrentDuration = 5000000; // the final report: the bars stay
    view = batch.Progress(info);
    EXPECT_FALSE(view.FileChanged);
    EXPECT_EQ(view.FilePercent, -1);

    info.TaskIndex = 1;
    info.CurrentDuration = 1000000;
    view = batch.Progress(info);
    EXPECT_TRUE(view.FileChanged);
    EXPECT_EQ(view.FileName, "h264_aac_1.flv");
    EXPECT_EQ(view.FilePercent, 20);
    EXPECT_EQ(view.TotalPercent, 60);
    EXPECT_EQ(view.Counter, "[ 2 / 2 ]");
}

TEST_F(BatchTest, ABatchWithoutDurationsCountsTasks) {
    for (int i = 0; i < 4; ++i)
        Add(testmedia::Path(testmedia::kH264Aac))->Item.Duration = -1;
    TFFEncoder encoder;
    TConversionBatch batch(encoder, logger);
    FakeQuestion question({});
    batch.Build(list, question);
    ASSERT_EQ(batch.BatchTotal(), 0);
    TProgressInfo info;
    info.TaskIndex = 2;
    info.TotalDuration = 5000000;
    info.CurrentDuration = 2500000;
    const TBatchProgressView view = batch.Progress(info);
    EXPECT_EQ(view.TotalPercent, 62) << "two and a half of four tasks";
    EXPECT_DOUBLE_EQ(view.TotalDone, 0.625) << "the estimate of the time left is not rounded";
}

TEST_F(BatchTest, AFailingTaskDoesNotEndTheBatch) {
    Add(testmedia::Path(testmedia::kH264Aac))->Item.OutputFrameSize = "320x240";
    TJobRow* failing = Add(testmedia::Path(testmedia::kH264Aac));
    Add(testmedia::Path(testmedia::kMpeg4Mp3Avi));
    // A text the filter graph rejects fails the task when it runs.
    failing->Item.WaterMarkType = wmPicture;
    failing->Item.WaterMark.PictureFile = dir.filePath("no-such-picture.png");

    TFFEncoder encoder;
    TConversionBatch batch(encoder, logger);
    FakeQuestion question({});
    batch.Build(list, question);
    ASSERT_EQ(encoder.TaskCount(), 3);
    const std::vector<TBatchEndView> ends = Run(encoder, batch);
    ASSERT_EQ(ends.size(), 4u);
    EXPECT_TRUE(ends[0].FileBarFull);
    EXPECT_TRUE(ends[1].ErrorLine.startsWith("Error opening filters: movie="))
        << ends[1].ErrorLine.toStdString();
    EXPECT_TRUE(ends[3].RunEnded);
    EXPECT_FALSE(ends[3].AllConverted);
    EXPECT_EQ(batch.FailedCount(), 1);
    EXPECT_TRUE(QFileInfo(list.TopLevel(2)->Item.OutputOptions.FileName).size() > 0)
        << "the task after the failure still ran";
}

TEST_F(BatchTest, EveryProfileConvertsIntoItsContainer) {
    ASSERT_TRUE(LoadFormatProfiles(QStringLiteral(REELCASTER_FORMAT_FILE)));
    const struct {
        int Profile;
        const char* Format;
        const char* Video;
        const char* Audio;
    } cases[] = {{1, "flv", "flv1", "mp3"},
                 {2, "mov,mp4,m4a,3gp,3g2,mj2", "mpeg4", "aac"},
                 {3, "avi", "mpeg4", "mp3"},
                 {4, "flv", "h264", "aac"}};
    for (const auto& c : cases) {
        TJobRow* row = Add(testmedia::Path(testmedia::kH264Aac));
        TFormatChoice choice;
        QString error;
        ASSERT_TRUE(ProfileChoice(c.Profile, choice, &error));
        choice.Width = "320";
        choice.Height = "240";
        choice.Volume = "256";
        ASSERT_TRUE(ApplyFormatChoice(choice, list, *row, folder, &error)) << error.toStdString();
        row->Item.OutputOptions.Duration = 1000000; // a second is enough
    }
    TFFEncoder encoder;
    TConversionBatch batch(encoder, logger);
    FakeQuestion question({});
    batch.Build(list, question);
    ASSERT_EQ(encoder.TaskCount(), 4);
    const std::vector<TBatchEndView> ends = Run(encoder, batch);
    ASSERT_TRUE(!ends.empty() && ends.back().AllConverted) << log.join('\n').toStdString();
    for (int i = 0; i < 4; ++i) {
        const QJsonDocument probe = FFprobe(batch.TaskOutputName(i));
        EXPECT_EQ(probe["format"]["format_name"].toString(), cases[i].Format) << cases[i].Profile;
        QStringList codecs;
        for (const QJsonValue& stream : probe["streams"].toArray())
            codecs << stream["codec_name"].toString();
        codecs.sort();
        QStringList expected{cases[i].Video, cases[i].Audio};
        expected.sort();
        EXPECT_EQ(codecs, expected) << cases[i].Profile;
    }
}

TEST_F(BatchTest, APictureWithAwkwardCharactersStillConverts) {
    QImage logo(32, 24, QImage::Format_RGB32);
    logo.fill(Qt::red);
    const QString picture = dir.filePath("logo, [v2]; it's: a=b best.png");
    ASSERT_TRUE(logo.save(picture));
    TJobRow* row = Add(testmedia::Path(testmedia::kH264Aac));
    row->Item.WaterMarkType = wmPicture;
    row->Item.WaterMark.PictureFile = picture;
    row->Item.WaterMark.OutputRect = QRect(100, 50, 32, 24);
    row->Item.OutputOptions.Duration = 1000000;
    TFFEncoder encoder;
    TConversionBatch batch(encoder, logger);
    FakeQuestion question({});
    batch.Build(list, question);
    const std::vector<TBatchEndView> ends = Run(encoder, batch);
    ASSERT_TRUE(!ends.empty() && ends.back().AllConverted) << ends.front().ErrorLine.toStdString();
    const QImage frame = FFmpegFrameAt(batch.TaskOutputName(0), 0.5);
    ASSERT_FALSE(frame.isNull());
    EXPECT_GT(frame.pixelColor(116, 62).red(), 180);
    EXPECT_LT(frame.pixelColor(116, 62).green(), 90);
}

// Building the batch writes nothing: earlier outputs stay as they were until their task has
// converted, and a new output does not exist before its task ends.
TEST_F(BatchTest, BuildingTouchesNoFile) {
    TJobRow* replaced = Add(testmedia::Path(testmedia::kH264Aac));
    TJobRow* fresh = Add(testmedia::Path(testmedia::kMpeg4Mp3Avi));
    const QString earlier = replaced->Item.OutputOptions.FileName;
    {
        QFile file(earlier);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("an earlier conversion");
    }
    TFFEncoder encoder;
    TConversionBatch batch(encoder, logger);
    FakeQuestion question({TReplaceAnswer::Yes});
    batch.Build(list, question);
    ASSERT_EQ(encoder.TaskCount(), 2);
    EXPECT_TRUE(replaced->Item.OutputOptions.Overwrite) << "the user agreed";
    EXPECT_FALSE(fresh->Item.OutputOptions.Overwrite) << "nothing was there to replace";
    QFile file(earlier);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "an earlier conversion");
    EXPECT_FALSE(QFileInfo::exists(fresh->Item.OutputOptions.FileName));

    const std::vector<TBatchEndView> ends = Run(encoder, batch);
    ASSERT_FALSE(ends.empty());
    EXPECT_TRUE(ends.back().AllConverted);
    EXPECT_NEAR(FFprobe(earlier)["format"]["duration"].toString().toDouble(), 5.0, 0.1);
}

// An item whose output is a file the batch reads (its own source, another item's, under any
// name) is refused with the reason; the others convert and no input changes.
TEST_F(BatchTest, AnOutputThatIsAnInputIsRefused) {
    const QString source = dir.filePath("clip.flv");
    ASSERT_TRUE(QFile::copy(testmedia::Path(testmedia::kH264Aac), source));
    TJobRow* self = Add(source);
    TJobRow* other = Add(testmedia::Path(testmedia::kMpeg4Mp3Avi));
    TJobRow* fine = Add(testmedia::Path(testmedia::kAudioOnly));
    EXPECT_NE(self->Item.OutputOptions.FileName, source) << "a new item's name avoids its source";
    self->Item.OutputOptions.FileName = source;
    other->Item.OutputOptions.FileName = dir.path() + "/./clip.flv";
    const QByteArray before = [&] {
        QFile file(source);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();

    TFFEncoder encoder;
    TConversionBatch batch(encoder, logger);
    FakeQuestion question({TReplaceAnswer::YesToAll});
    batch.Build(list, question);
    EXPECT_TRUE(question.Asked.isEmpty()) << "an input is not offered for replacing";
    EXPECT_EQ(encoder.TaskCount(), 1);
    EXPECT_EQ(batch.Failures(),
              QStringList({"clip.flv: " + source + " is one of the files being converted",
                           "clip.flv: " + dir.path() +
                               "/./clip.flv is one of the files being "
                               "converted"}));
    const std::vector<TBatchEndView> ends = Run(encoder, batch);
    EXPECT_FALSE(ends.back().AllConverted);
    EXPECT_TRUE(QFileInfo::exists(fine->Item.OutputOptions.FileName));
    QFile file(source);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before) << "the source is byte for byte what it was";
}

// A merge converts all of its members or nothing.
TEST_F(BatchTest, AMergeThatCannotTakeEveryMemberFails) {
    for (int i = 0; i < TCustomEncoder::kMaxFiles + 1; ++i)
        Add(testmedia::Path(testmedia::kAudioOnly));
    for (int i = 0; i < list.TopLevelCount(); ++i)
        list.SetSelected(list.TopLevel(i), true);
    TJobRow* merge = list.MergeSelected(folder);
    ASSERT_NE(merge, nullptr);
    for (int i = 0; i < list.TopLevelCount() - 1; ++i)
        list.SetChecked(list.TopLevel(i), false);

    TFFEncoder encoder;
    TConversionBatch batch(encoder, logger);
    FakeQuestion question({});
    batch.Build(list, question);
    EXPECT_EQ(encoder.TaskCount(), 0);
    EXPECT_EQ(batch.Failures(), QStringList{"Merge.flv: Merge failed: max input files 20 reached"});
    const std::vector<TBatchEndView> ends = Run(encoder, batch);
    ASSERT_FALSE(ends.empty());
    EXPECT_FALSE(ends.back().AllConverted) << "never a completed merge with parts missing";
    EXPECT_FALSE(QFileInfo::exists(merge->Item.OutputOptions.FileName));
}

TEST_F(BatchTest, AnOutputThatIsNoRegularFileIsRefused) {
    TJobRow* row = Add(testmedia::Path(testmedia::kAudioOnly));
    row->Item.OutputOptions.FileName = dir.filePath("fifo.flv");
    ASSERT_EQ(::mkfifo(QFile::encodeName(row->Item.OutputOptions.FileName).constData(), 0600), 0);
    TFFEncoder encoder;
    TConversionBatch batch(encoder, logger);
    FakeQuestion question({TReplaceAnswer::Yes});
    batch.Build(list, question);
    EXPECT_TRUE(question.Asked.isEmpty());
    EXPECT_EQ(encoder.TaskCount(), 0);
    EXPECT_EQ(batch.Failures(), QStringList{"fifo.flv: " + row->Item.OutputOptions.FileName +
                                            ": Not a regular file"});
}
