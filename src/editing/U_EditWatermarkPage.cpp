// The watermark page of the edit window: a picture or a line of text placed on the output
// preview, by its frame or in output pixels.

#include "controls/AreaEditor.h"
#include "controls/MrvTrackbar.h"
#include "core/AppFolders.h"
#include "core/AppSettings.h"
#include "core/MrvLog.h"
#include "core/PromptService.h"
#include "core/U_EditWatermark.h"
#include "editing/EditPreview.h"
#include "editing/U_Edit.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFontMetrics>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <algorithm>

namespace {

// Every format the picture loader reads.
QStringList PictureFilters() {
    QStringList patterns;
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        patterns << QStringLiteral("*.") + QString::fromLatin1(format);
    return {QStringLiteral("Pictures (%1)").arg(patterns.join(QLatin1Char(' '))),
            QStringLiteral("All files (*)")};
}

} // namespace

void TEditfrm::ConnectWatermarkPage() {
    connect(chkStartup, &QCheckBox::toggled, this, [this] {
        if (!FUpdating)
            UpdateWatermarkControls();
    });
    connect(rbimage, &QRadioButton::clicked, this, [this] { SelectKind(wmPicture); });
    connect(rbText, &QRadioButton::clicked, this, [this] { SelectKind(wmText); });
    connect(btnopenPic, &QPushButton::clicked, this, &TEditfrm::btnopenPicClick);
    connect(btnopenFont, &QPushButton::clicked, this, &TEditfrm::btnopenFontClick);
    connect(edtText, &QLineEdit::textChanged, this, [this] {
        if (!FUpdating)
            LayoutText();
    });
    connect(edtWaterH, &QSpinBox::valueChanged, this, [this] { WaterPositionChanged(true); });
    connect(edtWaterV, &QSpinBox::valueChanged, this, [this] { WaterPositionChanged(false); });
    connect(ImageW, &QSpinBox::valueChanged, this, [this] { ImageSizeChanged(true); });
    connect(ImageH, &QSpinBox::valueChanged, this, [this] { ImageSizeChanged(false); });
    TrckWatermarkH->OnChange = [this](TMrvTrackbar* bar) {
        edtWaterH->setValue(static_cast<int>(bar->Position()));
    };
    TrckwatermarkV->OnChange = [this](TMrvTrackbar* bar) {
        edtWaterV->setValue(static_cast<int>(bar->Position()));
    };
    // Until the source is open nothing can be placed.
    rbimage->setChecked(true);
    UpdateWatermarkControls();
}

// --- Opening -----------------------------------------------------------------------------------

void TEditfrm::InitWatermarkPage() {
    const TWaterMark& mark = FItem.WaterMark;
    if (!mark.PictureFile.isEmpty() && !mark.PictureViewRect.isEmpty()) {
        imgWatemark->setGeometry(mark.PictureViewRect);
        ardtr2->setGeometry(mark.PictureViewRect);
        ReadPicture(mark.PictureFile); // a picture gone since is said, and the rest goes on
    }
    if (mark.TextFont) {
        FFont = mark.TextFont->Font;
        FFontColor = mark.TextFont->Color;
    }
    StyleTextOverlay();
    if (!mark.WaterMarkText.isEmpty()) {
        FUpdating = true;
        edtText->setText(mark.WaterMarkText);
        FUpdating = false;
        lblWatemark->setText(mark.WaterMarkText.trimmed());
        if (!mark.TextViewRect.isEmpty()) {
            lblWatemark->setGeometry(mark.TextViewRect);
            ardtr2->setGeometry(mark.TextViewRect);
        }
    }
    FUpdating = true;
    chkStartup->setChecked(FItem.WaterMarkType > 0);
    FUpdating = false;
    const TWaterMarkType kind = mark.WaterMarkKind == wmText ? wmText : wmPicture;
    SelectKind(kind);
    // The stored place is exact; the frame shows it only at preview precision.
    if (mark.WaterMarkKind == kind && KindHasContent() && !mark.OutputRect.isEmpty())
        SetWaterRect(EdgeRectOf(mark.OutputRect));
}

// --- Kind and controls -------------------------------------------------------------------------

TWaterMarkType TEditfrm::SelectedKind() const {
    if (rbText->isChecked())
        return wmText;
    return rbimage->isChecked() ? wmPicture : wmNone;
}

bool TEditfrm::KindHasContent() const {
    switch (SelectedKind()) {
    case wmPicture: return FPictureLoaded;
    case wmText: return !edtText->text().trimmed().isEmpty();
    case wmOff:
    case wmNone: break;
    }
    return false;
}

