#pragma once

// The main window: the job list, the preview panel and the output folder, with the commands
// that act on them. It owns the encoder component whose libraries it loads and whose probing
// decoder adds files, and the preview player that the clip and edit windows borrow.
//
// Sources: U_Main.cpp (building the window, its frame), U_MainCommands.cpp (the commands and
// their enabling), U_MainPreview.cpp (the preview panel and snapshots).

#include "core/U_TreelistModel.h"
#include "engine/FFLoad.h"
#include "engine/encoder/FFEncode.h"
#include "engine/player/FFPlay.h"

#include <QWidget>

#include <functional>

class QCheckBox;
class QLabel;
class QTimer;
class TSkinImage;
class QLineEdit;
class QMenu;
class QToolButton;
class TJobListView;
class TJobRow;
class TMrvTrackbar;
class TPlayerDisplay;

class TMainfrm : public QWidget {
    Q_OBJECT

public:
    explicit TMainfrm(QWidget* parent = nullptr);
    ~TMainfrm() override;

    TJobList& List() { return FList; }
    // The encoder loads the media libraries and lends its decoder to adding files; the
    // preview player holds the SDL (LoadEngineLibraries loads both at start).
    TFFEncoder& Encoder() { return FFEncoder; }
    TFFPlayer& Player() { return FFPlayer; }

    // The size the window takes when first shown on a screen of `screen` size.
    static QSize FirstShowSize(const QSize& screen);
    static const QStringList& AddFilesFilters();

    // Command modes: which command controls are enabled.
    enum TCommandMode { cmPlainItem = 1, cmSeveralTopLevel, cmNothing, cmMergeItem, cmClip };
    void SetCommandMode(TCommandMode mode);
    TCommandMode CommandMode() const { return FCommandMode; }

    // Adds files through the loading-progress window, then reports those that failed.
    void AddFiles(const QStringList& files);
    // Files that arrive without the add-files dialog (dropped, or named at start).
    void AddDroppedFiles(const QStringList& files);

    // Whether a folder lies on an optical disc (replaceable for tests).
    std::function<bool(const QString&)> IsOnCdRom;
    // Opens the conversion of the checked rows (set once the conversion window exists).
    std::function<void()> OpenConversion;
    // Opens the clip window for `owner` (a top-level item) on this window's player; the
    // clips are in ClipList() before and after.
    std::function<void(TJobRow* owner)> OpenClip;
    // Opens the edit window for `row` on this window's player.
    std::function<void(TJobRow* row)> OpenEdit;

    // Controls, named as in the design.
    TSkinImage* imgHeaderC = nullptr; // the header's middle: dragging it moves the window
    QLabel* lblSoftName = nullptr;
    QToolButton* btnmin = nullptr;
    QToolButton* btnMax = nullptr;
    QToolButton* btnRestore = nullptr;
    QToolButton* btnclose = nullptr;
    QToolButton* btnAdd = nullptr;
    QToolButton* btnFormats = nullptr;
    QToolButton* btnOption = nullptr;
    QToolButton* btnHelp = nullptr;
    TJobListView* VSTFile = nullptr;
    QCheckBox* chkall = nullptr;
    QToolButton* btnEdit = nullptr;
    QToolButton* btnClip = nullptr;
    QToolButton* btnMerge = nullptr;
    QLineEdit* edtoutput = nullptr;
    QToolButton* btnChange = nullptr;
    QToolButton* btnBrowse = nullptr;
    QToolButton* btnStart = nullptr;
    QLabel* lblFileName = nullptr; // preview title
    TPlayerDisplay* Perview = nullptr;
    TMrvTrackbar* TrckVideo = nullptr;
    QLabel* lblpos = nullptr;
    QLabel* lbllen = nullptr;
    QToolButton* btnPlay = nullptr;
    QToolButton* btnPause = nullptr;
    QToolButton* btnStop = nullptr;
    QToolButton* btnSnapshot = nullptr;
    QToolButton* btnOpen = nullptr;
    QTimer* TmrStop = nullptr;
    QMenu* PopupMenu = nullptr;
    QMenu* PmHelp = nullptr;
    QAction* mniRemove = nullptr;
    QAction* mniClearAll = nullptr;
    QAction* mniRename = nullptr;
    QAction* mniFormats = nullptr;
    QAction* mniEdit = nullptr;
    QAction* mniClip = nullptr;
    QAction* mniMerge = nullptr;
    QAction* mniFile = nullptr;
    QAction* mniHelp = nullptr;
    QAction* mniAbout = nullptr;

    // The command handlers.
    void btnAddClick();
    void mniRemoveClick();
    void mniClearAllClick();
    void mniRenameClick();
    void chkallClick();
    void btnMergeClick();
    void btnClipClick();
    void btnEditClick();
    void btnFormatsClick();
    void mniFileClick();
    void btnChangeClick();
    void btnBrowseClick();
    void btnStartClick();
    void mniHelpClick();
    void mniAboutClick();
    void btnOpenClick();
    void btnOptionClick();
    void btnPlayClick();
    void btnPauseClick();
    void btnSnapshotClick();
    // Closes the preview's file (without waiting) and leaves the panel ready or idle.
    void StopPreview();
    void PausePreview(); // only when it plays
    void VSTFileChange();
    void VSTFileContextMenu(const QPoint& position);

    // The player's file-open, position and state events go to the preview panel (hook off);
    // detached, the player tells nothing (while another window borrows it, and at the end).
    void AttachPlayerHandlers();
    void DetachPlayerHandlers();

    // Preview state.
    bool IsPlaying = false; // a file is open in the preview player
    bool CanPlay = false;   // the selection can be previewed: one row, not a merge item
    int PlayToggle = 0;     // 1 while the pause button shows
    int SkipPositions = 0;  // coming position events to ignore (after seeks and resumes)
    bool ThumbDragging = false;
    bool MovedWhileDragging = false;
    bool TrackClicked = false;
    bool WasPlayingBeforeDrag = false;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* BuildHeader(QWidget* parent);
    QWidget* BuildOperationBar(QWidget* parent);
    QWidget* BuildCentre(QWidget* parent);
    QWidget* BuildPreview(QWidget* parent);
    QWidget* BuildBottomBar(QWidget* parent);
    void BuildMenus();
    void BuildKeyboardAccess(); // U_MainKeyboard.cpp
    // The frame (U_MainFrame.cpp): edges that resize, the place remembered between runs.
    void BuildFrame();
    bool RestorePlace();
    void StorePlace();
    // The preview controls in their idle state, or ready to play.
    void SetPreviewIdle(bool ready);
    void SetPreviewTitle(const QString& text);
    void SetPreviewPlaying();
    // The preview's player and seek-bar handlers.
    void PlayerFileOpen(int& screenWidth, int& screenHeight);
    void PlayerPosition(int64_t pts);
    void PlayerState(TPlayState state);
    void ConnectSeekBar();
    void SeekToBar();
    void ToggleMaximized();

    TJobList FList;
    TFFEncoder FFEncoder;
    TFFPlayer FFPlayer;
    bool FFirstShow = true;
    TCommandMode FCommandMode = cmNothing;
};
