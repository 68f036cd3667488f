#include "editing/U_Edit.h"

#include "controls/AreaEditor.h"
#include "controls/MrvTrackbar.h"
#include "core/MrvLog.h"
#include "editing/EditPreview.h"
#include "engine/widgets/TPlayerDisplay.h"
#include "shell/PlayerControls.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// A slider on the window's own background.
TMrvTrackbar* MakeSlider(QWidget* parent, const char* name, int height) {
    auto* bar = new TMrvTrackbar(parent);
    bar->setObjectName(QLatin1String(name));
    bar->setFixedHeight(height);
    bar->SetShowSegment(false);
    bar->SetShowCut(false);
    bar->ShowTickColor = false;
    bar->SetBGColor(ColorRefOf(parent->palette().color(QPalette::Window)));
    bar->SetTickBrushColor(0xC0208ADE); // the played part
    return bar;
}

QSpinBox* MakeSpinEdit(QWidget* parent, const char* name) {
    auto* edit = new QSpinBox(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setRange(0, 0);
    edit->setMinimumWidth(76);
    return edit;
}

QLabel* MakeLabel(QWidget* parent, const QString& text, QWidget* buddy = nullptr) {
    auto* label = new QLabel(text, parent);
    if (buddy != nullptr)
        label->setBuddy(buddy);
    return label;
}

} // namespace

TEditfrm::TEditfrm(TCustomPlayer& player, TFileOption& item, QWidget* parent)
    : TSkinnedDialog(parent, QStringLiteral("Edit"), FrameSet | ButtonSet | CaptionButtonSet),
      FPlayer(player), FItem(item) {
    setObjectName(QStringLiteral("Editfrm"));
    setWindowTitle(QStringLiteral("Video Edit"));
    FFont.setPointSize(kDefaultFontSize);
    BuildControls();
    ConnectSeekBar();
    ConnectWatermarkPage();

    FPlayer.OnFileOpen = [this](QObject*, int64_t duration, int, int, int& width, int& height) {
        PlayerFileOpen(duration, width, height);
    };
    FPlayer.OnPosition = [this](QObject*, int64_t pts) { PlayerPosition(pts); };
    FPlayer.OnState = [this](QObject*, TPlayState state) { PlayerState(state); };
    // Video thread.
    FPlayer.OnVideoHook = [this](QObject*, QImage* bitmap, int64_t, bool& update) {
        VideoHook(*bitmap, update);
    };
    FPlayer.VideoHook = true;
    CentreOnDesktop(this);
}

TEditfrm::~TEditfrm() {
    // The hook draws into this window: the player must have stopped before it goes.
    if (!FClosing)
        FPlayer.Close(true);
    DetachPlayer();
    hide();
}

void TEditfrm::DetachPlayer() {
    FPlayer.VideoHook = false;
    FPlayer.OnVideoHook = nullptr;
    FPlayer.OnFileOpen = nullptr;
    FPlayer.OnPosition = nullptr;
    FPlayer.OnState = nullptr;
}

// --- Building ----------------------------------------------------------------------------------

