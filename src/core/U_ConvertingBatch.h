#pragma once

// One conversion batch: the checked rows of the job list become encoder tasks in list order,
// with the overwrite question, the activity log lines of each item, the progress arithmetic of
// the two bars and the outcome at the end. The conversion window and reelcaster-cli both
// convert through it.

#include "core/U_ConvertingParams.h"
#include "engine/encoder/FFEncode.h"

#include <QStringList>

#include <functional>

class TJobList;
struct TJobRow;

enum class TReplaceAnswer { None, Yes, No, YesToAll, NoToAll, Cancel };

// Asked before an existing output file is replaced.
class IReplaceQuestion {
public:
    virtual ~IReplaceQuestion() = default;
    virtual TReplaceAnswer AskReplace(const QString& path) = 0;
};

// Where the batch writes its log lines (the activity log unless told otherwise).
using TBatchLog = std::function<void(bool error, const QString& line)>;

// What the window shows after a progress report.
struct TBatchProgressView {
    bool FileChanged = false; // a new task: show its output name
    QString FileName;         // the file-name part of the task's output
    int FilePercent = -1;     // −1: unchanged
    int TotalPercent = -1;    // −1: unchanged
    double TotalDone = -1;    // the same as a fraction 0…1, for time estimates; −1: unchanged
    QString Counter;          // "[ n / m ]"
};

// What follows a task's end, or the run's end.
struct TBatchEndView {
    bool RunEnded = false;
    bool AllConverted = false; // at the run's end: every attempted item converted
    bool FileBarFull = false;  // a task finished that was not the last
    QString ErrorLine;         // a task failed with this text
    QString NoticeLine;        // a task finished with this word on its input
};

class TConversionBatch {
public:
    explicit TConversionBatch(TCustomEncoder& encoder, TBatchLog log = {});

    // Adds a task for every checked row, in list order (a top-level row's children right after
    // it); rewrites each item's filter text on the way. An item whose output is one of the
    // batch's inputs or not a regular file is refused, and so is a merge that cannot take all
    // its members. Touches no file.
    void Build(TJobList& list, IReplaceQuestion& question);

    int AttemptedCount() const { return static_cast<int>(FAttempted.size()); }
    const QStringList& Attempted() const { return FAttempted; }
    int64_t BatchTotal() const { return FBatchTotal; }
    QString TaskOutputName(int task) const { return FTaskOutputs.value(task); }
    const QList<TTextWaterMark>& TextWaterMarks() const { return FTextWaterMarks; }
    QString InitialCounter() const;

    TBatchProgressView Progress(const TProgressInfo& info);
    TBatchEndView Terminated(const TTerminateInfo& info);
    int FailedCount() const { return FFailed; }
    // "name: reason" for each attempted item that was refused or failed, in batch order.
    const QStringList& Failures() const { return FFailures; }

private:
    bool OverwriteAllows(TFileOption& item, IReplaceQuestion& question);
    // Refuses an item whose output is one of the batch's inputs, or something other than a
    // regular file (a FIFO, a folder, a device); true when it was refused.
    bool RefuseUnwritable(const TFileOption& item);
    // "name: reason" into Failures(); Fail logs it as an error line too.
    void NoteFailure(const QString& output, const QString& reason);
    void Fail(const QString& output, const QString& reason);
    void AddItem(TJobRow& row, IReplaceQuestion& question);
    void AddMerge(TJobRow& row, IReplaceQuestion& question);
    void SetOutput(int task, TFileOption& item);
    void LogItemBlock(const TFileOption& item);
    void Info(const QString& line) { FLog(false, line); }
    void Error(const QString& line) { FLog(true, line); }
    int Percent(int64_t part, int64_t whole) const;

    TCustomEncoder& FEncoder;
    TBatchLog FLog;
    TReplaceAnswer FAnswer = TReplaceAnswer::None;
    QStringList FAttempted;
    QStringList FFailures;
    QList<QPair<quint64, quint64>> FInputs; // device and inode of every input of the batch
    QStringList FTaskOutputs;
    QList<TTextWaterMark> FTextWaterMarks;
    int64_t FBatchTotal = 0;
    int64_t FDone = 0;
    int64_t FLastTotal = 0;
    int FCurrentTask = -1;
    int FFinishedTasks = 0;
    int FFailed = 0;
};
