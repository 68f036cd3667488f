#include "core/MrvLog.h"

#include "core/AppFolders.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

TMrvLog& ProcessLog() {
    static TMrvLog log;
    return log;
}

QString LogFileName(const QString& logFolder, int number) {
    return WithTrailingSlash(logFolder) + QStringLiteral("log%1.txt").arg(number);
}

} // namespace

TMrvLog::TMrvLog(const QString& fileName) : FFileName(fileName) {
    if (FFileName.isEmpty() || QFileInfo::exists(FFileName))
        return;
    QFile file(FFileName);
    if (!file.open(QIODevice::WriteOnly))
        ReportLoss(file.errorString());
}

void TMrvLog::WriteInfo(const QString& message) {
    Write("    ", message);
}

void TMrvLog::WriteError(const QString& message) {
    Write("  ", message);
}

void TMrvLog::Write(const char* separator, const QString& message) {
    if (FFileName.isEmpty())
        return;
    const QByteArray entry =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8() +
        separator + message.toUtf8() + "\r\n";
    QFile file(FFileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        ReportLoss(file.errorString());
        return;
    }
    if (file.write(entry) != entry.size() || !file.flush())
        ReportLoss(file.errorString());
}

void TMrvLog::ReportLoss(const QString& reason) {
    if (FLossReported)
        return;
    FLossReported = true;
    std::fprintf(stderr, "Reelcaster: cannot write the activity log %s (%s); entries are lost.\n",
                 qPrintable(FFileName), qPrintable(reason));
}

void RotateLogFiles(const QString& logFolder) {
    for (int n = kLogFileCount; n >= 1; --n) {
        const QString name = LogFileName(logFolder, n);
        if (!QFileInfo::exists(name))
            continue;
        if (n == kLogFileCount) {
            QFile::remove(name);
        } else {
            const QString older = LogFileName(logFolder, n + 1);
            QFile::remove(older); // only left over when an earlier deletion failed
            QFile::rename(name, older);
        }
    }
}

void StartActivityLog(const QString& dataFolder) {
    const QString logFolder = WithTrailingSlash(dataFolder) + QStringLiteral("Log");
    QDir().mkpath(logFolder);
    RotateLogFiles(logFolder);
    // Still there when it could not be moved: a run never continues an older run's log.
    const QString first = LogFileName(logFolder, 1);
    QFile::remove(first);
    ProcessLog() = TMrvLog(first);
}

void ReleaseActivityLog() {
    ProcessLog() = TMrvLog();
}

TMrvLog& ActivityLog() {
    return ProcessLog();
}