void TEditfrm::BuildControls() {
    auto* column = new QVBoxLayout(Content());
    column->setContentsMargins(14, 10, 14, 12);
    column->setSpacing(6);

    auto* previews = new QGridLayout;
    previews->setHorizontalSpacing(12);
    previews->setVerticalSpacing(4);
    imgVideo1 = new TEditPreview(QStringLiteral("imgVideo1"), kPreviewBox, Content());
    imgVideo2 = new TEditPreview(QStringLiteral("imgVideo2"), kPreviewBox, Content());
    previews->addWidget(MakeLabel(Content(), QStringLiteral("Input Preview")), 0, 0);
    previews->addWidget(MakeLabel(Content(), QStringLiteral("Output Preview")), 0, 1);
    previews->addWidget(imgVideo1, 1, 0);
    previews->addWidget(imgVideo2, 1, 1);
    column->addLayout(previews);

    // The overlays lie under the watermark frame, which lies on top of everything.
    imgWatemark = new QLabel(imgVideo2);
    imgWatemark->setObjectName(QStringLiteral("imgWatemark"));
    imgWatemark->setScaledContents(true);
    imgWatemark->setAttribute(Qt::WA_TransparentForMouseEvents);
    imgWatemark->hide();
    lblWatemark = new QLabel(imgVideo2);
    lblWatemark->setObjectName(QStringLiteral("lblWatemark"));
    lblWatemark->setMargin(0);
    lblWatemark->setIndent(0);
    lblWatemark->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblWatemark->setAttribute(Qt::WA_TransparentForMouseEvents);
    lblWatemark->setAttribute(Qt::WA_TranslucentBackground);
    lblWatemark->hide();
    ardtr1 = new TAreaEditor(imgVideo1);
    ardtr1->setObjectName(QStringLiteral("ardtr1"));
    ardtr1->setToolTip(QStringLiteral("Drag to crop the picture"));
    ardtr2 = new TAreaEditor(imgVideo2);
    ardtr2->setObjectName(QStringLiteral("ardtr2"));
    ardtr2->setToolTip(QStringLiteral("Drag to place the watermark"));
    for (TAreaEditor* frame : {ardtr1, ardtr2})
        frame->BorderFrameSize = kFrameBorder;
    ardtr1->SetArea(imgVideo1->rect());
    ardtr2->SetArea(imgVideo2->rect());
    ardtr1->setGeometry(imgVideo1->rect());
    ardtr2->hide();
    ardtr1->OnMouseMove = [this](TAreaEditor* frame, Qt::MouseButton, Qt::KeyboardModifiers, int,
                                 int) {
        if (frame->Dragging())
            CropFrameDragged();
    };
    ardtr2->OnMouseMove = [this](TAreaEditor* frame, Qt::MouseButton, Qt::KeyboardModifiers, int,
                                 int) {
        if (frame->Dragging())
            WaterFrameDragged();
    };

    // The player's own display; the previews show what it would.
    PanelVideo = new TPlayerDisplay(Content());
    PanelVideo->setObjectName(QStringLiteral("PanelVideo"));
    PanelVideo->setFixedSize(16, 16);
    PanelVideo->hide();

    TrckVideo = MakeSlider(Content(), "TrckVideo", 24);
    TrckVideo->SetTrackOffsetY(10);
    TrckVideo->TickOffsetY = 4;
    TrckVideo->setToolTip(QStringLiteral("Position"));
    column->addWidget(TrckVideo);

    auto* transport = new QHBoxLayout;
    transport->setSpacing(6);
    btnPlay = MakeTransportButton(Content(), "btnPlay", TMainIcon::Play, QStringLiteral("Play"));
    btnpause =
        MakeTransportButton(Content(), "btnpause", TMainIcon::Pause, QStringLiteral("Pause"));
    btnStop = MakeTransportButton(Content(), "btnStop", TMainIcon::Stop, QStringLiteral("Stop"));
    btnpause->hide();
    TrckAudio = MakeSlider(Content(), "TrckAudio", 24);
    TrckAudio->SetTrackOffsetY(10);
    TrckAudio->TickOffsetY = 4;
    TrckAudio->SetMax(TCustomPlayer::kMaxVolume);
    TrckAudio->setFixedWidth(130);
    TrckAudio->setToolTip(QStringLiteral("Preview volume"));
    for (QWidget* control : std::initializer_list<QWidget*>{btnPlay, btnpause, btnStop})
        transport->addWidget(control);
    transport->addStretch(1);
    transport->addWidget(MakeLabel(Content(), QStringLiteral("Volume:")));
    transport->addWidget(TrckAudio);
    column->addLayout(transport);

    PageControl = new QTabWidget(Content());
    PageControl->setObjectName(QStringLiteral("PageControl"));
    PageControl->setDocumentMode(true); // the pages on the window's background, like the sliders
    PageControl->addTab(BuildCropPage(), QStringLiteral("Crop   "));
    PageControl->addTab(BuildWatermarkPage(), QStringLiteral("Watermark"));
    column->addWidget(PageControl);

    AddOkCancelRow(column, btnOK, btnCancel);

    connect(btnPlay, &QToolButton::clicked, this, &TEditfrm::btnPlayClick);
    connect(btnpause, &QToolButton::clicked, this, &TEditfrm::btnpauseClick);
    connect(btnStop, &QToolButton::clicked, this, &TEditfrm::btnStopClick);
    connect(btnOK, &QAbstractButton::clicked, this, &TEditfrm::btnOKClick);
    connect(btnCancel, &QAbstractButton::clicked, this, &TEditfrm::btnCancelClick);
    TrckAudio->OnTickChange = [this](TMrvTrackbar* bar) {
        FPlayer.SetAudioVolume(static_cast<int>(bar->Position()));
    };
}

