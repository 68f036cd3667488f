#include "core/U_ConvertingBatch.h"

#include "core/MrvLog.h"
#include "core/U_TreelistModel.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include <optional>

namespace {

// The file's device and inode, when it exists.
std::optional<QPair<quint64, quint64>> FileIdentity(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return QPair<quint64, quint64>(info.st_dev, info.st_ino);
}

} // namespace

TConversionBatch::TConversionBatch(TCustomEncoder& encoder, TBatchLog log)
    : FEncoder(encoder), FLog(std::move(log)) {
    if (!FLog) {
        FLog = [](bool error, const QString& line) {
            if (error)
                ActivityLog().WriteError(line);
            else
                ActivityLog().WriteInfo(line);
        };
    }
}

QString TConversionBatch::InitialCounter() const {
    return QStringLiteral("[ 0 / %1 ]").arg(AttemptedCount());
}

// The answer is kept with the item's output: only a file the user agreed to replace may be
// replaced when the task publishes its output.
bool TConversionBatch::OverwriteAllows(TFileOption& item, IReplaceQuestion& question) {
    const QString& path = item.OutputOptions.FileName;
    item.OutputOptions.Overwrite = false;
    if (FAnswer == TReplaceAnswer::Cancel)
        return false;
    if (!QFileInfo::exists(path))
        return true;
    if (FAnswer == TReplaceAnswer::NoToAll)
        return false;
    if (FAnswer != TReplaceAnswer::YesToAll)
        FAnswer = question.AskReplace(path);
    item.OutputOptions.Overwrite =
        FAnswer == TReplaceAnswer::Yes || FAnswer == TReplaceAnswer::YesToAll;
    return item.OutputOptions.Overwrite;
}

bool TConversionBatch::RefuseUnwritable(const TFileOption& item) {
    const QString& path = item.OutputOptions.FileName;
    const std::optional<QPair<quint64, quint64>> output = FileIdentity(path);
    if (!output)
        return false;
    QString reason;
    if (FInputs.contains(*output))
        reason = QStringLiteral("%1 is one of the files being converted").arg(path);
    else if (!QFileInfo(path).isFile())
        reason = QStringLiteral("%1: Not a regular file").arg(path);
    else
        return false;
    FAttempted.append(path);
    Fail(path, reason);
    return true;
}

void TConversionBatch::NoteFailure(const QString& output, const QString& reason) {
    FFailures.append(QFileInfo(output).fileName() + QStringLiteral(": ") + reason);
}

void TConversionBatch::Fail(const QString& output, const QString& reason) {
    Error(reason);
    NoteFailure(output, reason);
}

void TConversionBatch::Build(TJobList& list, IReplaceQuestion& question) {
    // Every file the batch reads, under whatever name: none of them may be written.
    FInputs.clear();
    for (const TJobRow* row : list.AllRows()) {
        if (row->Item.IsMerge)
            continue;
        if (const auto input = FileIdentity(row->Item.InputOptions.FileName))
            FInputs.append(*input);
    }
    for (int t = 0; t < list.TopLevelCount(); ++t) {
        TJobRow& top = *list.TopLevel(t);
        if (top.Item.IsMerge) {
            if (top.Checked && !top.Children.empty() && !RefuseUnwritable(top.Item) &&
                OverwriteAllows(top.Item, question))
                AddMerge(top, question);
            continue;
        }
        if (top.Checked)
            AddItem(top, question);
        for (const auto& clip : top.Children) {
            if (clip->Checked)
                AddItem(*clip, question);
        }
    }
}

void TConversionBatch::AddItem(TJobRow& row, IReplaceQuestion& question) {
    TFileOption& item = row.Item;
    if (RefuseUnwritable(item) || !OverwriteAllows(item, question))
        return;
    const int task = FEncoder.AddTask(item.InputOptions.FileName, &item.InputOptions);
    FAttempted.append(item.OutputOptions.FileName);
    FBatchTotal += std::max<int64_t>(item.Duration, 0);
    if (task < 0) {
        Error(QStringLiteral("File open Error: ") + FEncoder.LastErrMsg());
        NoteFailure(item.OutputOptions.FileName, FEncoder.LastErrMsg());
        return;
    }
    SetOutput(task, item);
}

// A merge converts all of its members or nothing: one that is missing fails the merge.
void TConversionBatch::AddMerge(TJobRow& row, IReplaceQuestion&) {
    Info(QStringLiteral("[Merge Video]"));
    int task = -1;
    QString failure;
    for (const auto& member : row.Children) {
        const TInputOptions& input = member->Item.InputOptions;
        const bool opened = task < 0 ? (task = FEncoder.AddTask(input.FileName, &input)) >= 0
                                     : FEncoder.AddInputFile(task, input.FileName, &input);
        if (!opened) {
            failure = FEncoder.LastErrMsg();
            break;
        }
        Info(QStringLiteral("Success to Load File: ") + input.FileName);
    }
    FBatchTotal += std::max<int64_t>(row.Item.Duration, 0);
    FAttempted.append(row.Item.OutputOptions.FileName);
    if (failure.isEmpty()) {
        SetOutput(task, row.Item);
    } else {
        if (task >= 0)
            FEncoder.RemoveTask(task);
        Fail(row.Item.OutputOptions.FileName, QStringLiteral("Merge failed: %1").arg(failure));
    }
    Info(QStringLiteral("[Merge Video]"));
}

