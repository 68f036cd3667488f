#pragma once

// The edit window: the user plays a job item's source and sees it twice, as it is ("Input
// Preview", with the crop frame over it) and as the output will show it ("Output Preview": the
// cropped picture letterboxed into the output frame, with the watermark over it). The crop is
// set by dragging its frame or typing it in source pixels; a picture or a line of text is placed
// on the output by dragging its frame or typing its place in output pixels. OK stores the crop
// and the watermark into the item; Cancel stores nothing.
//
// The window borrows the main window's player while it is open and takes over its file-open,
// position and state events and its video hook. The hook runs on the player's video thread and
// draws both previews under FDrawLock; everything else runs on the GUI thread.
//
// Sources: U_Edit.cpp (building, playback, OK and Cancel), U_EditCrop.cpp (the crop page and
// the drawing of the previews), U_EditWatermarkPage.cpp (the watermark page).

#include "controls/FrameGeometry.h"
#include "core/U_Treelist.h"
#include "engine/player/FFPlay.h"
#include "shell/SkinnedDialog.h"

#include <QFont>
#include <QPixmap>

#include <mutex>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QToolButton;
class TAreaEditor;
class TEditPreview;
class TMrvTrackbar;
class TPictureButton;
class TPlayerDisplay;

class TEditfrm : public TSkinnedDialog {
    Q_OBJECT

public:
    static constexpr QSize kPreviewBox = kWatermarkPreviewBox;
    static constexpr int kFrameBorder = 3;                 // the area editors' BorderFrameSize
    static constexpr int kMinimumFrame = 6 * kFrameBorder; // preview pixels
    static constexpr int kDefaultFontSize = 24;

    // `item` is the job item edited; it is written only by OK.
    TEditfrm(TCustomPlayer& player, TFileOption& item, QWidget* parent = nullptr);
    ~TEditfrm() override;

    // Controls, named as in the design.
    TEditPreview* imgVideo1 = nullptr;    // input preview
    TEditPreview* imgVideo2 = nullptr;    // output preview
    TAreaEditor* ardtr1 = nullptr;        // the crop frame on imgVideo1
    TAreaEditor* ardtr2 = nullptr;        // the watermark frame on imgVideo2
    QLabel* imgWatemark = nullptr;        // the picture watermark on imgVideo2
    QLabel* lblWatemark = nullptr;        // the text watermark on imgVideo2
    TPlayerDisplay* PanelVideo = nullptr; // the player's own display, kept hidden
    TMrvTrackbar* TrckVideo = nullptr;
    TMrvTrackbar* TrckAudio = nullptr;
    QToolButton* btnPlay = nullptr;
    QToolButton* btnpause = nullptr;
    QToolButton* btnStop = nullptr;
    QTabWidget* PageControl = nullptr;
    QSpinBox* edtleft = nullptr;
    QSpinBox* edttop = nullptr;
    QSpinBox* edtwidth = nullptr;
    QSpinBox* edtheight = nullptr;
    QPushButton* btnCropReset = nullptr;
    QCheckBox* chkStartup = nullptr;
    QRadioButton* rbimage = nullptr;
    QRadioButton* rbText = nullptr;
    QLineEdit* edtImage = nullptr;
    QPushButton* btnopenPic = nullptr;
    QLineEdit* edtText = nullptr;
    QPushButton* btnopenFont = nullptr;
    TMrvTrackbar* TrckwatermarkV = nullptr;
    TMrvTrackbar* TrckWatermarkH = nullptr;
    QSpinBox* edtWaterV = nullptr;
    QSpinBox* edtWaterH = nullptr;
    QSpinBox* ImageW = nullptr;
    QSpinBox* ImageH = nullptr;
    QLabel* lblHorizontal = nullptr;
    QLabel* lblVertical = nullptr;
    QLabel* lblImageSize = nullptr;
    QLabel* lblImageX = nullptr;
    TPictureButton* btnOK = nullptr;
    TPictureButton* btnCancel = nullptr;

