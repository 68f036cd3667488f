#include "conversion/U_Converting.h"

#include "conversion/U_ConvertingView.h"
#include "conversion/U_shutDown.h"
#include "core/AppFolders.h"
#include "core/MrvLog.h"
#include "core/PromptService.h"
#include "core/U_TreelistFormat.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr QSize kPreviewSize(461, 228);
constexpr int kStartDelayMilliseconds = 200;
const char kAllConverted[] = "File conversion is completed!";
const char kSomeFailed[] = "Conversion finished, but one or more files failed in conversion.";

} // namespace

// --- TPreviewImage ---------------------------------------------------------------------------

TPreviewImage::TPreviewImage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("imgperview"));
    setFixedSize(kPreviewSize);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPreviewImage::SetPicture(const QImage& picture, const QRect& target) {
    FPicture = picture.copy();
    FTarget = target;
    update();
}

void TPreviewImage::Clear() {
    FPicture = QImage();
    FTarget = QRect();
    update();
}

void TPreviewImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(16, 16, 16));
    if (!FPicture.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(FTarget, FPicture);
    }
}

// --- TConvertingfrm --------------------------------------------------------------------------

TConvertingfrm::TConvertingfrm(QWidget* parent, TJobList& list, ISystemShutdown& shutdown,
                               std::function<void()> openOutputFolder)
    : TSkinnedDialog(parent, QStringLiteral("Converting"), FrameSet | ButtonSet | CaptionButtonSet),
      FList(list), FShutdown(shutdown), FOpenOutputFolder(std::move(openOutputFolder)),
      FDialogQuestion(this),
      FBatch(FFEncoder, [this](bool error, const QString& line) { Log(error, line); }) {
    setObjectName(QStringLiteral("Convertingfrm"));
    lblSoftName = TitleLabel();
    lblSoftName->setObjectName(QStringLiteral("lblSoftName"));

    auto* layout = new QVBoxLayout(Content());
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(8);

    auto* pnlPerview = new QWidget(Content());
    pnlPerview->setObjectName(QStringLiteral("pnlPerview"));
    pnlPerview->setStyleSheet(
        QStringLiteral("#pnlPerview { background: black; border: 1px solid #15181d; }"));
    auto* previewLayout = new QVBoxLayout(pnlPerview);
    previewLayout->setContentsMargins(1, 1, 1, 1);
    imgperview = new TPreviewImage(pnlPerview);
    previewLayout->addWidget(imgperview);
    layout->addWidget(pnlPerview, 0, Qt::AlignHCenter);

    auto* fileRow = new QHBoxLayout;
    lblperent = new QLabel(QStringLiteral("[/]"), Content());
    lblperent->setObjectName(QStringLiteral("lblperent"));
    lblFileName = new QLabel(QStringLiteral("Create File:"), Content());
    lblFileName->setObjectName(QStringLiteral("lblFileName"));
    lblFileName->setMinimumWidth(360);
    lblFileName->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    fileRow->addWidget(lblFileName, 1);
    fileRow->addWidget(lblperent);
    layout->addLayout(fileRow);
    prgFile = new QProgressBar(Content());
    prgFile->setObjectName(QStringLiteral("prgFile"));
    layout->addWidget(prgFile);

    auto* totalRow = new QHBoxLayout;
    lblAllFile = new QLabel(QStringLiteral("Total  progress:"), Content());
    lblAllFile->setObjectName(QStringLiteral("lblAllFile"));
    lblTime = new QLabel(Content());
    lblTime->setObjectName(QStringLiteral("lblTime"));
    lblTime->setStyleSheet(QStringLiteral("color: #aeb5c2;"));
    totalRow->addWidget(lblAllFile, 1);
    totalRow->addWidget(lblTime);
    layout->addLayout(totalRow);
    prgtotal = new QProgressBar(Content());
    prgtotal->setObjectName(QStringLiteral("prgtotal"));
    layout->addWidget(prgtotal);
    for (QProgressBar* bar : {prgFile, prgtotal}) {
        bar->setRange(0, 100);
        bar->setValue(0);
    }

    layout->addSpacing(4);
    auto* bottom = new QGridLayout;
    bottom->setHorizontalSpacing(8);
    bottom->setVerticalSpacing(4);
    chkperview = new QCheckBox(QStringLiteral("Show preview"), Content());
    chkperview->setObjectName(QStringLiteral("chkperview"));
    chkperview->setChecked(true);
    ChkOpenFolder = new QCheckBox(QStringLiteral("Open output folder when completed"), Content());
    ChkOpenFolder->setObjectName(QStringLiteral("ChkOpenFolder"));
    ChkShutdown = new QCheckBox(QStringLiteral("Shut down computer when completed"), Content());
    ChkShutdown->setObjectName(QStringLiteral("ChkShutdown"));
    btnOK = new TPictureButton(QStringLiteral("btnOK"), QStringLiteral("Pause"), Content());
    btnOK->setEnabled(false); // until the run starts
    btnCancel =
        new TPictureButton(QStringLiteral("btnCancel"), QStringLiteral("Cancel"), Content());
    bottom->addWidget(chkperview, 0, 0);
    bottom->addWidget(ChkOpenFolder, 1, 0);
    bottom->addWidget(ChkShutdown, 2, 0);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    bottom->addLayout(buttons, 2, 1, Qt::AlignRight | Qt::AlignBottom);
    bottom->setColumnStretch(0, 1);
    layout->addLayout(bottom);
    Content()->setStyleSheet(Content()->styleSheet() +
                             QStringLiteral("QCheckBox { color: #e8ebf0; spacing: 6px; }"));
    // By keyboard: the choices, then Pause and Cancel (Escape cancels, Space pauses).
    setTabOrder(chkperview, ChkOpenFolder);
    setTabOrder(ChkOpenFolder, ChkShutdown);
    setTabOrder(ChkShutdown, btnOK);
    setTabOrder(btnOK, btnCancel);
    prgFile->setAccessibleName(QStringLiteral("Progress of the file"));
    prgtotal->setAccessibleName(QStringLiteral("Total progress"));
    imgperview->setAccessibleName(QStringLiteral("Preview of the file being converted"));
    btnOK->setToolTip(QStringLiteral("Pause or resume the conversion (Space)"));
    btnCancel->setToolTip(QStringLiteral("Stop the conversion (Esc)"));

    tmrConvert = new QTimer(this);
    tmrConvert->setObjectName(QStringLiteral("tmrConvert"));
    tmrConvert->setInterval(kStartDelayMilliseconds);
    tmrConvert->setSingleShot(true);
    connect(tmrConvert, &QTimer::timeout, this, &TConvertingfrm::tmrConvertTimer);

    connect(btnOK, &QAbstractButton::clicked, this, &TConvertingfrm::btnOKClick);
    connect(btnCancel, &QAbstractButton::clicked, this, &TConvertingfrm::btnCancelClick);
    connect(chkperview, &QCheckBox::toggled, this, [this](bool on) {
        FFEncoder.SetPreviewBitmap(on);
        if (!on)
            imgperview->Clear();
    });
    // The two end actions exclude each other.
    connect(ChkOpenFolder, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            ChkShutdown->setChecked(false);
    });
    connect(ChkShutdown, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            ChkOpenFolder->setChecked(false);
    });

    if (!FFEncoder.LibrariesLoaded())
        FFEncoder.LoadLibraries(ExecutableFolder() + QStringLiteral("LibAV"));
    FFEncoder.TriggerEventInMainThread = true;
    FFEncoder.SetPreviewBitmap(true);
    AttachEncoderHandlers();
    resize(sizeHint());
}

