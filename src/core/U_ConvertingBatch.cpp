#include "core/U_ConvertingBatch.h"

#include "core/MrvLog.h"
#include "core/U_TreelistModel.h"

#include <QFileInfo>

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

bool TConversionBatch::OverwriteAllows(const QString& path, IReplaceQuestion& question) {
    if (FAnswer == TReplaceAnswer::Cancel)
        return false;
    if (!QFileInfo::exists(path))
        return true;
    if (FAnswer == TReplaceAnswer::NoToAll)
        return false;
    if (FAnswer == TReplaceAnswer::YesToAll)
        return true;
    FAnswer = question.AskReplace(path);
    return FAnswer == TReplaceAnswer::Yes || FAnswer == TReplaceAnswer::YesToAll;
}

void TConversionBatch::Build(TJobList& list, IReplaceQuestion& question) {
    for (int t = 0; t < list.TopLevelCount(); ++t) {
        TJobRow& top = *list.TopLevel(t);
        if (top.Item.IsMerge) {
            if (top.Checked && !top.Children.empty() &&
                OverwriteAllows(top.Item.OutputOptions.FileName, question))
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
    if (!OverwriteAllows(item.OutputOptions.FileName, question))
        return;
    const int task = FEncoder.AddTask(item.InputOptions.FileName, &item.InputOptions);
    FAttempted.append(item.OutputOptions.FileName);
    FBatchTotal += std::max<int64_t>(item.Duration, 0);
    if (task < 0) {
        Error(QStringLiteral("File open Error: ") + FEncoder.LastErrMsg());
        return;
    }
    SetOutput(task, item);
}

void TConversionBatch::AddMerge(TJobRow& row, IReplaceQuestion&) {
    Info(QStringLiteral("[Merge Video]"));
    int task = -1;
    for (const auto& member : row.Children) {
        const TInputOptions& input = member->Item.InputOptions;
        const bool opened = task < 0 ? (task = FEncoder.AddTask(input.FileName, &input)) >= 0
                                     : FEncoder.AddInputFile(task, input.FileName, &input);
        if (opened)
            Info(QStringLiteral("Success to Load File: ") + input.FileName);
        else
            Error(FEncoder.LastErrMsg());
    }
    FBatchTotal += std::max<int64_t>(row.Item.Duration, 0);
    FAttempted.append(row.Item.OutputOptions.FileName);
    if (task >= 0)
        SetOutput(task, row.Item);
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
    if (info.TotalDuration > 0 && info.CurrentDuration < info.TotalDuration) {
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
    if (info.Exception)
        view.ErrorLine = info.ExceptionMsg;
    if (info.Finished) {
        ++FFinishedTasks;
        view.FileBarFull = info.TaskIndex + 1 < FEncoder.TaskCount();
    } else {
        ++FFailed;
    }
    return view;
}
