#include "cli/ConvertCommand.h"

#include "cli/ConvertOptions.h"
#include "core/AppFolders.h"
#include "core/AppSettings.h"
#include "core/U_ConvertingBatch.h"
#include "core/U_EditWatermark.h"
#include "core/U_FormatsChoice.h"
#include "core/U_TreelistFormat.h"
#include "core/U_TreelistModel.h"
#include "core/U_XML.h"
#include "core/UnixSignals.h"
#include "core/WorkFolders.h"
#include "engine/FFmpegException.h"
#include "engine/encoder/FFEncode.h"
#include "engine/filters/NativeFilter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTextStream>

#include <map>
#include <unistd.h>

namespace {

// Existing outputs are replaced with -y and skipped (with a word) without it.
class TCommandLineReplace : public IReplaceQuestion {
public:
    TCommandLineReplace(bool overwrite, QTextStream& err) : FOverwrite(overwrite), FErr(err) {}
    TReplaceAnswer AskReplace(const QString& path) override {
        if (FOverwrite)
            return TReplaceAnswer::YesToAll;
        FErr << "skipped: " << path << " exists (-y replaces it)\n";
        FErr.flush();
        ++Skipped;
        return TReplaceAnswer::No;
    }
    int Skipped = 0;

private:
    bool FOverwrite;
    QTextStream& FErr;
};

// One line of progress: on a terminal rewritten in place, elsewhere one line per report.
class TProgressDisplay {
public:
    TProgressDisplay(QTextStream& out, bool quiet)
        : FOut(out), FQuiet(quiet), FTerminal(::isatty(STDOUT_FILENO) == 1) {
        FClock.start();
    }
    void Show(const QString& file, int filePercent, int totalPercent, int fps) {
        if (FQuiet)
            return;
        const qint64 elapsed = FClock.elapsed() / 1000;
        const QString left = totalPercent > 0
                                 ? FormatSeconds(elapsed * (100 - totalPercent) / totalPercent)
                                 : QStringLiteral("--:--:--");
        const QString line = QStringLiteral("%1  file %2%  batch %3%  %4 fps  elapsed %5  left %6")
                                 .arg(file)
                                 .arg(filePercent, 3)
                                 .arg(totalPercent, 3)
                                 .arg(fps, 3)
                                 .arg(FormatSeconds(elapsed), left);
        if (FTerminal)
            FOut << '\r' << line.leftJustified(FWidth) << Qt::flush;
        else
            FOut << line << Qt::endl;
        FWidth = std::max<int>(FWidth, line.size());
    }
    void Finish() {
        if (FTerminal && FWidth > 0 && !FQuiet)
            FOut << Qt::endl;
    }

private:
    QTextStream& FOut;
    bool FQuiet;
    bool FTerminal;
    int FWidth = 0;
    QElapsedTimer FClock;
};

void ApplyItemOptions(TJobList& list, TJobRow& row, const TConvertOptions& options,
                      const QString& outputFolder) {
    TFileOption& item = row.Item;
    if (options.Profile > 0) {
        TFormatChoice choice;
        QString error;
        int width = 0, height = 0;
        ParseFrameSize(item.OutputFrameSize, &width, &height);
        choice.Width = QString::number(width);
        choice.Height = QString::number(height);
        choice.Volume = QString::number(item.OutputOptions.AudioVolume);
        if (!ProfileChoice(options.Profile, choice, &error) ||
            !ApplyFormatChoice(choice, list, row, outputFolder, &error))
            throw FFmpegException(error);
    }
    if (!options.Size.isEmpty())
        item.OutputFrameSize = options.Size;
    if (options.Crop) {
        item.CropEnabled = true;
        item.CropRect = *options.Crop;
    }
    if (!options.WatermarkImage.isEmpty()) {
        const QSize size = QImageReader(options.WatermarkImage).size();
        item.WaterMarkType = wmPicture;
        item.WaterMark.WaterMarkKind = wmPicture;
        item.WaterMark.PictureFile = options.WatermarkImage;
        item.WaterMark.OutputRect = QRect(options.WatermarkAt, size);
        item.WaterMark.ScaledPictureFile = SaveScaledWatermark(options.WatermarkImage, size);
    }
    for (const QString& option : options.OutputOptions) {
        QString& extra = item.OutputOptions.ExtOptions;
        extra += (extra.trimmed().isEmpty() ? QString() : QStringLiteral("<CRLF>")) + option;
    }
}

} // namespace