QLabel* TEditfrm::CurrentOverlay() const {
    return SelectedKind() == wmText ? lblWatemark : imgWatemark;
}

void TEditfrm::UpdateWatermarkControls() {
    const bool on = chkStartup->isChecked();
    const bool picture = rbimage->isChecked();
    const bool text = rbText->isChecked();
    for (QWidget* control : std::initializer_list<QWidget*>{edtImage, btnopenPic, ImageW, ImageH,
                                                            lblImageSize, lblImageX}) {
        control->setEnabled(on && picture);
    }
    for (QWidget* control :
         std::initializer_list<QWidget*>{ImageW, ImageH, lblImageSize, lblImageX})
        control->setVisible(picture);
    imgWatemark->setVisible(on && picture && FPictureLoaded);
    edtText->setEnabled(on && text);
    btnopenFont->setEnabled(on && text);
    lblWatemark->setVisible(on && text && !lblWatemark->text().isEmpty());
    for (QWidget* control :
         std::initializer_list<QWidget*>{TrckWatermarkH, TrckwatermarkV, edtWaterH, edtWaterV,
                                         lblHorizontal, lblVertical, rbimage, rbText})
        control->setEnabled(on);
    TrckWatermarkH->SetShowTick(on);
    TrckwatermarkV->SetShowTick(on);
    ardtr2->Resizable = picture;
    ardtr2->setVisible(on && KindHasContent());
    if (ardtr2->isVisible())
        ardtr2->raise();
}

void TEditfrm::SelectKind(TWaterMarkType kind) {
    rbimage->setChecked(kind == wmPicture);
    rbText->setChecked(kind == wmText);
    if (KindHasContent())
        ardtr2->setGeometry(CurrentOverlay()->geometry());
    UpdateWatermarkControls();
    SyncFromFrame();
}

// --- The picture -------------------------------------------------------------------------------

void TEditfrm::btnopenPicClick() {
    const QString path = Prompts().OpenPicture(this, AppSettings().SourceImgPath, PictureFilters());
    if (path.isEmpty())
        return;
    StoreSetting(TSettingKey::SourceImgPath, WithTrailingSlash(QFileInfo(path).absolutePath()));
    if (ReadPicture(path))
        PlaceNewPicture();
    UpdateWatermarkControls();
    SyncFromFrame();
}

bool TEditfrm::ReadPicture(const QString& path) {
    FPictureFile = path;
    edtImage->setText(path);
    QImageReader reader(path);
    reader.setAutoTransform(true); // as a viewer shows it
    const QImage picture = reader.read();
    if (picture.isNull()) {
        FPictureLoaded = false;
        FPicture = QPixmap();
        imgWatemark->clear();
        ActivityLog().WriteError(reader.errorString() + QStringLiteral(": ") + path);
        Prompts().Beep();
        Prompts().Warning(this, QStringLiteral("Failed to open the file."));
        return false;
    }
    FPicture = QPixmap::fromImage(picture);
    imgWatemark->setPixmap(FPicture);
    FPictureLoaded = true;
    return true;
}

// A new picture starts in the top-left corner, one picture pixel per preview pixel.
void TEditfrm::PlaceNewPicture() {
    const TEdgeRect& d = FOutputFit.Display;
    const int width = std::min(std::max(kMinimumFrame, FPicture.width()), d.Width());
    const int height = std::min(std::max(kMinimumFrame, FPicture.height()), d.Height());
    const QRect bounds(d.Left, d.Top, width, height);
    imgWatemark->setGeometry(bounds);
    ardtr2->setGeometry(bounds);
}

// --- The text ----------------------------------------------------------------------------------

QFont TEditfrm::PreviewFont() const {
    QFont font = FFont;
    if (FFont.pointSize() > 0)
        font.setPointSize(std::max(1, DisplayFontSize(FOutputFit, FFont.pointSize())));
    else if (FFont.pixelSize() > 0)
        font.setPixelSize(std::max(1, DisplayFontSize(FOutputFit, FFont.pixelSize())));
    return font;
}

void TEditfrm::btnopenFontClick() {
    QFont font = FFont;
    QColor color = FFontColor;
    if (!Prompts().ChooseFont(this, font, color))
        return;
    FFont = font;
    FFontColor = color;
    LayoutText();
}

// The text overlay in the chosen font and colour, at the preview's scale.
void TEditfrm::StyleTextOverlay() {
    lblWatemark->setFont(PreviewFont());
    lblWatemark->setStyleSheet(
        QStringLiteral("background: transparent; color: %1;").arg(FFontColor.name()));
}