QWidget* TEditfrm::BuildCropPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tsCrop"));
    auto* grid = new QGridLayout(page);
    grid->setHorizontalSpacing(10);
    edtleft = MakeSpinEdit(page, "edtleft");
    edttop = MakeSpinEdit(page, "edttop");
    edtwidth = MakeSpinEdit(page, "edtwidth");
    edtheight = MakeSpinEdit(page, "edtheight");
    btnCropReset = new QPushButton(QStringLiteral("Reset"), page);
    btnCropReset->setObjectName(QStringLiteral("btnCropReset"));
    btnCropReset->setToolTip(QStringLiteral("The whole picture again"));
    grid->addWidget(MakeLabel(page, QStringLiteral("Left:"), edtleft), 0, 0);
    grid->addWidget(edtleft, 0, 1);
    grid->addWidget(MakeLabel(page, QStringLiteral("Top:"), edttop), 0, 2);
    grid->addWidget(edttop, 0, 3);
    grid->addWidget(MakeLabel(page, QStringLiteral("Width:"), edtwidth), 1, 0);
    grid->addWidget(edtwidth, 1, 1);
    grid->addWidget(MakeLabel(page, QStringLiteral("Height:"), edtheight), 1, 2);
    grid->addWidget(edtheight, 1, 3);
    grid->addWidget(btnCropReset, 0, 5, 2, 1, Qt::AlignVCenter);
    grid->setColumnStretch(4, 1);
    grid->setRowStretch(2, 1);

    for (QSpinBox* edit : {edtleft, edttop, edtwidth, edtheight})
        connect(edit, &QSpinBox::valueChanged, this, [this, edit] { CropSpinChanged(edit); });
    connect(btnCropReset, &QPushButton::clicked, this, &TEditfrm::btnCropResetClick);
    return page;
}

