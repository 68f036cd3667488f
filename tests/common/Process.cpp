#include "common/Process.h"

#include <QJsonObject>
#include <QTemporaryDir>

#include <cstdlib>

#include <QProcess>

TProcessResult RunProgram(const QString& program, const QStringList& arguments,
                          const QProcessEnvironment& environment, int timeoutMs) {
    QProcess process;
    if (!environment.isEmpty())
        process.setProcessEnvironment(environment);
    process.start(program, arguments);
    TProcessResult result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.Crashed = true;
        return result;
    }
    result.ExitCode = process.exitCode();
    result.Crashed = process.exitStatus() != QProcess::NormalExit;
    result.Out = process.readAllStandardOutput();
    result.Err = process.readAllStandardError();
    return result;
}

QJsonDocument FFprobe(const QString& file) {
    const TProcessResult result =
        RunProgram(QStringLiteral("ffprobe"),
                   {"-v", "error", "-print_format", "json", "-show_format", "-show_streams", file});
    return QJsonDocument::fromJson(result.Out);
}

QJsonArray FFprobePackets(const QString& file, const QString& stream) {
    const TProcessResult result =
        RunProgram(QStringLiteral("ffprobe"), {"-v", "error", "-print_format", "json",
                                               "-select_streams", stream, "-show_packets", file});
    return QJsonDocument::fromJson(result.Out)["packets"].toArray();
}

QImage FFmpegFrameAt(const QString& file, double seconds, const QString& filter) {
    QTemporaryDir dir;
    const QString picture = dir.filePath("frame.png");
    // The first picture is read without a seek: ffmpeg's seek to 0 in an FLV file lands after
    // its first key frame.
    QStringList arguments{"-v", "error", "-nostdin"};
    if (seconds > 0)
        arguments << "-ss" << QString::number(seconds);
    arguments << "-i" << file;
    if (!filter.isEmpty())
        arguments << "-vf" << filter;
    arguments << "-frames:v"
              << "1"
              << "-y" << picture;
    const TProcessResult result = RunProgram(QStringLiteral("ffmpeg"), arguments);
    return result.ExitCode == 0 ? QImage(picture) : QImage();
}

int FFmpegPeakSample(const QString& file) {
    const QByteArray data =
        RunProgram(QStringLiteral("ffmpeg"), {"-v", "error", "-nostdin", "-i", file, "-map",
                                              "0:a:0", "-f", "s16le", "-acodec", "pcm_s16le", "-"})
            .Out;
    int peak = 0;
    const auto* samples = reinterpret_cast<const int16_t*>(data.constData());
    for (qsizetype i = 0; i < data.size() / 2; ++i)
        peak = std::max(peak, std::abs(int(samples[i])));
    return peak;
}