// Each change of the text puts it back into the top-left corner, one line high.
void TEditfrm::LayoutText() {
    const QString shown = edtText->text().trimmed();
    StyleTextOverlay();
    lblWatemark->setText(shown);
    const QFontMetrics metrics(lblWatemark->font());
    const TEdgeRect& d = FOutputFit.Display;
    const QRect bounds(d.Left, d.Top, std::min(metrics.horizontalAdvance(shown), d.Width()),
                       std::min(metrics.height(), d.Height()));
    lblWatemark->setGeometry(bounds);
    if (SelectedKind() == wmText)
        ardtr2->setGeometry(bounds);
    UpdateWatermarkControls();
    SyncFromFrame();
}

// --- Placing -----------------------------------------------------------------------------------

void TEditfrm::SyncFromFrame() {
    SetWaterRect(KindHasContent() ? DisplayToFrame(FOutputFit, EdgeRectOf(ardtr2->geometry()))
                                  : TEdgeRect{});
}

void TEditfrm::SetWaterRect(const TEdgeRect& rect) {
    FWaterRect = rect;
    UpdateWaterRanges();
    ShowWaterValues();
}

void TEditfrm::UpdateWaterRanges() {
    const int maxLeft = std::max(0, FOutput.width() - FWaterRect.Width());
    const int maxTop = std::max(0, FOutput.height() - FWaterRect.Height());
    FUpdating = true;
    edtWaterH->setRange(0, maxLeft);
    edtWaterV->setRange(0, maxTop);
    TrckWatermarkH->SetMax(maxLeft);
    TrckwatermarkV->SetMax(maxTop);
    ImageW->setRange(std::min(1, FOutput.width()), FOutput.width());
    ImageH->setRange(std::min(1, FOutput.height()), FOutput.height());
    FUpdating = false;
}

void TEditfrm::ShowWaterValues() {
    FUpdating = true;
    TrckWatermarkH->SetPosition(FWaterRect.Left);
    TrckwatermarkV->SetPosition(FWaterRect.Top);
    edtWaterH->setValue(FWaterRect.Left);
    edtWaterV->setValue(FWaterRect.Top);
    ImageW->setValue(FWaterRect.Width());
    ImageH->setValue(FWaterRect.Height());
    FUpdating = false;
}

void TEditfrm::MoveWaterFrame(const TEdgeRect& frame) {
    ardtr2->setGeometry(ToQRect(frame));
    if (SelectedKind() == wmText)
        lblWatemark->move(frame.Left, frame.Top);
    else
        imgWatemark->setGeometry(ToQRect(frame));
}

void TEditfrm::WaterFrameDragged() {
    MoveWaterFrame(EdgeRectOf(ardtr2->geometry()));
    SyncFromFrame();
}

void TEditfrm::WaterPositionChanged(bool horizontal) {
    if (FUpdating || !FReady || !chkStartup->isChecked() || ardtr2->Dragging() || !KindHasContent())
        return;
    // What is typed is what converts; the frame shows it at preview precision.
    TEdgeRect rect = FWaterRect;
    const TEdgeRect& d = FOutputFit.Display;
    TEdgeRect frame = EdgeRectOf(ardtr2->geometry());
    if (horizontal) {
        const int left = edtWaterH->value();
        rect = {left, rect.Top, left + rect.Width(), rect.Bottom};
        const int shown = std::clamp(FrameToDisplay(FOutputFit, rect).Left, d.Left,
                                     std::max(d.Left, d.Right - frame.Width()));
        frame = {shown, frame.Top, shown + frame.Width(), frame.Bottom};
    } else {
        const int top = edtWaterV->value();
        rect = {rect.Left, top, rect.Right, top + rect.Height()};
        const int shown = std::clamp(FrameToDisplay(FOutputFit, rect).Top, d.Top,
                                     std::max(d.Top, d.Bottom - frame.Height()));
        frame = {frame.Left, shown, frame.Right, shown + frame.Height()};
    }
    MoveWaterFrame(frame);
    FWaterRect = rect;
    FUpdating = true;
    if (horizontal)
        TrckWatermarkH->SetPosition(rect.Left);
    else
        TrckwatermarkV->SetPosition(rect.Top);
    FUpdating = false;
}