QWidget* TEditfrm::BuildWatermarkPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tsWatermark"));
    auto* grid = new QGridLayout(page);
    grid->setHorizontalSpacing(8);
    chkStartup = new QCheckBox(QStringLiteral("Startup Watermark"), page);
    chkStartup->setObjectName(QStringLiteral("chkStartup"));
    rbimage = new QRadioButton(QStringLiteral("Image "), page);
    rbimage->setObjectName(QStringLiteral("rbimage"));
    rbText = new QRadioButton(QStringLiteral("Text "), page);
    rbText->setObjectName(QStringLiteral("rbText"));
    rbimage->setAutoExclusive(false); // the window keeps them exclusive itself
    rbText->setAutoExclusive(false);
    edtImage = new QLineEdit(page);
    edtImage->setObjectName(QStringLiteral("edtImage"));
    edtImage->setReadOnly(true);
    edtImage->setMinimumWidth(200);
    btnopenPic = new QPushButton(QStringLiteral("..."), page);
    btnopenPic->setObjectName(QStringLiteral("btnopenPic"));
    btnopenPic->setToolTip(QStringLiteral("Choose the picture"));
    btnopenPic->setFixedWidth(36);
    edtText = new QLineEdit(page);
    edtText->setObjectName(QStringLiteral("edtText"));
    edtText->setMinimumWidth(200);
    btnopenFont = new QPushButton(QStringLiteral("Font..."), page);
    btnopenFont->setObjectName(QStringLiteral("btnopenFont"));
    btnopenFont->setToolTip(QStringLiteral("Choose the font and colour of the text"));
    TrckWatermarkH = MakeSlider(page, "TrckWatermarkH", 22);
    TrckwatermarkV = MakeSlider(page, "TrckwatermarkV", 22);
    for (TMrvTrackbar* bar : {TrckWatermarkH, TrckwatermarkV}) {
        bar->SetTrackOffsetY(9);
        bar->TickOffsetY = 3;
        bar->SetTickBrushColor(0);
        bar->setMinimumWidth(150);
    }
    edtWaterH = MakeSpinEdit(page, "edtWaterH");
    edtWaterV = MakeSpinEdit(page, "edtWaterV");
    ImageW = MakeSpinEdit(page, "ImageW");
    ImageH = MakeSpinEdit(page, "ImageH");
    lblHorizontal = MakeLabel(page, QStringLiteral("Horizontal:"), edtWaterH);
    lblVertical = MakeLabel(page, QStringLiteral("Vertical:"), edtWaterV);
    lblImageSize = MakeLabel(page, QStringLiteral("ImageSize:"), ImageW);
    lblImageX = MakeLabel(page, QStringLiteral("X"), ImageH);

    grid->addWidget(chkStartup, 0, 0, 1, 3);
    grid->addWidget(rbimage, 1, 0);
    grid->addWidget(edtImage, 1, 1);
    grid->addWidget(btnopenPic, 1, 2);
    grid->addWidget(rbText, 2, 0);
    grid->addWidget(edtText, 2, 1);
    grid->addWidget(btnopenFont, 2, 2);
    auto* size = new QHBoxLayout;
    size->setSpacing(6);
    size->addWidget(lblImageSize);
    size->addWidget(ImageW);
    size->addWidget(lblImageX);
    size->addWidget(ImageH);
    size->addStretch(1);
    grid->addLayout(size, 0, 4, 1, 3);
    grid->addWidget(lblHorizontal, 1, 4);
    grid->addWidget(TrckWatermarkH, 1, 5);
    grid->addWidget(edtWaterH, 1, 6);
    grid->addWidget(lblVertical, 2, 4);
    grid->addWidget(TrckwatermarkV, 2, 5);
    grid->addWidget(edtWaterV, 2, 6);
    grid->setColumnStretch(1, 1);
    grid->setColumnMinimumWidth(3, 12);
    grid->setRowStretch(3, 1);
    return page;
}

// --- Opening -----------------------------------------------------------------------------------

void TEditfrm::FirstShow() {
    ActivityLog().WriteInfo(QStringLiteral("Enter TEditfrm"));
    TrckAudio->SetPosition(TCustomPlayer::kMaxVolume);
    int width = 0, height = 0;
    ParseFrameSize(FItem.SourceFrameSize, &width, &height);
    FSource = QSize(width, height);
    width = height = 0;
    ParseFrameSize(FItem.OutputFrameSize, &width, &height);
    FOutput = QSize(width, height);
    if (FOutput.isEmpty())
        FOutput = FSource; // converted at the source's size then
    FInputFit = FitFrame(FSource, kPreviewBox);
    FOutputFit = FitFrame(FOutput, kPreviewBox);
    {
        std::lock_guard lock(FDrawLock);
        FView.Input = FInputFit;
        FView.Output = FOutputFit;
    }
    ActivityLog().WriteInfo(QStringLiteral("Video FrameSize: [%1]").arg(FItem.OutputFrameSize));
    OpenSource();
}

void TEditfrm::OpenSource() {
    FOpened = PlayerOpen(FItem.InputOptions.FileName, FPlayer, PanelVideo, this);
    if (!FOpened)
        return;
    FTracking = true;
    SetPlaying(true);
    TrckVideo->setFocus();
}

void TEditfrm::PlayerFileOpen(int64_t duration, int& screenWidth, int& screenHeight) {
    const QSize display = PanelVideo->DisplaySize();
    screenWidth = display.width();
    screenHeight = display.height();
    TrckVideo->SetPosition(0);
    TrckVideo->SetMax(duration);
    // The frames are laid out once the open has returned.
    QMetaObject::invokeMethod(this, &TEditfrm::LayoutAfterOpen, Qt::QueuedConnection);
}

void TEditfrm::LayoutAfterOpen() {
    if (FClosing || FReady)
        return;
    if (!FInputFit.Valid()) {
        // Sound only: there is no picture to crop or to mark.
        ardtr1->hide();
        PageControl->setEnabled(false);
        return;
    }
    ardtr2->SetArea(ToQRect(FOutputFit.Display));
    ardtr1->SetArea(ToQRect(FInputFit.Display));
    InitCropPage();
    InitWatermarkPage();
    FReady = true;
}