TConvertingfrm::~TConvertingfrm() {
    // Nothing may reach this window any more, and no hook may still be drawing with members
    // that are destroyed before the encoder.
    DetachEncoderHandlers();
    FFEncoder.Stop(true);
}

void TConvertingfrm::AttachEncoderHandlers() {
    FFEncoder.OnProgress = [this](QObject*, TProgressInfo* info) { FFEncoderProgress(*info); };
    FFEncoder.OnPreviewBitmap = [this](QObject*, const TPreviewInfo& info) {
        FFEncoderPreviewBitmap(info);
    };
    FFEncoder.OnTerminate = [this](QObject*, const TTerminateInfo& info) {
        FFEncoderTerminate(info);
    };
    FFEncoder.OnVideoOutputHook = [this](QObject*, THookInfo* info) {
        FFEncoderVideoOutputHook(*info);
    };
}

void TConvertingfrm::DetachEncoderHandlers() {
    FFEncoder.ClearHandlers();
    FFEncoder.OnTerminate = nullptr; // delivered on this (the main) thread
}

void TConvertingfrm::Log(bool error, const QString& line) {
    if (error)
        ActivityLog().WriteError(line);
    else
        ActivityLog().WriteInfo(line);
}

void TConvertingfrm::FirstShow() {
    tmrConvert->start();
}

