// Runs one transcoding job from a command line shaped like a classic transcoder's:
//   bench_job_driver [-name value]... -i INPUT [-name value]... OUTPUT
// Options before -i apply to the input, the others to the output. For benchmarks only.

#include "engine/FFLoad.h"
#include "engine/FFmpegException.h"
#include "engine/transcoder/FFmpeg.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() < 3) {
        std::fputs("usage: bench_job_driver [-name value]... -i INPUT [-name value]... OUTPUT\n",
                   stderr);
        return 2;
    }
    if (!FFLoader().LoadLibraries(TLibrarySet::All())) {
        std::fprintf(stderr, "%s\n", qPrintable(FFLoader().LastError()));
        return 1;
    }
    TCustomFFmpeg job;
    job.SetOption(QStringLiteral("v"), QStringLiteral("0"));
    try {
        for (int i = 0; i < args.size(); ++i) {
            const QString& arg = args[i];
            if (arg == QLatin1String("-i") && i + 1 < args.size()) {
                if (!job.OpenInputFile(args[++i])) {
                    std::fprintf(stderr, "%s\n", qPrintable(job.LastErrorText()));
                    return 1;
                }
            } else if (arg.startsWith(QLatin1Char('-')) && i + 1 < args.size() - 1) {
                job.SetOption(arg.mid(1), args[++i]);
            } else if (i == args.size() - 1) {
                if (job.OpenOutputFile(arg) < 0) {
                    std::fprintf(stderr, "%s\n", qPrintable(job.LastErrorText()));
                    return 1;
                }
            } else {
                std::fprintf(stderr, "unexpected argument %s\n", qPrintable(arg));
                return 2;
            }
        }
    } catch (const FFmpegException& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.Message()));
        return 1;
    }
    job.Start(false);
    if (job.Failed()) {
        std::fprintf(stderr, "%s\n", qPrintable(job.ErrorText()));
        return 1;
    }
    return 0;
}
