#include "common/Process.h"
#include "common/TestMedia.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>

#include <cmath>

namespace {

TProcessResult RunCli(const QStringList& arguments) {
    return RunProgram(QStringLiteral(REELCASTER_CLI_PATH), arguments);
}

// "30/1" as a number.
double Rate(const QString& text) {
    const QStringList parts = text.split('/');
    return parts.size() == 2 && parts[1].toDouble() != 0 ? parts[0].toDouble() / parts[1].toDouble()
                                                         : 0.0;
}

QJsonArray StreamsOfKind(const QJsonDocument& probe, const char* kind) {
    QJsonArray streams;
    for (const QJsonValue& stream : probe["streams"].toArray()) {
        if (stream["codec_type"].toString() == QLatin1String(kind))
            streams.append(stream);
    }
    return streams;
}

// Our codec text is the decoder's name with its long name in brackets; ffprobe names the codec
// by its descriptor, whose long name the decoder shares.
void ExpectSameCodec(const QJsonValue& ours, const QJsonValue& theirs) {
    const QString text = ours["CodecName"].toString();
    EXPECT_TRUE(text.endsWith("(" + theirs["codec_long_name"].toString() + ")"))
        << text.toStdString() << " vs " << theirs["codec_long_name"].toString().toStdString();
}

} // namespace

TEST(CliInfo, AgreesWithFFprobeOnEveryPlayableFile) {
    const QStringList files = testmedia::PlayableFiles();
    const TProcessResult result = RunCli(QStringList{"info", "--json"} + files);
    ASSERT_FALSE(result.Crashed);
    ASSERT_EQ(result.ExitCode, 0) << result.Err.toStdString();
    const QJsonArray documents = QJsonDocument::fromJson(result.Out).array();
    ASSERT_EQ(documents.size(), files.size());

    for (int i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].toStdString());
        const QJsonValue ours = documents[i];
        const QJsonDocument probe = FFprobe(files[i]);
        ASSERT_TRUE(probe.isObject());
        EXPECT_EQ(ours["FileName"].toString(), files[i]);
        EXPECT_EQ(ours["FileSize"].toInteger(), probe["format"]["size"].toString().toLongLong());
        EXPECT_NEAR(ours["Duration"].toDouble() / 1e6,
                    probe["format"]["duration"].toString().toDouble(), 0.05);
        EXPECT_EQ(ours["StreamCount"].toInt(), probe["format"]["nb_streams"].toInt());

        const QJsonArray probeVideo = StreamsOfKind(probe, "video");
        const QJsonArray probeAudio = StreamsOfKind(probe, "audio");
        EXPECT_EQ(ours["VideoStreamCount"].toInt(), probeVideo.size());
        EXPECT_EQ(ours["AudioStreamCount"].toInt(), probeAudio.size());
        ASSERT_EQ(ours["video"].toArray().size(), probeVideo.size());
        ASSERT_EQ(ours["audio"].toArray().size(), probeAudio.size());

        for (int v = 0; v < probeVideo.size(); ++v) {
            const QJsonValue mine = ours["video"].toArray()[v];
            const QJsonValue theirs = probeVideo[v];
            EXPECT_EQ(mine["index"].toInt(), theirs["index"].toInt());
            EXPECT_EQ(mine["Width"].toInt(), theirs["width"].toInt());
            EXPECT_EQ(mine["Height"].toInt(), theirs["height"].toInt());
            EXPECT_DOUBLE_EQ(mine["FrameRateNum"].toDouble() / mine["FrameRateDen"].toDouble(),
                             Rate(theirs["avg_frame_rate"].toString()));
            ExpectSameCodec(mine, theirs);
        }
        for (int a = 0; a < probeAudio.size(); ++a) {
            const QJsonValue mine = ours["audio"].toArray()[a];
            const QJsonValue theirs = probeAudio[a];
            EXPECT_EQ(mine["index"].toInt(), theirs["index"].toInt());
            EXPECT_EQ(mine["SampleRate"].toInt(), theirs["sample_rate"].toString().toInt());
            EXPECT_EQ(mine["Channels"].toInt(), theirs["channels"].toInt());
            ExpectSameCodec(mine, theirs);
        }
    }
}

TEST(CliInfo, BadFilesAreReportedAndTheOthersStillProbed) {
    const QStringList files = {testmedia::Path(testmedia::kTruncated),
                               testmedia::Path(testmedia::kH264Aac),
                               testmedia::Path(testmedia::kEmpty),
                               testmedia::Path(testmedia::kRandomBytes), "/nonexistent/x.mp4"};
    const TProcessResult json = RunCli(QStringList{"info", "--json"} + files);
    ASSERT_FALSE(json.Crashed);
    EXPECT_EQ(json.ExitCode, 1);
    const QJsonArray documents = QJsonDocument::fromJson(json.Out).array();
    ASSERT_EQ(documents.size(), files.size());
    for (int i : {0, 2, 3, 4}) {
        EXPECT_EQ(documents[i]["FileName"].toString(), files[i]);
        EXPECT_TRUE(documents[i]["error"].toString().startsWith(files[i] + ": "))
            << documents[i]["error"].toString().toStdString();
    }
    EXPECT_EQ(documents[1]["VideoStreamCount"].toInt(), 1);
    EXPECT_EQ(documents[4]["error"].toString(), "/nonexistent/x.mp4: No such file or directory");

    const TProcessResult text = RunCli(QStringList{"info"} + files);
    EXPECT_EQ(text.ExitCode, 1);
    EXPECT_TRUE(text.Err.contains(": Invalid data found when processing input"));
    EXPECT_TRUE(text.Out.contains("CodecName:"));
}

TEST(CliInfo, TextOutputAndUsage) {
    const TProcessResult text = RunCli({"info", testmedia::Path(testmedia::kUnusualName)});
    EXPECT_EQ(text.ExitCode, 0);
    const QString out = QString::fromUtf8(text.Out);
    EXPECT_TRUE(out.startsWith(testmedia::Path(testmedia::kUnusualName) + "\n"));
    EXPECT_TRUE(out.contains("  Video stream #0\n"));
    EXPECT_TRUE(out.contains("  Audio stream #1\n"));
    EXPECT_TRUE(out.contains(QRegularExpression(R"(\n    Width: +320\n)")));

    const struct {
        QStringList Arguments;
        int ExitCode;
    } usage[] = {{{}, 2},
                 {{"info"}, 2},
                 {{"info", "--bogus", "x"}, 2},
                 {{"frobnicate"}, 2},
                 {{"info", "--help"}, 0},
                 {{"--help"}, 0}};
    for (const auto& u : usage) {
        const TProcessResult result = RunCli(u.Arguments);
        EXPECT_FALSE(result.Crashed);
        EXPECT_EQ(result.ExitCode, u.ExitCode) << u.Arguments.join(' ').toStdString();
    }
    EXPECT_TRUE(RunCli({"info", "--help"}).Out.contains("--json"));
}
