// What a job does to the files it writes: nothing until it runs, a hidden temporary while it
// runs, the finished file under its name only at a successful end; never an input, never
// anything but a regular file, never a half-written file under the final name.

#include "JobFixture.h"

#include "common/FeedingServer.h"
#include "common/Process.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

class OutputSafetyTest : public TJobFixture {
protected:
    static void Write(const QString& path, const QByteArray& content) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    static QByteArray Read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // A job from the 5 s test file to `output`, with the settings of a new item.
    std::unique_ptr<TCustomFFmpeg> Job(const QString& output, bool overwrite = false) {
        auto job = std::make_unique<TCustomFFmpeg>();
        EXPECT_TRUE(job->OpenInputFile(testmedia::Path(testmedia::kH264Aac)));
        DefaultFlvOutput(*job, "");
        job->SetOverwrite(overwrite);
        EXPECT_GE(job->OpenOutputFile(output), 0) << job->LastErrorText().toStdString();
        return job;
    }
    QStringList Temporaries() const { return FilesIn(dir.path()).filter(".part"); }
};

} // namespace

TEST_F(OutputSafetyTest, TheFinishedFileAppearsOnlyAtTheEnd) {
    const QString output = Out("out.flv");
    Write(output, "an earlier conversion");
    auto job = Job(output, true);
    EXPECT_EQ(Read(output), "an earlier conversion") << "opening touches nothing";

    QStringList duringTheRun;
    QByteArray finalDuringTheRun;
    job->OnVideoOutputHook = [&](TCustomFFmpeg&, TVideoHookData& data) {
        if (data.FrameNumber == 10) {
            duringTheRun = FilesIn(dir.path());
            finalDuringTheRun = Read(output);
        }
    };
    const RunResult result = Run(*job);
    ASSERT_TRUE(result.Finished) << result.Error.toStdString();
    ASSERT_EQ(duringTheRun.size(), 2) << duringTheRun.join(' ').toStdString();
    EXPECT_TRUE(duringTheRun[0].startsWith(".out.flv.") && duringTheRun[0].endsWith(".part"))
        << "written under a hidden name";
    EXPECT_EQ(finalDuringTheRun, "an earlier conversion");
    EXPECT_EQ(FilesIn(dir.path()), QStringList{"out.flv"});
    EXPECT_NEAR(Duration(FFprobe(output)), 5.0, 0.1);
}

TEST_F(OutputSafetyTest, AFailedOrStoppedRunLeavesTheEarlierFileAsItWas) {
    const QString output = Out("out.flv");
    Write(output, "an earlier conversion");
    for (const bool stop : {false, true}) {
        SCOPED_TRACE(stop ? "stopped" : "failed");
        TCustomFFmpeg job;
        ASSERT_TRUE(job.OpenInputFile(testmedia::Path(testmedia::kH264Aac)));
        DefaultFlvOutput(job, "");
        job.SetOverwrite(true);
        // Fails when its first picture is written: rawvideo does not go into FLV.
        if (!stop)
            job.SetCodec("vcodec", "rawvideo");
        ASSERT_GE(job.OpenOutputFile(output), 0);
        job.OnVideoOutputHook = [&](TCustomFFmpeg& running, TVideoHookData& data) {
            if (stop && data.FrameNumber == 20)
                running.Stop(false);
        };
        const RunResult result = Run(job);
        EXPECT_FALSE(result.Finished);
        EXPECT_EQ(result.Failed, !stop) << result.Error.toStdString();
        EXPECT_EQ(Read(output), "an earlier conversion");
        EXPECT_EQ(FilesIn(dir.path()), QStringList{"out.flv"});
    }
}

TEST_F(OutputSafetyTest, WithoutOverwriteAFileThatAppearedMeanwhileIsKept) {
    const QString output = Out("out.flv");
    auto job = Job(output);
    job->OnVideoOutputHook = [&](TCustomFFmpeg&, TVideoHookData& data) {
        if (data.FrameNumber == 5)
            Write(output, "somebody else's");
    };
    const RunResult result = Run(*job);
    EXPECT_FALSE(result.Finished);
    EXPECT_EQ(result.Error, output + " exists");
    EXPECT_EQ(Read(output), "somebody else's");
    EXPECT_TRUE(Temporaries().isEmpty());
}

// Two runs on one output at the same time: each writes its own temporary, so the file is one
// of the two whole; without overwrite the later one fails instead of replacing the first.
TEST_F(OutputSafetyTest, TwoRunsOnOneOutputNeverMix) {
    for (const bool overwrite : {true, false}) {
        SCOPED_TRACE(overwrite ? "overwrite" : "keep");
        const QString output = Out(overwrite ? "both.flv" : "first.flv");
        TCustomFFmpeg small, large;
        for (TCustomFFmpeg* job : {&small, &large}) {
            ASSERT_TRUE(job->OpenInputFile(testmedia::Path(testmedia::kH264Aac)));
            DefaultFlvOutput(*job, job == &small ? "scale=160:120" : "scale=320:240");
            job->SetOverwrite(overwrite);
            ASSERT_GE(job->OpenOutputFile(output), 0);
        }
        std::thread other([&] { small.Start(false); });
        large.Start(false);
        other.join();
        EXPECT_EQ(int(small.Finished()) + int(large.Finished()), overwrite ? 2 : 1);
        if (!overwrite) {
            const TCustomFFmpeg& failed = small.Finished() ? large : small;
            EXPECT_EQ(failed.ErrorText(), output + " exists");
        }
        const QJsonArray video = Streams(FFprobe(output), "video");
        ASSERT_EQ(video.size(), 1);
        const int width = video[0]["width"].toInt();
        EXPECT_TRUE(width == 160 || width == 320) << width;
        EXPECT_EQ(FFprobePackets(output, "v:0").size(), 150) << "one whole run's pictures";
        EXPECT_TRUE(Temporaries().isEmpty());
    }
}

