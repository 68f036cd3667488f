#include "shell/U_Main.h"

#include "controls/MrvTrackbar.h"
#include "core/AppFolders.h"
#include "core/AppSettings.h"
#include "core/U_Treelist.h"
#include "core/WorkFolders.h"
#include "engine/widgets/TPlayerDisplay.h"
#include "shell/AppTheme.h"
#include "shell/SkinnedDialog.h"
#include "shell/U_MainIcons.h"
#include "shell/U_MainList.h"
#include "shell/uLoadUI.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

namespace {

constexpr QSize kDesignSize(920, 570);
constexpr int kCornerRadius = 12;
constexpr int kHeaderHeight = 37;
constexpr int kBarHeight = 80;
constexpr int kPreviewWidth = 315;
constexpr int kStopDelayMilliseconds = 1500;
const QColor kPreviewPanelColour(0x23, 0x27, 0x2e); // as #pnlPreview in MainWindow.qss

// A flat button of the window's look; an icon size of 0 leaves it without a picture.
QToolButton* MakeButton(QWidget* parent, const char* name, TMainIcon icon, const QString& text,
                        int iconSize, Qt::ToolButtonStyle style) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    if (iconSize > 0) {
        button->setIcon(MainIcon(icon, iconSize));
        button->setIconSize(QSize(iconSize, iconSize));
    }
    button->setText(text);
    button->setToolButtonStyle(style);
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

// A named area of the window that the style sheet paints.
QWidget* MakePanel(QWidget* parent, const char* name) {
    auto* panel = new QWidget(parent);
    panel->setObjectName(QLatin1String(name));
    panel->setAttribute(Qt::WA_StyledBackground);
    return panel;
}

// The header's middle picture, a vertical gradient stretched over it.
QPixmap HeaderPicture() {
    QImage strip(1, kHeaderHeight, QImage::Format_RGB32);
    for (int y = 0; y < kHeaderHeight; ++y) {
        const double t = double(y) / (kHeaderHeight - 1);
        strip.setPixelColor(0, y,
                            QColor::fromRgbF(0.20 - 0.07 * t, 0.22 - 0.07 * t, 0.26 - 0.07 * t));
    }
    return QPixmap::fromImage(strip);
}

} // namespace

TMainfrm::TMainfrm(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), IsOnCdRom(IsOnOpticalDisc) {
    setObjectName(QStringLiteral("Mainfrm"));
    setWindowTitle(QStringLiteral("Morvane Reelcaster"));
    setWindowIcon(MainIcon(TMainIcon::Logo, 64));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(StyleSheet(QStringLiteral(":/styles/MainWindow.qss")));
    resize(kDesignSize);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    root->addWidget(BuildHeader(this));
    root->addWidget(BuildOperationBar(this));
    root->addWidget(BuildCentre(this), 1);
    root->addWidget(BuildBottomBar(this));
    BuildMenus();
    BuildKeyboardAccess();
    BuildFrame();

    lblSoftName->setText(QStringLiteral("Morvane Reelcaster"));
    SetTempPath(QueryTempPath());
    FList.SetRowIcons({MainIcon(TMainIcon::RowFile, 16), MainIcon(TMainIcon::RowMerge, 16),
                       MainIcon(TMainIcon::RowClip, 16)});
    ClipList().clear();

    // The default folders exist whatever the settings point at.
    const QString data = DataFolder();
    QDir().mkpath(data + QStringLiteral("Output"));
    QDir().mkpath(data + QStringLiteral("Snapshot"));

    SetCommandMode(cmNothing);
    SetPreviewIdle(false);
    AttachPlayerHandlers();
}

TMainfrm::~TMainfrm() {
    DetachPlayerHandlers();
    ClipList().clear();
    RemoveScaledWatermarkFolder();
    StopPreview();
}

QSize TMainfrm::FirstShowSize(const QSize& screen) {
    if (screen.width() < kDesignSize.width() || screen.height() < kDesignSize.height())
        return QSize(qRound(screen.width() * 0.9), qRound(screen.height() * 0.9));
    return kDesignSize;
}

// --- Building the window ---------------------------------------------------------------------

