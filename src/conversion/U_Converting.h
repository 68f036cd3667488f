#pragma once

// The conversion window: turns the checked rows of the job list into encoder tasks, runs them
// one after another on a worker thread with progress, a live preview, pause and cancel, and
// reports the outcome at the end (optionally opening the output folder or shutting down).
// Main thread, except the text watermark hook, which runs on the task's worker thread.

#include "conversion/U_Replace.h"
#include "core/U_ConvertingBatch.h"
#include "engine/encoder/FFEncode.h"
#include "shell/DesktopNotification.h"
#include "shell/SkinnedDialog.h"

#include <QElapsedTimer>

#include <functional>
#include <mutex>
#include <optional>

class ISystemShutdown;
class QCheckBox;
class QLabel;
class QProgressBar;
class QTimer;
class TJobList;

// The black area the live preview is drawn in.
class TPreviewImage : public QWidget {
    Q_OBJECT

public:
    explicit TPreviewImage(QWidget* parent = nullptr);
    // Shows `picture` stretched into `target`.
    void SetPicture(const QImage& picture, const QRect& target);
    void Clear();
    const QImage& Picture() const { return FPicture; }
    const QRect& Target() const { return FTarget; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage FPicture;
    QRect FTarget;
};

class TConvertingfrm : public TSkinnedDialog {
    Q_OBJECT

public:
    // `openOutputFolder` is the main window's Browse action.
    TConvertingfrm(QWidget* parent, TJobList& list, ISystemShutdown& shutdown,
                   std::function<void()> openOutputFolder);
    ~TConvertingfrm() override;

    // Asked before an existing output file is replaced (the real window unless replaced).
    IReplaceQuestion* ReplaceQuestion = &FDialogQuestion;
    // Tells the desktop how a batch ended while the user works in another window.
    TDesktopNotifier Notifier;

    TFFEncoder& Encoder() { return FFEncoder; }

    QLabel* lblSoftName = nullptr;
    TPreviewImage* imgperview = nullptr;
    QLabel* lblperent = nullptr;
    QLabel* lblFileName = nullptr;
    QProgressBar* prgFile = nullptr;
    QLabel* lblAllFile = nullptr;
    QLabel* lblTime = nullptr; // elapsed and remaining time of the batch
    QProgressBar* prgtotal = nullptr;
    QCheckBox* chkperview = nullptr;
    QCheckBox* ChkOpenFolder = nullptr;
    QCheckBox* ChkShutdown = nullptr;
    TPictureButton* btnOK = nullptr;
    TPictureButton* btnCancel = nullptr;
    QTimer* tmrConvert = nullptr;

    void btnOKClick();
    void btnCancelClick();

public slots:
    // The close box and Escape ask like Cancel.
    void reject() override;
    void done(int result) override;
    // Stops the tasks (their unfinished outputs go) and leaves, without the question.
    void EndSession() override;

protected:
    void FirstShow() override;

private:
    void tmrConvertTimer();
    void AttachEncoderHandlers();
    void DetachEncoderHandlers();
    void FFEncoderProgress(const TProgressInfo& info);
    // The end message of a batch that did not convert everything, with each failure.
    QString FailureMessage() const;
    void FFEncoderPreviewBitmap(const TPreviewInfo& info);
    void FFEncoderTerminate(const TTerminateInfo& info);
    void FFEncoderVideoOutputHook(THookInfo& info);
    void BatchDone(bool allConverted);
    void StopAndLeave();         // the tasks stopped, the window left
    void ShowTimes(double done); // the batch's part done, 0…1
    void Log(bool error, const QString& line);

    TJobList& FList;
    ISystemShutdown& FShutdown;
    std::function<void()> FOpenOutputFolder;
    TDialogReplaceQuestion FDialogQuestion;
    TFFEncoder FFEncoder;
    TConversionBatch FBatch;
    bool FPaused = false;
    bool FLeft = false;
    bool FAskingToQuit = false;
    bool FStopping = false;
    std::optional<bool> FPendingBatchDone;
    int FPreviewTask = -1;
    QElapsedTimer FClock;
    int64_t FPausedMilliseconds = 0;
    QElapsedTimer FPauseClock;

    // The text watermark of the task the worker is writing (worker thread only).
    std::mutex FHookLock;
    int FHookTask = -1;
    std::optional<TWaterMark> FHookWaterMark;
};