// --- The player's events -----------------------------------------------------------------------

void TEditfrm::PlayerPosition(int64_t pts) {
    if (!FTracking || FThumbPressed)
        return;
    if (FSkip > 0) {
        --FSkip;
        return;
    }
    if (pts > TrckVideo->Position())
        TrckVideo->SetPosition(pts);
}

void TEditfrm::PlayerState(TPlayState state) {
    switch (state) {
    case psPause: FSkip = 0; break;
    case psResume: FSkip = 2; break;
    case psStop: PanelVideo->update(); break;
    case psEnd: btnStopClick(); break;
    case psPlay:
    case psStep: break;
    }
}

// --- Playback and the seek bar -----------------------------------------------------------------

void TEditfrm::SetPlaying(bool playing) {
    if (playing == Playing())
        return;
    SetPlayToggle(FPlayToggle, btnPlay, btnpause, FPlayer);
}

void TEditfrm::TurnTrackingOn() {
    FTracking = FOpened;
}

void TEditfrm::btnPlayClick() {
    if (!FTracking) {
        TurnTrackingOn();
        TrckVideo->SetPosition(0);
    }
    SetPlaying(true);
}

void TEditfrm::btnpauseClick() {
    SetPlaying(false);
}

void TEditfrm::btnStopClick() {
    if (!FTracking)
        return;
    FTracking = false;
    SetPlaying(false);
    FPlayer.Seek(0, false, 0);
    TrckVideo->SetPosition(0);
}

void TEditfrm::SeekToBar() {
    FPlayer.Seek(0, false, TrckVideo->Position());
}

void TEditfrm::ConnectSeekBar() {
    TrckVideo->OnTickMouseDown = [this](TMrvTrackbar*) {
        TurnTrackingOn();
        FThumbPressed = true;
        FThumbMoved = false;
        PauseForDrag(0, FThumbPaused, FPlayToggle, btnPlay, FPlayer, btnpause);
    };
    TrckVideo->OnMouseMove = [this](TMrvTrackbar*, Qt::MouseButton, Qt::KeyboardModifiers, int,
                                    int) { FThumbMoved = FThumbPressed; };
    TrckVideo->OnMouseUp = [this](TMrvTrackbar* bar, Qt::MouseButton, Qt::KeyboardModifiers, int x,
                                  int y) {
        TurnTrackingOn();
        FTrackReleased = !FThumbPressed && bar->TrackRect().contains(x, y);
    };
    TrckVideo->OnTickChange = [this](TMrvTrackbar*) {
        if (FThumbPressed && FThumbMoved) {
            SeekToBar(); // the pictures follow the thumb
        } else if (FTrackReleased) {
            FTrackReleased = false;
            SeekToBar();
            FSkip = 3;
        }
    };
    TrckVideo->OnTickMouseUp = [this](TMrvTrackbar*) {
        FTrackReleased = false;
        if (FThumbPressed) {
            PauseForDrag(1, FThumbPaused, FPlayToggle, btnPlay, FPlayer, btnpause);
            if (FThumbMoved)
                FSkip = 3;
        }
        FThumbPressed = FThumbMoved = false;
    };
}

// --- Closing -----------------------------------------------------------------------------------

void TEditfrm::btnOKClick() {
    if (FReady) {
        StoreCrop();
        StoreWatermark();
    }
    FClosing = true;
    ClosePlayer();
    accept();
}

void TEditfrm::btnCancelClick() {
    reject();
}

void TEditfrm::reject() {
    if (!FClosing) {
        FClosing = true;
        ClosePlayer();
    }
    TSkinnedDialog::reject();
}

void TEditfrm::ClosePlayer() {
    SetPlaying(false);
    // Waits: the video hook draws into this window until the player's threads have ended.
    FPlayer.Close(true);
    PanelVideo->ClearPicture();
}

void TEditfrm::done(int result) {
    ActivityLog().WriteInfo(QStringLiteral("Leave TEditfrm"));
    TSkinnedDialog::done(result);
}
