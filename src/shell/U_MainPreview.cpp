// The main window's preview panel: playing the selected row's range with the seek bar, its
// time labels and buttons, and snapshots of the picture on screen. Everything here runs on the
// GUI thread; the player delivers its events there.

#include "shell/U_Main.h"

#include "controls/MrvTrackbar.h"
#include "core/AppSettings.h"
#include "core/PromptService.h"
#include "core/Snapshot.h"
#include "core/U_Treelist.h"
#include "core/U_TreelistFormat.h"
#include "engine/widgets/TPlayerDisplay.h"
#include "shell/PlayerControls.h"

#include <QFileInfo>
#include <QLabel>
#include <QTimer>
#include <QToolButton>

namespace {

QString ElapsedText(int64_t microseconds) {
    return FormatSeconds(microseconds / 1000000);
}

} // namespace

// --- Control states ----------------------------------------------------------------------------

void TMainfrm::SetPreviewIdle(bool ready) {
    btnPlay->setEnabled(ready);
    btnPlay->show();
    btnPause->hide();
    PlayToggle = 0;
    btnStop->setEnabled(false);
    btnSnapshot->setEnabled(false);
    TrckVideo->setEnabled(false);
    TrckVideo->SetShowTick(false);
    lblpos->setText(QStringLiteral("00:00:00"));
    lbllen->setText(QStringLiteral(" / 00:00:00"));
}

void TMainfrm::SetPreviewPlaying() {
    btnPlay->setEnabled(true);
    btnStop->setEnabled(true);
    btnSnapshot->setEnabled(true);
    TrckVideo->setEnabled(true);
    TrckVideo->SetShowTick(true);
}

void TMainfrm::SetPreviewTitle(const QString& text) {
    const QString fitted = FitLabelText(lblFileName->fontMetrics(), lblFileName->width(), text);
    lblFileName->setText(fitted);
    lblFileName->setAlignment((fitted == text ? Qt::AlignHCenter : Qt::AlignLeft) |
                              Qt::AlignVCenter);
    lblFileName->setToolTip(text);
}

// --- Playing -----------------------------------------------------------------------------------

void TMainfrm::btnPlayClick() {
    if (!IsPlaying && FList.Focused() != nullptr) {
        const TJobRow* row = FList.GetSelectedItem();
        if (row == nullptr)
            return;
        const TFileOption& item = row->Item;
        const int64_t start = item.InputOptions.StartTime < 0 ? 0 : item.InputOptions.StartTime;
        IsPlaying = PreviewOpen(item.InputOptions.FileName, FFPlayer, Perview, TrckVideo,
                                item.Duration, start, this);
        if (!IsPlaying)
            return;
        SetPreviewPlaying();
        SkipPositions = 0;
    }
    SetPlayToggle(PlayToggle, btnPlay, btnPause, FFPlayer);
}

void TMainfrm::btnPauseClick() {
    SetPlayToggle(PlayToggle, btnPlay, btnPause, FFPlayer);
}

void TMainfrm::PausePreview() {
    if (PlayToggle == 1)
        btnPauseClick();
}

void TMainfrm::StopPreview() {
    if (TmrStop != nullptr)
        TmrStop->stop();
    if (!IsPlaying)
        return;
    FFPlayer.Close(false);
    IsPlaying = false;
    SetPreviewIdle(CanPlay);
}

void TMainfrm::AttachPlayerHandlers() {
    FFPlayer.OnFileOpen = [this](QObject*, int64_t, int, int, int& screenWidth, int& screenHeight) {
        PlayerFileOpen(screenWidth, screenHeight);
    };
    FFPlayer.OnPosition = [this](QObject*, int64_t pts) { PlayerPosition(pts); };
    FFPlayer.OnState = [this](QObject*, TPlayState state) { PlayerState(state); };
    FFPlayer.OnVideoHook = nullptr;
    FFPlayer.VideoHook = false;
}

void TMainfrm::DetachPlayerHandlers() {
    FFPlayer.OnFileOpen = nullptr;
    FFPlayer.OnPosition = nullptr;
    FFPlayer.OnState = nullptr;
    FFPlayer.OnVideoHook = nullptr;
    FFPlayer.VideoHook = false;
}