QWidget* TMainfrm::BuildHeader(QWidget* parent) {
    imgHeaderC = new TSkinImage(QStringLiteral("imgHeaderC"), QColor(0x2a, 0x2f, 0x38), parent);
    imgHeaderC->SetPicture(HeaderPicture());
    imgHeaderC->setFixedHeight(kHeaderHeight);
    auto* row = new QHBoxLayout(imgHeaderC);
    row->setContentsMargins(12, 0, 0, 0);
    row->setSpacing(8);

    auto* logo = new QLabel(imgHeaderC);
    logo->setObjectName(QStringLiteral("imgLogo"));
    logo->setPixmap(MainIcon(TMainIcon::Logo, 22).pixmap(22, 22));
    logo->setAttribute(Qt::WA_TransparentForMouseEvents);
    lblSoftName = new QLabel(imgHeaderC);
    lblSoftName->setObjectName(QStringLiteral("lblSoftName"));
    lblSoftName->setAttribute(Qt::WA_TransparentForMouseEvents);
    row->addWidget(logo);
    row->addWidget(lblSoftName);
    row->addStretch(1);

    const auto captionButton = [this](const char* name, TMainIcon icon, const QString& hint) {
        QToolButton* button =
            MakeButton(imgHeaderC, name, icon, QString(), 14, Qt::ToolButtonIconOnly);
        button->setFixedSize(44, kHeaderHeight);
        button->setToolTip(hint);
        return button;
    };
    btnmin = captionButton("btnmin", TMainIcon::Minimize, QStringLiteral("Minimize"));
    btnMax = captionButton("btnMax", TMainIcon::Maximize, QStringLiteral("Maximize"));
    btnRestore = captionButton("btnRestore", TMainIcon::Restore, QStringLiteral("Restore"));
    btnclose = captionButton("btnclose", TMainIcon::Close, QStringLiteral("Close"));
    btnRestore->hide();
    for (QToolButton* button : {btnmin, btnMax, btnRestore, btnclose})
        row->addWidget(button);

    connect(btnmin, &QToolButton::clicked, this, &QWidget::showMinimized);
    connect(btnMax, &QToolButton::clicked, this, &TMainfrm::ToggleMaximized);
    connect(btnRestore, &QToolButton::clicked, this, &TMainfrm::ToggleMaximized);
    connect(btnclose, &QToolButton::clicked, this, &QWidget::close);
    connect(imgHeaderC, &TSkinImage::Pressed, this, [this](QMouseEvent* event) {
        if (event->button() == Qt::LeftButton && !isMaximized())
            imgHeaderC->DragWindow(event);
    });
    return imgHeaderC;
}

QWidget* TMainfrm::BuildOperationBar(QWidget* parent) {
    QWidget* bar = MakePanel(parent, "pnlOperation");
    bar->setFixedHeight(kBarHeight);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(14, 6, 14, 6);
    row->setSpacing(6);
    const auto barButton = [bar](const char* name, TMainIcon icon, const QString& text) {
        QToolButton* button = MakeButton(bar, name, icon, text, 36, Qt::ToolButtonTextUnderIcon);
        button->setMinimumWidth(82);
        return button;
    };
    btnAdd = barButton("btnAdd", TMainIcon::Add, QStringLiteral("Add Files"));
    btnFormats = barButton("btnFormats", TMainIcon::Formats, QStringLiteral("Formats"));
    btnOption = barButton("btnOption", TMainIcon::Options, QStringLiteral("Options"));
    btnHelp = barButton("btnHelp", TMainIcon::Help, QStringLiteral("Help"));
    btnAdd->setToolTip(QStringLiteral("Add video files to the list"));
    btnFormats->setToolTip(QStringLiteral("Output format of the selected file"));
    btnOption->setToolTip(QStringLiteral("Output and snapshot folders"));
    row->addWidget(btnAdd);
    row->addWidget(btnFormats);
    row->addWidget(btnOption);
    row->addStretch(1);
    row->addWidget(btnHelp);

    connect(btnAdd, &QToolButton::clicked, this, &TMainfrm::btnAddClick);
    connect(btnOption, &QToolButton::clicked, this, &TMainfrm::btnOptionClick);
    connect(btnFormats, &QToolButton::clicked, this, &TMainfrm::btnFormatsClick);
    connect(btnHelp, &QToolButton::clicked, this,
            [this] { PmHelp->popup(btnHelp->mapToGlobal(QPoint(0, btnHelp->height()))); });
    return bar;
}

