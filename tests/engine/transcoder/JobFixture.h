#pragma once

// What the transcoding job's tests share: the engine log captured, a temporary folder, the
// settings of a new job item, and running a job to its end on the calling thread.

#include "engine/FFLoad.h"
#include "engine/FFLog.h"
#include "engine/transcoder/FFmpeg.h"

#include "common/TestMedia.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <memory>
#include <mutex>

struct RunResult {
    bool Finished = false;
    bool Failed = false;
    QString Error;
    QList<TJobProgress> Progress;
    int Terminations = 0;
};

class TJobFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FFLoader().LoadLibraries(TLibrarySet::All()));
        logger = std::make_unique<TFFLogger>();
        logger->SetLogLevel(llVerbose);
        logger->SetTriggerEventInMainThread(false);
        logger->OnLog = [this](QObject*, quint32, TLogLevel level, const QString& text) {
            std::lock_guard lock(logLock);
            logged << QStringLiteral("%1 %2").arg(level).arg(text);
        };
    }
    void TearDown() override {
        logger.reset();
        FinalizeEngineLog();
    }

    QString Out(const QString& name) const { return dir.filePath(name); }

    // The settings a new job item converts with: FLV, MP3, 30 fps, 512/96 kbit/s.
    static void DefaultFlvOutput(TCustomFFmpeg& job, const QString& filters) {
        job.SetCodec("acodec", "libmp3lame");
        job.SetCodec("vcodec", "flv");
        job.SetVolume(256);
        job.SetChannels(2);
        job.SetSampleRate(44100);
        job.SetBitrate("ab", 96000);
        job.SetAudioSync(0);
        job.SetFrameRate("30");
        job.SetBitrate("vb", 512000);
        job.SetVideoSync(-1);
        job.SetOption("sn", "1");
        if (!filters.isEmpty())
            job.SetVideoFilters(filters);
    }

    RunResult Run(TCustomFFmpeg& job) {
        RunResult result;
        job.OnProgress = [&](TCustomFFmpeg&, const TJobProgress& progress) {
            result.Progress << progress;
        };
        job.OnTerminate = [&](TCustomFFmpeg& ended) {
            ++result.Terminations;
            result.Finished = ended.Finished();
            result.Failed = ended.Failed();
            result.Error = ended.ErrorText();
        };
        job.Start(false);
        return result;
    }

    // A job from one input to one output; options before the output come from `configure`.
    RunResult Convert(const QString& input, const QString& output,
                      const std::function<void(TCustomFFmpeg&)>& configure) {
        TCustomFFmpeg job;
        EXPECT_TRUE(job.OpenInputFile(input)) << job.LastErrorText().toStdString();
        configure(job);
        EXPECT_GE(job.OpenOutputFile(output), 0) << job.LastErrorText().toStdString();
        return Run(job);
    }

    static const QJsonArray Streams(const QJsonDocument& probe, const char* kind) {
        QJsonArray streams;
        for (const QJsonValue& stream : probe["streams"].toArray()) {
            if (stream["codec_type"].toString() == QLatin1String(kind))
                streams.append(stream);
        }
        return streams;
    }
    static double Duration(const QJsonDocument& probe) {
        return probe["format"]["duration"].toString().toDouble();
    }

    std::unique_ptr<TFFLogger> logger;
    std::mutex logLock;
    QStringList logged;
    QTemporaryDir dir;
};

// Every name in `folder`, hidden ones too: what a run left behind.
inline QStringList FilesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}