void TConvertingfrm::tmrConvertTimer() {
    tmrConvert->stop();
    Log(false, QStringLiteral("Enter TConvertingfrm"));
    FPreviewTask = -1;
    FBatch.Build(FList, *ReplaceQuestion);
    FClock.start(); // after the overwrite questions, whose answers take the user's time
    lblperent->setText(FBatch.InitialCounter());
    if (FFEncoder.TaskCount() == 0) {
        // Items that were tried and could not be opened must not pass unnoticed.
        if (FBatch.AttemptedCount() > 0) {
            Prompts().Beep();
            Prompts().Information(this, FailureMessage());
        }
        done(Rejected);
        return;
    }
    FFEncoder.StartTask(1);
    btnOK->setEnabled(true);
    btnOK->setFocus(); // a disabled button cannot take it
    Log(false, QStringLiteral("Convert Start"));
    ShowTimes(0.0);
}

// --- Encoder events --------------------------------------------------------------------------

void TConvertingfrm::FFEncoderProgress(const TProgressInfo& info) {
    const TBatchProgressView view = FBatch.Progress(info);
    if (view.FileChanged)
        lblFileName->setText(FitLabelText(lblFileName->fontMetrics(), lblFileName->width(),
                                          QStringLiteral("Create File: ") + view.FileName));
    if (view.FilePercent >= 0)
        prgFile->setValue(view.FilePercent);
    if (view.TotalPercent >= 0) {
        prgtotal->setValue(view.TotalPercent);
        ShowTimes(view.TotalDone);
    }
    lblperent->setText(view.Counter);
}

void TConvertingfrm::FFEncoderPreviewBitmap(const TPreviewInfo& info) {
    if (!chkperview->isChecked() || info.Bitmap == nullptr)
        return;
    QRect target = imgperview->Target();
    if (info.TaskIndex != FPreviewTask || target.isEmpty()) {
        FPreviewTask = info.TaskIndex;
        imgperview->Clear();
        target = FitPreviewRect(info.Bitmap->size(), imgperview->size());
    }
    imgperview->SetPicture(*info.Bitmap, target);
}

void TConvertingfrm::FFEncoderVideoOutputHook(THookInfo& info) {
    if (info.Bitmap == nullptr)
        return;
    std::lock_guard lock(FHookLock);
    if (info.TaskIndex != FHookTask) {
        FHookTask = info.TaskIndex;
        FHookWaterMark.reset();
        // Written before the run started; only read from here on.
        for (const TTextWaterMark& entry : FBatch.TextWaterMarks()) {
            if (entry.TaskIndex == info.TaskIndex)
                FHookWaterMark = entry.WaterMark;
        }
    }
    if (FHookWaterMark)
        DrawTextWaterMark(*info.Bitmap, *FHookWaterMark);
    info.Update = true;
}

void TConvertingfrm::FFEncoderTerminate(const TTerminateInfo& info) {
    const TBatchEndView view = FBatch.Terminated(info);
    if (!view.ErrorLine.isEmpty())
        Log(true, view.ErrorLine);
    if (view.FileBarFull)
        prgFile->setValue(100);
    if (view.RunEnded) {
        // Posted, so that no dialog opens from inside the event delivery.
        const bool allConverted = view.AllConverted;
        QMetaObject::invokeMethod(
            this, [this, allConverted] { BatchDone(allConverted); }, Qt::QueuedConnection);
    }
}

