#pragma once

// The clip window: the user plays a job item's source, marks a start and an end on the seek
// bar and collects clips in a list whose times can also be typed; OK makes them the item's
// clip rows. The window borrows the main window's player while it is open (taking over its
// file-open, position and state events, video hook off) and works on the process-wide
// ClipList, which the main window fills before and clears after. GUI thread only.
//
// The seek bar counts in units of the source's first video stream (frames, when it has a frame
// rate and a duration), otherwise in microseconds; one second of units is the shortest clip.

#include "core/U_Treelist.h"
#include "engine/player/FFPlay.h"
#include "shell/SkinnedDialog.h"

#include <cstdint>

class QLabel;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class TJobList;
class TJobRow;
class TMrvTrackbar;
class TMyMaskEdit;
class TPictureButton;
class TPlayerDisplay;

class TClipfrm : public TSkinnedDialog {
    Q_OBJECT

public:
    // `owner` is the top-level item cut into clips; its existing clips are in ClipList().
    TClipfrm(TCustomPlayer& player, TJobList& list, TJobRow* owner, QWidget* parent = nullptr);
    ~TClipfrm() override;

    // Controls, named as in the design.
    TPlayerDisplay* PanelVideo = nullptr;
    TMrvTrackbar* TrckVideo = nullptr;
    QLabel* lblpos = nullptr;
    QLabel* lbllen = nullptr;
    QToolButton* btnPlay = nullptr;
    QToolButton* btnPause = nullptr;
    QToolButton* btnStop = nullptr;
    TPictureButton* btnPlayClip = nullptr;
    TPictureButton* btnmarkin = nullptr;
    TPictureButton* btnmarkout = nullptr;
    TPictureButton* btnadd = nullptr;
    TPictureButton* btndelete = nullptr;
    TPictureButton* btnOK = nullptr;
    TPictureButton* btnCancel = nullptr;
    QTreeWidget* lvCutVideo = nullptr;
    TMyMaskEdit* ItemEdit = nullptr;

    // The window's state, for its users and tests.
    int64_t Frames() const { return FFrames; }
    int UnitsPerSecond() const { return FUnitsPerSecond; }
    int ClipCounter() const { return FClipCounter; }
    bool Modified() const { return FModified; }
    bool Playing() const { return FPlayToggle == 1; }
    // The record of a row of lvCutVideo.
    TClipFile& ClipOf(int row);
    int ClipCount() const;
    // Microseconds of `units` of the seek bar, and back (rounded, ties to even).
    int64_t TimeOf(int64_t units) const;
    int64_t UnitsOf(int64_t microseconds) const;

    void btnPlayClick();
    void btnPauseClick();
    void btnPlayClipClick();
    void btnStopClick();
    void btnmarkinClick();
    void btnmarkoutClick();
    void btnaddClick();
    void btndeleteClick();
    void btnOKClick();
    void btnCancelClick();
    // Puts the editor over a row's start (column 0) or end (1) time and focuses it.
    void EditRow(int row, int column);

protected:
    void FirstShow() override;
    void reject() override; // the close box, Escape and the window manager ask like Cancel
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void ConnectSeekBar();
    void OpenSource();
    void PlayerFileOpen(int64_t duration, int& screenWidth, int& screenHeight);
    void PlayerPosition(int64_t pts);
    void PlayerState(TPlayState state);
    void ComputeUnits();

    void SetPlaying(bool playing);
    void KeepMinimumLength(bool startChanged);
    void StoreMarkIntoSelection(bool start);
    void ShowSelectedClip();
    void UpdatePlayEnabled();
    void TurnTrackingOn();

    QTreeWidgetItem* AddRow(const TClipFile& clip);
    void RefreshRow(int row);
    int SelectedRow() const;
    void HideEditor();
    void EditorTextEdited(const QString& text);
    void CloseWithoutSaving();
    void ClosePlayer();

    TCustomPlayer& FPlayer;
    TJobList& FList;
    TJobRow* FOwner;
    QList<TClipFile> FClips; // one per row of lvCutVideo, in its order

    int64_t FFrames = 0;
    int FUnitsPerSecond = 1000000;
    int64_t FDuration = 0;
    int FClipCounter = 0;
    bool FModified = false;
    int FEditColumn = 0;
    bool FTracking = false;
    bool FOpened = false;
    int FPlayToggle = 0;
    int FSkip = 0;
    bool FThumbPressed = false;
    bool FThumbMoved = false;
    bool FThumbPaused = false;
    bool FStartPressed = false;
    bool FEndPressed = false;
    bool FSeekPending = false;
    bool FWasPlayingBeforeMark = false;
    bool FRefreshing = false; // the window writes the editor itself
    bool FClosing = false;
};

// One more than the highest "Part_" number among `clips`; 0 when there is none.
int NextClipNumber(const QList<TClipFile>& clips);
