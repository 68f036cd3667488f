#pragma once

#include "common/QtPrinting.h"

// Runs a program (ffprobe, reelcaster-cli, …) and collects what it printed.

#include <QByteArray>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcessEnvironment>
#include <QStringList>

struct TProcessResult {
    int ExitCode = -1;
    bool Crashed = false;
    QByteArray Out;
    QByteArray Err;
};

// Runs `program` to its end (at most `timeoutMs`; then it is killed and counts as crashed), in
// `environment` when one is given, else in this process's.
TProcessResult RunProgram(const QString& program, const QStringList& arguments,
                          const QProcessEnvironment& environment = {}, int timeoutMs = 180000);

// ffprobe's JSON for a file's format and streams: the independent reader of the tests.
QJsonDocument FFprobe(const QString& file);

// ffprobe's packets of one stream ("v:0", "a:0") with their times, for timing checks.
QJsonArray FFprobePackets(const QString& file, const QString& stream);

// Decodes one picture at `seconds` into RGB with the ffmpeg program, through `filter` (a -vf
// graph) when one is given; null on failure.
QImage FFmpegFrameAt(const QString& file, double seconds, const QString& filter = {});

// The peak absolute sample (16-bit) of the first audio stream, decoded by the ffmpeg program.
int FFmpegPeakSample(const QString& file);
