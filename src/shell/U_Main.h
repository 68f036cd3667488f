#pragma once

// The main window: the job list, the preview panel and the output folder, with the commands
// that act on them. It owns the encoder component whose libraries it loads and whose probing
// decoder adds files.

#include "core/U_TreelistModel.h"
#include "engine/FFLoad.h"
#include "engine/encoder/FFEncode.h"

#include <QWidget>

#include <functional>

class QCheckBox;
class QLabel;
class QTimer;
class TSkinImage;
class QLineEdit;
class QMenu;
class QSlider;
class QToolButton;
class TJobListView;

class TMainfrm : public QWidget {
    Q_OBJECT

public:
    explicit TMainfrm(QWidget* parent = nullptr);
    ~TMainfrm() override;

    TJobList& List() { return FList; }
    // The encoder loads the media libraries and lends its decoder to adding files; the
    // preview player's SDL is held here (LoadEngineLibraries loads both at start).
    TFFEncoder& Encoder() { return FFEncoder; }
    TSDLLoader& PlayerSdl() { return FPlayerSdl; }

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
    QWidget* Perview = nullptr;
    QSlider* TrckVideo = nullptr;
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
    void btnChangeClick();
    void btnBrowseClick();
    void btnStartClick();
    void mniHelpClick();
    void mniAboutClick();
    void btnOpenClick();
    void VSTFileChange();
    void VSTFileContextMenu(const QPoint& position);

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
    // The preview controls in their idle state, or ready to play.
    void SetPreviewIdle(bool ready);
    void SetPreviewTitle(const QString& text);
    void StopPreview();
    void ToggleMaximized();

    TJobList FList;
    TFFEncoder FFEncoder;
    TSDLLoader FPlayerSdl; // the preview player's SDL, held for the player
    bool FFirstShow = true;
    TCommandMode FCommandMode = cmNothing;
};