void TMainfrm::PlayerFileOpen(int& screenWidth, int& screenHeight) {
    // The player scales into the display's pixels (physical ones on a dense screen).
    const QSize display = Perview->DisplaySize();
    screenWidth = display.width();
    screenHeight = display.height();
    FFPlayer.Seek(0, false, TrckVideo->Min());
    FFPlayer.Resume();
    TrckVideo->SetPosition(TrckVideo->Min());
    lbllen->setText(QStringLiteral(" / ") + ElapsedText(TrckVideo->Max() - TrckVideo->Min()));
}

void TMainfrm::PlayerPosition(int64_t pts) {
    if (ThumbDragging)
        return;
    if (SkipPositions > 0) {
        --SkipPositions;
        return;
    }
    if (!IsPlaying)
        return;
    if (pts < TrckVideo->Max()) {
        // The bar never moves backwards on its own.
        if (pts > TrckVideo->Position()) {
            TrckVideo->SetPosition(pts);
            lblpos->setText(ElapsedText(TrckVideo->Position() - TrckVideo->Min()));
        }
        return;
    }
    TrckVideo->SetPosition(TrckVideo->Max());
    lblpos->setText(ElapsedText(TrckVideo->Position() - TrckVideo->Min()));
    StopPreview(); // the end of the range
}

void TMainfrm::PlayerState(TPlayState state) {
    switch (state) {
    case psPause: SkipPositions = 0; break;
    case psResume: SkipPositions = 2; break;
    case psStop:
        Perview->update(); // the backdrop shows again
        break;
    case psEnd: StopPreview(); break;
    case psPlay:
    case psStep: break;
    }
}

// --- Seeking with the bar ----------------------------------------------------------------------

void TMainfrm::ConnectSeekBar() {
    TrckVideo->OnTickMouseDown = [this](TMrvTrackbar*) {
        ThumbDragging = true;
        PauseForDrag(0, WasPlayingBeforeDrag, PlayToggle, btnPlay, FFPlayer, btnPause);
    };
    TrckVideo->OnMouseMove = [this](TMrvTrackbar*, Qt::MouseButton, Qt::KeyboardModifiers, int,
                                    int) { MovedWhileDragging = ThumbDragging; };
    TrckVideo->OnMouseUp = [this](TMrvTrackbar* bar, Qt::MouseButton, Qt::KeyboardModifiers, int x,
                                  int y) { TrackClicked = bar->TrackRect().contains(x, y); };
    TrckVideo->OnTickChange = [this](TMrvTrackbar*) {
        if (TrackClicked && !ThumbDragging) {
            SeekToBar();
            SkipPositions = 3;
            TrackClicked = false;
        } else if (ThumbDragging && MovedWhileDragging) {
            SeekToBar(); // the picture follows the thumb
        }
    };
    TrckVideo->OnTickMouseUp = [this](TMrvTrackbar*) {
        TrackClicked = false;
        if (ThumbDragging) {
            PauseForDrag(1, WasPlayingBeforeDrag, PlayToggle, btnPlay, FFPlayer, btnPause);
            if (MovedWhileDragging)
                SkipPositions = 3;
        }
        ThumbDragging = false;
        MovedWhileDragging = false;
    };
}

void TMainfrm::SeekToBar() {
    lblpos->setText(ElapsedText(TrckVideo->Position() - TrckVideo->Min()));
    FFPlayer.Seek(0, false, TrckVideo->Position());
}

// --- Snapshots ---------------------------------------------------------------------------------

void TMainfrm::btnSnapshotClick() {
    const QImage picture = FFPlayer.CurrentPicture().copy();
    if (picture.width() == 0)
        return;
    const QString base =
        AppSettings().SnapshotPath + QFileInfo(lblFileName->toolTip()).completeBaseName();
    QString error;
    if (SaveSnapshot(picture, base, AppSettings().SnapshotExt, &error).isEmpty())
        Prompts().Error(this, error); // playback goes on
}

void TMainfrm::btnOpenClick() {
    Prompts().OpenFolder(AppSettings().SnapshotPath);
}