void TEditfrm::ImageSizeChanged(bool width) {
    if (FUpdating || !FReady || !chkStartup->isChecked() || ardtr2->Dragging() ||
        SelectedKind() != wmPicture || !FPictureLoaded)
        return;
    // The new size grows to the right (down) and moves the picture left (up) where it must.
    TEdgeRect rect = FWaterRect;
    if (width) {
        const int size = ImageW->value();
        rect.Left = std::min(rect.Left, FOutput.width() - size);
        rect.Right = rect.Left + size;
    } else {
        const int size = ImageH->value();
        rect.Top = std::min(rect.Top, FOutput.height() - size);
        rect.Bottom = rect.Top + size;
    }
    const TEdgeRect mapped = FrameToDisplay(FOutputFit, rect);
    const TEdgeRect& d = FOutputFit.Display;
    TEdgeRect frame = EdgeRectOf(ardtr2->geometry());
    if (width) {
        const int size = std::min(std::max(kMinimumFrame, mapped.Width()), d.Width());
        const int left = std::clamp(mapped.Left, d.Left, d.Right - size);
        frame = {left, frame.Top, left + size, frame.Bottom};
    } else {
        const int size = std::min(std::max(kMinimumFrame, mapped.Height()), d.Height());
        const int top = std::clamp(mapped.Top, d.Top, d.Bottom - size);
        frame = {frame.Left, top, frame.Right, top + size};
    }
    MoveWaterFrame(frame);
    SetWaterRect(rect);
}

// --- OK ----------------------------------------------------------------------------------------

TEdgeRect TEditfrm::OverlayRect(const QLabel* overlay) const {
    if (overlay == CurrentOverlay())
        return FWaterRect;
    return DisplayToFrame(FOutputFit, EdgeRectOf(overlay->geometry()));
}

void TEditfrm::StoreWatermark() {
    TWaterMark& mark = FItem.WaterMark;
    const TWaterMarkType selected = SelectedKind();
    const QString text = edtText->text();
    const bool hasText = !text.trimmed().isEmpty();
    // The one OutputRect belongs to the kind WaterMarkKind names; each kind keeps its own
    // place on the preview.
    const TEdgeRect pictureRect = OverlayRect(imgWatemark);
    const TEdgeRect textRect = OverlayRect(lblWatemark);
    if (selected == wmPicture && FPictureLoaded)
        mark.WaterMarkKind = wmPicture;
    if (FPictureLoaded) {
        mark.ScaledPictureFile =
            SaveScaledWatermark(FPictureFile, QSize(pictureRect.Width(), pictureRect.Height()));
        mark.PictureFile = FPictureFile;
        mark.PictureViewRect = imgWatemark->geometry();
        ActivityLog().WriteInfo(QStringLiteral("AddPicWaterMark:-------------"));
        ActivityLog().WriteInfo(QStringLiteral("SrcRect: ") + LogRectText(pictureRect));
        ActivityLog().WriteInfo(QStringLiteral("DestRect: ") +
                                LogRectText(EdgeRectOf(mark.PictureViewRect)));
        ActivityLog().WriteInfo(QStringLiteral("Pic Name: ") + FPictureFile);
        ActivityLog().WriteInfo(QStringLiteral("AddPicWaterMark:-------------"));
    }
    if (selected == wmText && hasText)
        mark.WaterMarkKind = wmText;
    if (hasText) {
        mark.WaterMarkText = text;
        mark.TextFont = TTextFont{FFont, FFontColor};
        mark.TextViewRect = lblWatemark->geometry();
        ActivityLog().WriteInfo(QStringLiteral("AddFontWaterMark:-------------"));
        ActivityLog().WriteInfo(QStringLiteral("SrcRect: ") + LogRectText(textRect));
        ActivityLog().WriteInfo(QStringLiteral("DestRect: ") +
                                LogRectText(EdgeRectOf(mark.TextViewRect)));
        ActivityLog().WriteInfo(
            QStringLiteral("Size: %1, Name: %2")
                .arg(FFont.pointSize() > 0 ? FFont.pointSize() : FFont.pixelSize())
                .arg(FFont.family()));
        ActivityLog().WriteInfo(QStringLiteral("AddFontWaterMark:-------------"));
    }
    if (mark.WaterMarkKind == wmPicture && FPictureLoaded)
        mark.OutputRect = ToQRect(pictureRect);
    else if (mark.WaterMarkKind == wmText && hasText)
        mark.OutputRect = ToQRect(textRect);

    if (!chkStartup->isChecked())
        FItem.WaterMarkType = wmOff;
    else if (selected == wmPicture && FPictureLoaded)
        FItem.WaterMarkType = wmPicture;
    else if (selected == wmText && hasText)
        FItem.WaterMarkType = wmText;
}