QWidget* TMainfrm::BuildCentre(QWidget* parent) {
    auto* centre = new QWidget(parent);
    auto* row = new QHBoxLayout(centre);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    auto* left = new QWidget(centre);
    auto* column = new QVBoxLayout(left);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    VSTFile = new TJobListView(FList, left);
    column->addWidget(VSTFile, 1);

    QWidget* listBar = MakePanel(left, "pnlListBar");
    listBar->setFixedHeight(38);
    auto* barRow = new QHBoxLayout(listBar);
    barRow->setContentsMargins(10, 3, 10, 3);
    barRow->setSpacing(4);
    chkall = new QCheckBox(QStringLiteral("All"), listBar);
    chkall->setObjectName(QStringLiteral("chkall"));
    chkall->setChecked(true);
    chkall->setFocusPolicy(Qt::NoFocus);
    barRow->addWidget(chkall);
    barRow->addStretch(1);
    const auto listButton = [listBar](const char* name, TMainIcon icon, const QString& text) {
        return MakeButton(listBar, name, icon, text, 18, Qt::ToolButtonTextBesideIcon);
    };
    btnEdit = listButton("btnEdit", TMainIcon::Edit, QStringLiteral("Edit"));
    btnClip = listButton("btnClip", TMainIcon::Clip, QStringLiteral("Clip"));
    btnMerge = listButton("btnMerge", TMainIcon::Merge, QStringLiteral("Merge"));
    btnEdit->setToolTip(QStringLiteral("Crop and watermark"));
    btnClip->setToolTip(QStringLiteral("Cut clips out of the file"));
    btnMerge->setToolTip(QStringLiteral("Join the selected files into one"));
    for (QToolButton* button : {btnEdit, btnClip, btnMerge})
        barRow->addWidget(button);
    column->addWidget(listBar);

    row->addWidget(left, 1);
    row->addWidget(BuildPreview(centre));

    connect(VSTFile, &TJobListView::SelectionUpdated, this, &TMainfrm::VSTFileChange);
    connect(VSTFile, &TJobListView::RemoveRequested, this, &TMainfrm::mniRemoveClick);
    connect(VSTFile, &TJobListView::RenameRequested, this, &TMainfrm::mniRenameClick);
    connect(VSTFile, &TJobListView::FilesDropped, this, &TMainfrm::AddDroppedFiles);
    connect(VSTFile, &QWidget::customContextMenuRequested, this, &TMainfrm::VSTFileContextMenu);
    connect(chkall, &QCheckBox::clicked, this, &TMainfrm::chkallClick);
    connect(btnMerge, &QToolButton::clicked, this, &TMainfrm::btnMergeClick);
    connect(btnClip, &QToolButton::clicked, this, &TMainfrm::btnClipClick);
    connect(btnEdit, &QToolButton::clicked, this, &TMainfrm::btnEditClick);
    return centre;
}

