#pragma once

// The activity log: a plain text file of what the application did, for support. Each entry
// is "YYYY-MM-DD HH:NN:SS", four blanks (information) or two blanks (error), the message and
// CR LF. The file is opened and closed for every entry.

#include <QString>

class TMrvLog {
public:
    // Creates an empty file at `fileName` when none exists. An empty name logs nowhere.
    explicit TMrvLog(const QString& fileName = QString());

    const QString& FileName() const { return FFileName; }

    // Never throws: an entry that cannot be written is dropped, and the first such loss is
    // reported on stderr.
    void WriteInfo(const QString& message);
    void WriteError(const QString& message);

private:
    void Write(const char* separator, const QString& message);
    void ReportLoss(const QString& reason);

    QString FFileName;
    bool FLossReported = false;
};

inline constexpr int kLogFileCount = 10;

// Shifts the previous runs' files up by one in `logFolder`: log9.txt becomes log10.txt, …,
// log1.txt becomes log2.txt, and the old log10.txt is deleted.
void RotateLogFiles(const QString& logFolder);

// Creates dataFolder + "Log/" when missing, rotates the old files and makes ActivityLog()
// write to "Log/log1.txt".
void StartActivityLog(const QString& dataFolder);

// ActivityLog() logs nowhere afterwards.
void ReleaseActivityLog();

// The process-wide log every part of the application writes to.
TMrvLog& ActivityLog();