void TConversionBatch::SetOutput(int task, TFileOption& item) {
    const qsizetype watermarks = FTextWaterMarks.size();
    BuildEncodeParams(item, task, FTextWaterMarks);
    if (FEncoder.SetOutputFile(task, item.OutputOptions.FileName, &item.OutputOptions)) {
        FTaskOutputs.append(item.OutputOptions.FileName);
        LogItemBlock(item);
        return;
    }
    const QString message = FEncoder.LastErrMsg();
    FEncoder.RemoveTask(task);
    // The text watermark made for the removed task would land on the next one.
    FTextWaterMarks.resize(watermarks);
    Error(QStringLiteral("SetOutput Error: ") + message);
    NoteFailure(item.OutputOptions.FileName, message);
}

void TConversionBatch::LogItemBlock(const TFileOption& item) {
    const TOutputOptions& output = item.OutputOptions;
    Info(QStringLiteral("[SetEncodeParam]"));
    Info(QStringLiteral("Success to Load File: ") + item.InputOptions.FileName);
    Info(QStringLiteral("File Format[%1]  VideoCodec[%2]  [%3]  %4 fps ,%5 bps")
             .arg(output.FileExt, output.VideoCodec, item.OutputFrameSize, output.FrameRate)
             .arg(output.VideoBitrate) +
         QStringLiteral("\r\n") + QString(23, QLatin1Char(' ')) +
         QStringLiteral("AudioCodec[%1] %2 Hz, %3 Channels, %4 bps")
             .arg(output.AudioCodec)
             .arg(output.AudioSampleRate)
             .arg(output.AudioChannels)
             .arg(output.AudioBitrate));
    Info(QString::asprintf("TimeStart: %.5f, TimeLength: %.5f",
                           item.InputOptions.StartTime / 1000000.0, output.Duration / 1000000.0));
    Info(QStringLiteral("OutPutName: %1").arg(output.FileName));
    Info(QStringLiteral("[SetEncodeParam]"));
}

int TConversionBatch::Percent(int64_t part, int64_t whole) const {
    if (whole <= 0)
        return 0;
    return static_cast<int>(std::clamp<int64_t>(part * 100 / whole, 0, 100));
}

TBatchProgressView TConversionBatch::Progress(const TProgressInfo& info) {
    TBatchProgressView view;
    const int tasks = std::max(1, FEncoder.TaskCount());
    const auto setTotal = [&](int64_t part, int64_t whole) {
        view.TotalPercent = Percent(part, whole);
        view.TotalDone = whole > 0 ? std::clamp(double(part) / double(whole), 0.0, 1.0) : 0.0;
    };
    if (info.TaskIndex != FCurrentTask) {
        view.FileChanged = true;
        view.FileName = QFileInfo(TaskOutputName(info.TaskIndex)).fileName();
        FDone += FLastTotal;
        FCurrentTask = info.TaskIndex;
        // Without any known duration the bar counts tasks instead.
        if (FBatchTotal > 0)
            setTotal(FDone, FBatchTotal);
        else
            setTotal(FCurrentTask, tasks);
    }
    if (info.FileIndex == -1 && info.TotalDuration > 0) {
        // The task's final report: all of it is done, whatever its last packet's time.
        view.FilePercent = 100;
        if (FBatchTotal > 0)
            setTotal(FDone + info.TotalDuration, FBatchTotal);
        else
            setTotal(int64_t(FCurrentTask + 1), tasks);
    } else if (info.TotalDuration > 0 && info.CurrentDuration < info.TotalDuration) {
        view.FilePercent = Percent(info.CurrentDuration, info.TotalDuration);
        if (FBatchTotal > 0)
            setTotal(FDone + info.CurrentDuration, FBatchTotal);
        else
            setTotal(int64_t(FCurrentTask) * info.TotalDuration + info.CurrentDuration,
                     int64_t(tasks) * info.TotalDuration);
    }
    FLastTotal = std::max<int64_t>(info.TotalDuration, 0);
    view.Counter = QStringLiteral("[ %1 / %2 ]").arg(FCurrentTask + 1).arg(AttemptedCount());
    return view;
}

TBatchEndView TConversionBatch::Terminated(const TTerminateInfo& info) {
    TBatchEndView view;
    if (info.TaskIndex < 0) {
        view.RunEnded = true;
        // A task that failed, or an attempted item that got no task, is a failure.
        view.AllConverted = FFailed == 0 && FFinishedTasks == AttemptedCount();
        return view;
    }
    if (info.Exception) {
        view.ErrorLine = info.ExceptionMsg;
        NoteFailure(TaskOutputName(info.TaskIndex), info.ExceptionMsg);
    }
    if (info.Finished) {
        ++FFinishedTasks;
        view.FileBarFull = info.TaskIndex + 1 < FEncoder.TaskCount();
        if (!info.Notice.isEmpty()) {
            view.NoticeLine = QFileInfo(TaskOutputName(info.TaskIndex)).fileName() +
                              QStringLiteral(": ") + info.Notice;
            Info(view.NoticeLine);
        }
    } else {
        ++FFailed;
    }
    return view;
}