void TConvertingfrm::BatchDone(bool allConverted) {
    // Cancelled while the notice was on its way: the stop lets queued events through.
    if (FLeft || FStopping)
        return;
    // The run ended while the user is asked whether to quit: the answer decides.
    if (FAskingToQuit) {
        FPendingBatchDone = allConverted;
        return;
    }
    prgFile->setValue(100);
    prgtotal->setValue(100);
    ShowTimes(1.0);
    // Nothing is left to pause or cancel while the notices are shown.
    btnOK->setEnabled(false);
    btnCancel->setEnabled(false);
    Log(false, QStringLiteral("Convert completed"));
    if (!isActiveWindow()) {
        QString text = QLatin1String(allConverted ? kAllConverted : kSomeFailed);
        if (ChkShutdown->isChecked())
            text += QStringLiteral(" Your computer will shut down after %1 seconds.")
                        .arg(TShutDownFrm::kSeconds);
        Notifier.Notify(QStringLiteral("Reelcaster"), text);
    }
    if (ChkShutdown->isChecked()) {
        Prompts().Beep();
        TShutDownFrm countdown(this, FShutdown);
        countdown.exec();
    } else if (ChkOpenFolder->isChecked() && FOpenOutputFolder) {
        FOpenOutputFolder();
    }
    Prompts().Beep();
    Prompts().Information(this, allConverted ? QLatin1String(kAllConverted) : FailureMessage());
    done(Accepted);
}

QString TConvertingfrm::FailureMessage() const {
    QString text = QLatin1String(kSomeFailed);
    // Which ones, and why: the user should not have to read the log.
    if (!FBatch.Failures().isEmpty())
        text += QStringLiteral("\r\n\r\n") + FBatch.Failures().join(QStringLiteral("\r\n"));
    return text;
}

// --- Buttons ---------------------------------------------------------------------------------

void TConvertingfrm::btnOKClick() {
    if (!FPaused) {
        FFEncoder.Pause();
        FPauseClock.start();
        FPaused = true;
        btnOK->setText(QStringLiteral("Resume"));
    } else {
        FFEncoder.Resume();
        FPausedMilliseconds += FPauseClock.elapsed();
        FPaused = false;
        btnOK->setText(QStringLiteral("Pause"));
    }
    btnOK->setProperty("tag", FPaused ? 1 : 0);
}

void TConvertingfrm::btnCancelClick() {
    // Stopping keeps events flowing, so Cancel, Escape or the close box can arrive again.
    if (FAskingToQuit || FStopping || FLeft)
        return;
    const bool notStarted = tmrConvert->isActive();
    tmrConvert->stop();
    const bool wasPaused = FPaused;
    if (!wasPaused)
        FFEncoder.Pause();
    Prompts().Beep();
    FAskingToQuit = true;
    const bool quit = Prompts().Confirm(this, QStringLiteral("Whether to quit conversion?"));
    FAskingToQuit = false;
    if (FLeft)
        return; // the session ended while the question was open
    if (quit) {
        StopAndLeave();
        return;
    }
    if (notStarted)
        tmrConvert->start();
    if (!wasPaused)
        FFEncoder.Resume();
    if (const std::optional<bool> pending = std::exchange(FPendingBatchDone, std::nullopt))
        BatchDone(*pending);
}

void TConvertingfrm::StopAndLeave() {
    FStopping = true;
    tmrConvert->stop();
    btnOK->setEnabled(false);
    btnCancel->setEnabled(false);
    DetachEncoderHandlers();
    FFEncoder.Stop(true);
    Log(false, QStringLiteral("Exit Convert"));
    done(Rejected);
}

void TConvertingfrm::reject() {
    btnCancelClick();
}

void TConvertingfrm::EndSession() {
    if (!FLeft && !FStopping)
        StopAndLeave();
}

void TConvertingfrm::done(int result) {
    if (!FLeft) {
        FLeft = true;
        Log(false, QStringLiteral("Leave TConvertingfrm"));
    }
    TSkinnedDialog::done(result);
}

void TConvertingfrm::ShowTimes(double done) {
    if (!FClock.isValid())
        return;
    int64_t elapsed = FClock.elapsed() - FPausedMilliseconds;
    if (FPaused)
        elapsed -= FPauseClock.elapsed();
    const int64_t elapsedSeconds = std::max<int64_t>(elapsed / 1000, 0);
    QString remaining = QStringLiteral("--:--:--");
    if (done >= 1.0)
        remaining = FormatSeconds(0);
    else if (done > 0.0)
        remaining = FormatSeconds(static_cast<int64_t>(elapsed * (1.0 - done) / done / 1000));
    lblTime->setText(
        QStringLiteral("Elapsed %1   Remaining %2").arg(FormatSeconds(elapsedSeconds), remaining));
}