QWidget* TMainfrm::BuildPreview(QWidget* parent) {
    QWidget* panel = MakePanel(parent, "pnlPreview");
    panel->setFixedWidth(kPreviewWidth);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(17, 6, 17, 12);
    column->setSpacing(8);

    lblFileName = new QLabel(panel);
    lblFileName->setObjectName(QStringLiteral("lblFileName"));
    lblFileName->setFixedWidth(kPreviewWidth - 34);
    SetPreviewTitle(QStringLiteral("Reelcaster"));
    column->addWidget(lblFileName);

    // The display the player draws into: black, with a faint picture while nothing plays.
    Perview = new TPlayerDisplay(panel);
    Perview->setObjectName(QStringLiteral("Perview"));
    QPixmap backdrop(280, 243);
    backdrop.fill(Qt::black);
    {
        QPainter painter(&backdrop);
        painter.setOpacity(0.18);
        MainIcon(TMainIcon::Logo, 96).paint(&painter, QRect(92, 73, 96, 96));
    }
    Perview->SetBackdrop(backdrop);
    // 280 x 243 when there is room; shorter on small screens, where the window is smaller.
    Perview->setFixedWidth(280);
    Perview->setMinimumHeight(200);
    Perview->setMaximumHeight(243);
    Perview->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    column->addWidget(Perview, 1, Qt::AlignHCenter); // first to grow, up to its full height

    // The seek bar: the thumb and the played part only, on the panel's colour.
    TrckVideo = new TMrvTrackbar(panel);
    TrckVideo->setObjectName(QStringLiteral("TrckVideo"));
    TrckVideo->setFixedHeight(20);
    TrckVideo->SetShowSegment(false);
    TrckVideo->SetShowCut(false);
    TrckVideo->SetTrackOffsetY(8);
    TrckVideo->TickOffsetY = 2;
    TrckVideo->SetBGColor(ColorRefOf(kPreviewPanelColour));
    TrckVideo->SetTickBrushColor(0xC0208ADE);
    column->addWidget(TrckVideo);

    auto* times = new QHBoxLayout;
    lblpos = new QLabel(panel);
    lblpos->setObjectName(QStringLiteral("lblpos"));
    lbllen = new QLabel(panel);
    lbllen->setObjectName(QStringLiteral("lbllen"));
    times->addStretch(1);
    times->addWidget(lblpos);
    times->addWidget(lbllen);
    times->setSpacing(0);
    column->addLayout(times);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(6);
    const auto previewButton = [panel](const char* name, TMainIcon icon, const QString& hint) {
        QToolButton* button = MakeButton(panel, name, icon, QString(), 22, Qt::ToolButtonIconOnly);
        button->setToolTip(hint);
        button->setFixedSize(36, 32);
        return button;
    };
    btnPlay = previewButton("btnPlay", TMainIcon::Play, QStringLiteral("Play"));
    btnPause = previewButton("btnPause", TMainIcon::Pause, QStringLiteral("Pause"));
    btnStop = previewButton("btnStop", TMainIcon::Stop, QStringLiteral("Stop"));
    btnSnapshot = previewButton("btnSnapshot", TMainIcon::Snapshot, QStringLiteral("Snapshot"));
    btnOpen = previewButton("btnOpen", TMainIcon::OpenFolder, QStringLiteral("Open snapshot dir"));
    btnPause->hide();
    for (QToolButton* button : {btnPlay, btnPause, btnStop, btnSnapshot})
        buttons->addWidget(button);
    buttons->addStretch(1);
    buttons->addWidget(btnOpen);
    column->addLayout(buttons);
    column->addStretch(0);

    TmrStop = new QTimer(this);
    TmrStop->setObjectName(QStringLiteral("TmrStop"));
    TmrStop->setSingleShot(true);
    TmrStop->setTimerType(Qt::PreciseTimer); // a coarse timer may fire 5 % early
    TmrStop->setInterval(kStopDelayMilliseconds);
    connect(TmrStop, &QTimer::timeout, this, &TMainfrm::StopPreview);
    connect(btnOpen, &QToolButton::clicked, this, &TMainfrm::btnOpenClick);
    connect(btnPlay, &QToolButton::clicked, this, &TMainfrm::btnPlayClick);
    connect(btnPause, &QToolButton::clicked, this, &TMainfrm::btnPauseClick);
    connect(btnStop, &QToolButton::clicked, this, &TMainfrm::StopPreview);
    connect(btnSnapshot, &QToolButton::clicked, this, &TMainfrm::btnSnapshotClick);
    ConnectSeekBar();
    return panel;
}

QWidget* TMainfrm::BuildBottomBar(QWidget* parent) {
    QWidget* bar = MakePanel(parent, "pnlBottom");
    bar->setFixedHeight(kBarHeight);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(16, 8, 18, 8);
    row->setSpacing(8);
    auto* caption = new QLabel(QStringLiteral("Output Folder:"), bar);
    edtoutput = new QLineEdit(bar);
    edtoutput->setObjectName(QStringLiteral("edtoutput"));
    edtoutput->setReadOnly(true);
    edtoutput->setMinimumWidth(200);
    btnChange = MakeButton(bar, "btnChange", TMainIcon::OpenFolder, QStringLiteral("Changing"), 0,
                           Qt::ToolButtonTextOnly);
    btnBrowse = MakeButton(bar, "btnBrowse", TMainIcon::OpenFolder, QStringLiteral("Browse"), 0,
                           Qt::ToolButtonTextOnly);
    btnChange->setToolTip(QStringLiteral("Choose the folder for converted files"));
    btnBrowse->setToolTip(QStringLiteral("Open the output folder"));
    btnStart = MakeButton(bar, "btnStart", TMainIcon::Start, QStringLiteral("Start"), 28,
                          Qt::ToolButtonTextBesideIcon);
    btnStart->setToolTip(QStringLiteral("Convert the checked files"));
    btnStart->setEnabled(false);
    row->addWidget(caption);
    row->addWidget(edtoutput, 1);
    row->addWidget(btnChange);
    row->addWidget(btnBrowse);
    row->addSpacing(24);
    row->addWidget(btnStart);

    connect(btnChange, &QToolButton::clicked, this, &TMainfrm::btnChangeClick);
    connect(btnBrowse, &QToolButton::clicked, this, &TMainfrm::btnBrowseClick);
    connect(btnStart, &QToolButton::clicked, this, &TMainfrm::btnStartClick);
    return bar;
}