int RunConvertCommand(const QStringList& arguments) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    TConvertOptions options;
    QString error;
    bool help = false;
    if (!ParseConvertOptions(arguments, options, &error, &help)) {
        err << "reelcaster-cli convert: " << error << "\n\n" << ConvertHelpText();
        return 2;
    }
    if (help) {
        out << ConvertHelpText();
        return 0;
    }
    if (!options.WatermarkImage.isEmpty() &&
        QImageReader(options.WatermarkImage).size().isEmpty()) {
        err << "reelcaster-cli convert: cannot read the picture " << options.WatermarkImage << '\n';
        return 2;
    }
    const QString outputFolder =
        WithTrailingSlash(options.OutputDir.isEmpty() ? DataFolder() + QStringLiteral("Output")
                                                      : QDir(options.OutputDir).absolutePath());
    if (!QDir().mkpath(outputFolder)) {
        err << "reelcaster-cli convert: cannot create the folder " << outputFolder << '\n';
        return 1;
    }
    const QString profiles = ResourcePath(QStringLiteral("Format.dat"));
    if (options.Profile > 0 && !LoadFormatProfiles(profiles)) {
        err << "reelcaster-cli convert: cannot read " << profiles << '\n';
        return 1;
    }
    // A working folder of this run's own: the window, if it is open, keeps its scaled
    // watermark pictures in the shared one and must not lose them when this run ends.
    const QString tempPath = QueryTempPath();
    const QTemporaryDir runFolder(tempPath + QStringLiteral("cli-XXXXXX"));
    if (!runFolder.isValid()) {
        err << "reelcaster-cli convert: cannot create a working folder in " << tempPath << '\n';
        return 1;
    }
    SetTempPath(runFolder.path());

    TFFEncoder prober;
    if (!prober.LoadLibraries(ExecutableFolder() + QStringLiteral("LibAV"))) {
        err << "reelcaster-cli: " << prober.LastErrMsg() << '\n';
        return 1;
    }
    RegisterNativeFilters();

    // The files become job items exactly as the application adds them.
    TJobList list;
    QStringList unloaded;
    for (const QString& file : options.Files) {
        QString reason;
        if (!list.AddSourceFile(QFileInfo(file).absoluteFilePath(), prober.Decoder(), outputFolder,
                                &reason))
            unloaded << file + QStringLiteral(": ") + reason;
    }
    if (!unloaded.isEmpty()) {
        err << (options.Files.size() - unloaded.size()) << " files have been loaded successfully,"
            << unloaded.size() << " files failed.\nunloaded files:\n"
            << unloaded.join('\n') << '\n';
    }

    try {
        if (options.Clip) {
            for (int t = 0; t < list.TopLevelCount(); ++t) {
                TJobRow* owner = list.TopLevel(t);
                TClipFile clip;
                clip.ClipName = QFileInfo(owner->Item.InputOptions.FileName).completeBaseName() +
                                QStringLiteral("_clip1");
                clip.StartTime = options.Clip->first;
                clip.ClipDuration = options.Clip->second;
                clip.EndTime = clip.StartTime + clip.ClipDuration;
                SetClipDefaults(clip, owner->Item.SourceFrameSize);
                ClipList() = {clip};
                list.SetFocused(owner);
                list.CommitClipList(outputFolder);
            }
        }
        if (options.Merge) {
            for (int t = 0; t < list.TopLevelCount(); ++t) {
                TJobRow* top = list.TopLevel(t);
                list.SetSelected(top, top->Children.empty());
                for (const auto& clip : top->Children)
                    list.SetSelected(clip.get(), true);
            }
            if (list.SelectedCount() >= 2)
                list.MergeSelected(outputFolder);
        }
        for (TJobRow* row : list.AllRows()) {
            if (!row->IsMergeMember())
                ApplyItemOptions(list, *row, options, outputFolder);
        }
    } catch (const FFmpegException& failure) {
        err << "reelcaster-cli convert: " << failure.Message() << '\n';
        return 1;
    }

    TFFEncoder encoder;
    encoder.SetProgressInterval(options.Quiet ? 1000 : 500);
    TCommandLineReplace question(options.Overwrite, err);
    TConversionBatch batch(encoder, [&](bool isError, const QString& line) {
        if (isError)
            err << line << '\n';
    });
    batch.Build(list, question);

    TProgressDisplay display(out, options.Quiet);
    std::map<int, TProgressInfo> latest;
    std::map<int, TTerminateInfo> endings;
    bool allConverted = false;
    bool runEnded = false;
    encoder.OnProgress = [&](QObject*, TProgressInfo* info) {
        latest[info->TaskIndex] = *info;
        if (options.Parallel == 1) {
            const TBatchProgressView view = batch.Progress(*info);
            static int filePercent = 0, totalPercent = 0;
            filePercent = info->FileIndex == -1   ? 100
                          : view.FilePercent >= 0 ? view.FilePercent
                                                  : filePercent;
            totalPercent = view.TotalPercent >= 0 ? view.TotalPercent : totalPercent;
            display.Show(view.Counter + QLatin1Char(' ') +
                             QFileInfo(batch.TaskOutputName(info->TaskIndex)).fileName(),
                         filePercent, totalPercent, info->FPS);
            return;
        }
        int64_t done = 0, total = 0;
        for (const auto& [task, report] : latest) {
            done += report.FileIndex == -1 ? std::max<int64_t>(report.TotalDuration, 0)
                                           : report.CurrentDuration;
            total += std::max<int64_t>(report.TotalDuration, 0);
        }
        const int filePercent =
            info->TotalDuration > 0 ? int(info->CurrentDuration * 100 / info->TotalDuration) : 0;
        const int64_t whole = std::max(total, batch.BatchTotal());
        display.Show(QFileInfo(batch.TaskOutputName(info->TaskIndex)).fileName(),
                     std::min(filePercent, 100),
                     whole > 0 ? int(std::min<int64_t>(done * 100 / whole, 100)) : 0, info->FPS);
    };
    encoder.OnTerminate = [&](QObject*, const TTerminateInfo& info) {
        const TBatchEndView view = batch.Terminated(info);
        if (!view.ErrorLine.isEmpty())
            err << (info.TaskIndex >= 0 ? batch.TaskOutputName(info.TaskIndex) + ": " : QString())
                << view.ErrorLine << '\n';
        if (!view.NoticeLine.isEmpty())
            err << view.NoticeLine << '\n';
        if (info.TaskIndex >= 0)
            endings[info.TaskIndex] = info;
        if (view.RunEnded) {
            allConverted = view.AllConverted;
            runEnded = true;
            QCoreApplication::quit();
        }
    };
    bool interrupted = false;
    HandleTerminationSignals([&] {
        interrupted = true;
        encoder.Stop(false);
    });

    encoder.StartTask(options.Parallel);
    if (!runEnded)
        QCoreApplication::exec();
    display.Finish();

    // Summary: each output with its size, or why it failed.
    for (int task = 0; task < encoder.TaskCount(); ++task) {
        const QString name = batch.TaskOutputName(task);
        const TTerminateInfo ending = endings.count(task) ? endings[task] : TTerminateInfo{};
        if (ending.Finished) {
            if (!options.Quiet)
                out << name << "  " << FormatFileSize(QFileInfo(name).size()) << '\n';
        } else {
            err << "FAILED " << name << ": "
                << (ending.ExceptionMsg.isEmpty() ? QStringLiteral("stopped") : ending.ExceptionMsg)
                << '\n';
        }
    }
    // 130: what a shell reports for a command ended by Ctrl+C.
    if (interrupted)
        return 130;
    return allConverted && unloaded.isEmpty() ? 0 : 1;
}