    // The window's state, for its users and tests.
    bool Ready() const { return FReady; } // the source is open and the frames are laid out
    bool Playing() const { return FPlayToggle == 1; }
    bool CropActive() const;
    TEdgeRect CropRect() const;  // source pixels
    TEdgeRect CropFrame() const; // ardtr1's bounds, input preview pixels
    TEdgeRect InputDisplay() const { return FInputFit.Display; }
    TEdgeRect OutputDisplay() const { return FOutputFit.Display; }
    TEdgeRect WaterMarkRect() const { return FWaterRect; } // output pixels
    bool PictureLoaded() const { return FPictureLoaded; }

    void btnPlayClick();
    void btnpauseClick();
    void btnStopClick();
    void btnCropResetClick();
    void btnopenPicClick();
    void btnopenFontClick();
    void btnOKClick();
    void btnCancelClick();

protected:
    void FirstShow() override;
    void reject() override; // the close box and Escape cancel
    void done(int result) override;

private:
    // What the video thread needs to draw the previews; guarded by FDrawLock.
    struct TPreviewLayout {
        TFrameFit Input;  // the source frame in the input box
        TFrameFit Output; // the output frame in the output box
        bool CropActive = false;
        TEdgeRect CropRect;       // source pixels
        bool Relayout = true;     // CroppedDisplay must be computed again
        TEdgeRect CroppedDisplay; // where the (cropped) picture goes in the output box
    };

    // U_Edit.cpp
    void BuildControls();
    QWidget* BuildCropPage();
    QWidget* BuildWatermarkPage();
    void ConnectSeekBar();
    void OpenSource();
    void PlayerFileOpen(int64_t duration, int& screenWidth, int& screenHeight);
    void LayoutAfterOpen();
    void PlayerPosition(int64_t pts);
    void PlayerState(TPlayState state);
    void SetPlaying(bool playing);
    void TurnTrackingOn();
    void SeekToBar();
    void ClosePlayer();
    void DetachPlayer();

    // U_EditCrop.cpp
    void InitCropPage();
    void SetCropFrame(const TEdgeRect& frame);
    void CropFrameDragged();
    void ApplyCropFrame(const TEdgeRect* typed);
    void CropSpinChanged(QSpinBox* changed);
    void ShowCropValues(const TEdgeRect& crop);
    void ResetCrop();
    void RedrawIfPaused();
    void VideoHook(const QImage& picture, bool& update);
    void DrawPreviews(const QImage& picture); // FDrawLock held
    void StoreCrop();

    // U_EditWatermarkPage.cpp
    void ConnectWatermarkPage();
    void InitWatermarkPage();
    void UpdateWatermarkControls();
    void SelectKind(TWaterMarkType kind);
    TWaterMarkType SelectedKind() const;
    bool KindHasContent() const;
    QLabel* CurrentOverlay() const;
    bool ReadPicture(const QString& path);
    void PlaceNewPicture();
    void LayoutText();
    QFont PreviewFont() const;
    void StyleTextOverlay();
    void SyncFromFrame();
    void SetWaterRect(const TEdgeRect& rect);
    void UpdateWaterRanges();
    void ShowWaterValues();
    void WaterFrameDragged();
    void WaterPositionChanged(bool horizontal);
    void ImageSizeChanged(bool width);
    void MoveWaterFrame(const TEdgeRect& frame);
    TEdgeRect OverlayRect(const QLabel* overlay) const; // output pixels
    void StoreWatermark();

    TCustomPlayer& FPlayer;
    TFileOption& FItem;
    QSize FSource; // upright, square pixels
    QSize FOutput;
    // The GUI thread's fits; FView holds the video thread's copies.
    TFrameFit FInputFit;
    TFrameFit FOutputFit;

    mutable std::mutex FDrawLock;
    TPreviewLayout FView;    // FDrawLock
    TEdgeRect FAppliedFrame; // the crop frame last applied

    bool FReady = false;
    bool FOpened = false;
    bool FClosing = false;
    bool FUpdating = false; // the window sets controls itself: their handlers stay out
    bool FTracking = false;
    int FPlayToggle = 0;
    int FSkip = 0;
    bool FThumbPressed = false;
    bool FThumbMoved = false;
    bool FThumbPaused = false;
    bool FTrackReleased = false;

    // The watermark page.
    QFont FFont; // as the font dialog has it, at the output frame's size
    QColor FFontColor = Qt::white;
    QString FPictureFile;
    bool FPictureLoaded = false;
    QPixmap FPicture;
    TEdgeRect FWaterRect; // output pixels
};
