#include "cli/CliProcess.h"

#include <QProcess>

TProcessResult RunProgram(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    TProcessResult result;
    if (!process.waitForFinished(120000)) {
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

TProcessResult RunCli(const QStringList& arguments) {
    return RunProgram(QStringLiteral(REELCASTER_CLI_PATH), arguments);
}

QJsonDocument FFprobe(const QString& file) {
    const TProcessResult result =
        RunProgram(QStringLiteral("ffprobe"),
                   {"-v", "error", "-print_format", "json", "-show_format", "-show_streams", file});
    return QJsonDocument::fromJson(result.Out);
}
