// Converts one input COUNT times with the encoder component and the settings of a new job
// item (FLV), PARALLEL tasks at once:
//   bench_encoder_driver PARALLEL COUNT INPUT OUTPUT-FOLDER
// For benchmarks only.

#include "engine/FFmpegException.h"
#include "engine/encoder/FFEncode.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() != 4) {
        std::fputs("usage: bench_encoder_driver PARALLEL COUNT INPUT OUTPUT-FOLDER\n", stderr);
        return 2;
    }
    const int parallel = args[0].toInt();
    const int count = args[1].toInt();
    TFFEncoder encoder;
    if (!encoder.LoadLibraries(QString())) {
        std::fprintf(stderr, "%s\n", qPrintable(encoder.LastErrMsg()));
        return 1;
    }
    TOutputOptions options;
    options.VideoCodec = QStringLiteral("flv");
    options.FrameRate = QStringLiteral("30");
    options.VideoBitrate = 512000;
    options.AudioCodec = QStringLiteral("libmp3lame");
    options.AudioVolume = 256;
    options.AudioChannels = 2;
    options.AudioBitrate = 96000;
    options.AudioSampleRate = 44100;
    options.DisableSubtitle = true;
    for (int i = 0; i < count; ++i) {
        const int task = encoder.AddTask(args[2]);
        const QString output = QDir(args[3]).filePath(QStringLiteral("out%1.flv").arg(i));
        if (task < 0 || !encoder.SetOutputFile(task, output, &options)) {
            std::fprintf(stderr, "%s\n", qPrintable(encoder.LastErrMsg()));
            return 1;
        }
    }
    int failures = 0;
    encoder.OnTerminate = [&](QObject*, const TTerminateInfo& info) {
        if (info.Exception) {
            ++failures;
            std::fprintf(stderr, "task %d: %s\n", info.TaskIndex, qPrintable(info.ExceptionMsg));
        }
        if (info.TaskIndex == -1)
            QCoreApplication::quit();
    };
    encoder.StartTask(parallel);
    QCoreApplication::exec();
    return failures == 0 ? 0 : 1;
}
