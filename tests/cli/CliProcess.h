#pragma once

// Runs reelcaster-cli (or ffprobe) and collects what it printed.

#include <QByteArray>
#include <QJsonDocument>
#include <QStringList>

struct TProcessResult {
    int ExitCode = -1;
    bool Crashed = false;
    QByteArray Out;
    QByteArray Err;
};

TProcessResult RunCli(const QStringList& arguments);
TProcessResult RunProgram(const QString& program, const QStringList& arguments);

// ffprobe's JSON for a file's format and streams: the independent reader of the tests.
QJsonDocument FFprobe(const QString& file);