void TMainfrm::BuildMenus() {
    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    // A key shown beside a caption works while the menu is open; in the list, the list itself
    // answers Delete and F2.
    const auto item = [this](QMenu* menu, const char* name, const QString& caption,
                             const QKeySequence& key = {}) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetShortcut);
        action->setShortcutVisibleInContextMenu(true);
        return action;
    };
    mniRemove = item(PopupMenu, "mniRemove", QStringLiteral("&Remove"), QKeySequence::Delete);
    mniClearAll = item(PopupMenu, "mniClearAll", QStringLiteral("&Clear All"));
    mniRename = item(PopupMenu, "mniRename", QStringLiteral("Re&name"), Qt::Key_F2);
    PopupMenu->addSeparator();
    mniFormats = item(PopupMenu, "mniFormats", QStringLiteral("&Formats"));
    mniEdit = item(PopupMenu, "mniEdit", QStringLiteral("&Edit"));
    mniClip = item(PopupMenu, "mniClip", QStringLiteral("C&lip"));
    mniMerge = item(PopupMenu, "mniMerge", QStringLiteral("&Merge"));
    PopupMenu->addSeparator();
    mniFile = item(PopupMenu, "mniFile", QStringLiteral("File &Properties"));
    for (QAction* action : {mniRemove, mniRename, mniFormats, mniEdit, mniClip, mniMerge, mniFile})
        action->setEnabled(false);

    PmHelp = new QMenu(this);
    PmHelp->setObjectName(QStringLiteral("PmHelp"));
    mniHelp = item(PmHelp, "mniHelp", QStringLiteral("&Help"));
    PmHelp->addSeparator();
    mniAbout = item(PmHelp, "mniAbout", QStringLiteral("&About"));

    connect(mniRemove, &QAction::triggered, this, &TMainfrm::mniRemoveClick);
    connect(mniClearAll, &QAction::triggered, this, &TMainfrm::mniClearAllClick);
    connect(mniRename, &QAction::triggered, this, &TMainfrm::mniRenameClick);
    connect(mniMerge, &QAction::triggered, this, &TMainfrm::btnMergeClick);
    connect(mniClip, &QAction::triggered, this, &TMainfrm::btnClipClick);
    connect(mniEdit, &QAction::triggered, this, &TMainfrm::btnEditClick);
    connect(mniFormats, &QAction::triggered, this, &TMainfrm::btnFormatsClick);
    connect(mniFile, &QAction::triggered, this, &TMainfrm::mniFileClick);
    connect(mniHelp, &QAction::triggered, this, &TMainfrm::mniHelpClick);
    connect(mniAbout, &QAction::triggered, this, &TMainfrm::mniAboutClick);
}

// --- Frame -----------------------------------------------------------------------------------

void TMainfrm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!FFirstShow)
        return;
    FFirstShow = false;
    // Where it was when it last closed, else in the middle of the screen.
    const QScreen* display = screen();
    if (!RestorePlace() && display != nullptr) {
        resize(FirstShowSize(display->geometry().size()));
        move(display->availableGeometry().center() - rect().center());
    }
    edtoutput->setText(AppSettings().OutputPath);
}

void TMainfrm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ApplyRoundedCorners(this, kCornerRadius);
}

void TMainfrm::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    // The window manager may maximise or restore the window too (keyboard, double click).
    btnMax->setVisible(!isMaximized());
    btnRestore->setVisible(isMaximized());
    ApplyRoundedCorners(this, kCornerRadius);
}

void TMainfrm::closeEvent(QCloseEvent* event) {
    StorePlace();
    // Nothing of the preview may arrive while the application shuts down.
    DetachPlayerHandlers();
    StopPreview();
    QWidget::closeEvent(event);
}

void TMainfrm::ToggleMaximized() {
    if (isMaximized())
        showNormal();
    else
        showMaximized();
}