// A killed run leaves an unlocked temporary: the next run of the same output removes it. A
// temporary another live writer holds, and those of other outputs, stay.
TEST_F(OutputSafetyTest, TemporariesOfKilledRunsAreRemovedByTheNextRun) {
    const QString output = Out("out.flv");
    Write(Out(".out.flv.killed.part"), "half");
    Write(Out(".other.flv.killed.part"), "half");
    Write(Out(".out.flv.live.part"), "being written");
    const int live = ::open(QFile::encodeName(Out(".out.flv.live.part")).constData(), O_RDONLY);
    ASSERT_EQ(::flock(live, LOCK_EX), 0);
    const RunResult result = Run(*Job(output));
    ASSERT_TRUE(result.Finished) << result.Error.toStdString();
    EXPECT_EQ(FilesIn(dir.path()),
              QStringList({".other.flv.killed.part", ".out.flv.live.part", "out.flv"}));
    ::close(live);
}

TEST_F(OutputSafetyTest, AnInputIsNeverWrittenOver) {
    const QString source = Out("clip.flv");
    ASSERT_TRUE(QFile::copy(testmedia::Path(testmedia::kH264Aac), source));
    const QByteArray before = QCryptographicHash::hash(Read(source), QCryptographicHash::Sha256);
    ASSERT_EQ(::link(QFile::encodeName(source).constData(),
                     QFile::encodeName(Out("hardlink.flv")).constData()),
              0);
    ASSERT_TRUE(QFile::link(source, Out("symlink.flv")));
    for (const char* name : {"clip.flv", "./clip.flv", "hardlink.flv", "symlink.flv"}) {
        SCOPED_TRACE(name);
        const QString output = Out(QString::fromUtf8(name));
        TCustomFFmpeg job;
        ASSERT_TRUE(job.OpenInputFile(source));
        DefaultFlvOutput(job, "");
        job.SetOverwrite(true);
        EXPECT_EQ(job.OpenOutputFile(output), -1);
        EXPECT_EQ(job.LastErrorText(), output + " is one of the files being converted");
    }
    EXPECT_EQ(QCryptographicHash::hash(Read(source), QCryptographicHash::Sha256), before);
}

// A full disk fails the run with the system's words, leaves nothing and gives the room back.
// Needs a small file system of its own: a tmpfs, which only root may mount.
TEST_F(OutputSafetyTest, AFullDiskFailsAndLeavesNothing) {
    const QString small = Out("small");
    ASSERT_TRUE(QDir().mkpath(small));
    if (::geteuid() != 0 ||
        RunProgram("mount", {"-t", "tmpfs", "-o", "size=128k", "tmpfs", small}).ExitCode != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    struct Unmount {
        QString Folder;
        ~Unmount() { RunProgram("umount", {Folder}); }
    } unmount{small};
    struct statvfs empty {};
    ASSERT_EQ(::statvfs(QFile::encodeName(small).constData(), &empty), 0);

    const RunResult result = Run(*Job(small + "/out.flv"));
    EXPECT_FALSE(result.Finished);
    EXPECT_TRUE(result.Error.contains("No space left on device")) << result.Error.toStdString();
    EXPECT_TRUE(FilesIn(small).isEmpty()) << FilesIn(small).join(' ').toStdString();
    struct statvfs after {};
    ASSERT_EQ(::statvfs(QFile::encodeName(small).constData(), &after), 0);
    EXPECT_EQ(after.f_bfree, empty.f_bfree) << "the space is free again";
}

// The end of an input and a read that fails are told apart: a stream that simply ends still
// converts what came; one whose connection breaks fails with the system's words.
TEST_F(OutputSafetyTest, AFailingReadIsNotTheEndOfTheInput) {
    const QString flv = Out("source.flv");
    ASSERT_EQ(RunProgram("ffmpeg", {"-v", "error", "-i", testmedia::Path(testmedia::kH264Aac), "-c",
                                    "copy", flv})
                  .ExitCode,
              0);
    const QByteArray data = Read(flv);
    for (const auto end : {FeedingServer::TEnd::Close, FeedingServer::TEnd::Reset}) {
        const bool reset = end == FeedingServer::TEnd::Reset;
        SCOPED_TRACE(reset ? "reset" : "closed");
        FeedingServer server(data.left(data.size() * 3 / 5), end);
        const QString output = Out(reset ? "reset.flv" : "closed.flv");
        TCustomFFmpeg job;
        ASSERT_TRUE(job.OpenInputFile(QStringLiteral("tcp://127.0.0.1:%1").arg(server.Port())))
            << job.LastErrorText().toStdString();
        DefaultFlvOutput(job, "");
        ASSERT_GE(job.OpenOutputFile(output), 0);
        job.OnVideoOutputHook = [&](TCustomFFmpeg&, TVideoHookData& picture) {
            if (picture.FrameNumber == 10)
                server.Reset();
        };
        const RunResult result = Run(job);
        if (reset) {
            EXPECT_FALSE(result.Finished);
            EXPECT_EQ(
                result.Error,
                QStringLiteral("tcp://127.0.0.1:%1: Connection reset by peer").arg(server.Port()));
            EXPECT_FALSE(QFileInfo::exists(output));
        } else {
            EXPECT_TRUE(result.Finished) << result.Error.toStdString();
            EXPECT_NEAR(Duration(FFprobe(output)), 3.0, 0.5);
        }
    }
}
