// The crop page of the edit window and the drawing of both previews.

#include "controls/AreaEditor.h"
#include "core/MrvLog.h"
#include "editing/EditPreview.h"
#include "editing/U_Edit.h"

#include <QPainter>
#include <QSpinBox>

#include <algorithm>

namespace {

const QColor kBarColour(0x10, 0x10, 0x10); // beside a cropped picture of another shape

} // namespace

bool TEditfrm::CropActive() const {
    std::lock_guard lock(FDrawLock);
    return FView.CropActive;
}

TEdgeRect TEditfrm::CropRect() const {
    std::lock_guard lock(FDrawLock);
    return FView.CropRect;
}

TEdgeRect TEditfrm::CropFrame() const {
    return EdgeRectOf(ardtr1->geometry());
}

void TEditfrm::SetCropFrame(const TEdgeRect& frame) {
    ardtr1->setGeometry(ToQRect(frame));
}

void TEditfrm::InitCropPage() {
    const TEdgeRect whole{0, 0, FSource.width(), FSource.height()};
    // The smallest frame, in source pixels: the spin edits leave room for it.
    const TEdgeRect minimum = DisplayToFrame(FInputFit, {0, 0, kMinimumFrame, kMinimumFrame});
    FUpdating = true;
    // At least one pixel: an empty crop leaves nothing to convert.
    edtwidth->setRange(std::min(1, whole.Right), whole.Right);
    edtheight->setRange(std::min(1, whole.Bottom), whole.Bottom);
    edtleft->setRange(0, std::max(0, whole.Right - minimum.Width()));
    edttop->setRange(0, std::max(0, whole.Bottom - minimum.Height()));
    FUpdating = false;

    const TEdgeRect& stored = FItem.CropRect;
    const bool storedInside = stored.Left >= 0 && stored.Top >= 0 && stored.Right <= whole.Right &&
                              stored.Bottom <= whole.Bottom && !stored.IsEmpty();
    if (FItem.CropEnabled && storedInside) {
        // Where the window drew it, or (for a crop made elsewhere) where it lies.
        const TEdgeRect& d = FInputFit.Display;
        const TEdgeRect& view = FItem.CropViewRect;
        const bool viewInside = !view.IsEmpty() && view.Left >= d.Left && view.Top >= d.Top &&
                                view.Right <= d.Right && view.Bottom <= d.Bottom;
        SetCropFrame(viewInside ? view : FrameToDisplay(FInputFit, stored));
        ApplyCropFrame(&stored);
        ShowCropValues(stored);
        return;
    }
    ResetCrop();
}

void TEditfrm::ShowCropValues(const TEdgeRect& crop) {
    FUpdating = true;
    edtwidth->setValue(crop.Width());
    edtheight->setValue(crop.Height());
    edtleft->setValue(crop.Left);
    edttop->setValue(crop.Top);
    FUpdating = false;
}

void TEditfrm::CropFrameDragged() {
    ApplyCropFrame(nullptr);
}

// `typed` is the crop the spin edits give; after a drag the crop follows the frame.
void TEditfrm::ApplyCropFrame(const TEdgeRect* typed) {
    const TEdgeRect frame = CropFrame();
    const TEdgeRect& d = FInputFit.Display;
    if (frame.Left >= d.Right || frame.Top >= d.Bottom)
        return;
    // What was typed is what converts: the frame shows it at preview precision only.
    const TEdgeRect crop = typed != nullptr ? *typed : DisplayToFrame(FInputFit, frame);
    {
        std::lock_guard lock(FDrawLock);
        if (frame == FAppliedFrame && FView.CropActive && crop == FView.CropRect)
            return;
        FView.CropRect = crop;
        FView.CropActive = true;
        FView.Relayout = true;
    }
    FAppliedFrame = frame;
    if (typed == nullptr)
        ShowCropValues(crop);
    RedrawIfPaused();
}

void TEditfrm::CropSpinChanged(QSpinBox* changed) {
    if (FUpdating || !FReady || ardtr1->Dragging())
        return;
    // The spin edits keep their values inside their ranges themselves.
    const int left = edtleft->value();
    const int top = edttop->value();
    const int width = std::min(edtwidth->value(), FSource.width() - left);
    const int height = std::min(edtheight->value(), FSource.height() - top);
    const TEdgeRect typed{left, top, left + width, top + height};
    const TEdgeRect mapped = FrameToDisplay(FInputFit, typed);
    const TEdgeRect& d = FInputFit.Display;
    TEdgeRect frame = CropFrame();
    // Moving an edge keeps the frame's size, shrinking it (to 18 at least) to stay inside.
    const auto moveStart = [](int start, int size, int areaEnd, int& newStart, int& newEnd) {
        if (start + size > areaEnd) {
            size = std::max(kMinimumFrame, areaEnd - start);
            start = std::min(start, areaEnd - size);
        }
        newStart = start;
        newEnd = start + size;
    };
    const auto resize = [](int start, int size, int areaEnd) {
        return std::min(std::max(kMinimumFrame, size), areaEnd - start);
    };
    if (changed == edtleft)
        moveStart(mapped.Left, frame.Width(), d.Right, frame.Left, frame.Right);
    else if (changed == edttop)
        moveStart(mapped.Top, frame.Height(), d.Bottom, frame.Top, frame.Bottom);
    else if (changed == edtwidth)
        frame.Right = frame.Left + resize(frame.Left, mapped.Width(), d.Right);
    else
        frame.Bottom = frame.Top + resize(frame.Top, mapped.Height(), d.Bottom);
    SetCropFrame(frame);
    ApplyCropFrame(&typed);
}

void TEditfrm::btnCropResetClick() {
    ResetCrop();
    RedrawIfPaused();
}

// No crop: the whole picture, the frame over all of it.
void TEditfrm::ResetCrop() {
    const TEdgeRect whole{0, 0, FSource.width(), FSource.height()};
    {
        std::lock_guard lock(FDrawLock);
        FView.CropActive = false;
        FView.CropRect = whole;
        FView.Relayout = true;
    }
    SetCropFrame(FInputFit.Display);
    FAppliedFrame = FInputFit.Display;
    ShowCropValues(whole);
}

// While playing the next frame shows the change; while paused no frame comes.
void TEditfrm::RedrawIfPaused() {
    if (Playing() || !FOpened || FClosing)
        return;
    const QImage picture = FPlayer.CurrentPicture();
    if (picture.isNull())
        return;
    std::lock_guard lock(FDrawLock);
    DrawPreviews(picture);
}

void TEditfrm::VideoHook(const QImage& picture, bool& update) {
    update = false; // the previews draw copies; the player's picture stays as it is
    std::lock_guard lock(FDrawLock);
    DrawPreviews(picture);
}

void TEditfrm::DrawPreviews(const QImage& picture) {
    TPreviewLayout& view = FView;
    if (picture.isNull() || !view.Input.Valid())
        return;
    bool fillBars = false;
    if (view.Relayout) {
        const QSize shown = view.CropActive ? QSize(view.CropRect.Width(), view.CropRect.Height())
                                            : view.Input.Frame;
        view.CroppedDisplay = FitFrameInto(shown, view.Output.Display);
        view.Relayout = false;
        fillBars = true;
    }
    // Crop rectangles are in the picture as shown (square pixels); the player's picture may be
    // stored at another size.
    QRectF source = picture.rect();
    if (view.CropActive) {
        const double scaleX = double(picture.width()) / view.Input.Frame.width();
        const double scaleY = double(picture.height()) / view.Input.Frame.height();
        const TEdgeRect& crop = view.CropRect;
        source = QRectF(crop.Left * scaleX, crop.Top * scaleY, crop.Width() * scaleX,
                        crop.Height() * scaleY);
    }
    imgVideo1->Paint([&](QPainter& painter) {
        painter.drawImage(QRectF(ToQRect(view.Input.Display)), picture);
    });
    imgVideo2->Paint([&](QPainter& painter) {
        if (fillBars)
            painter.fillRect(ToQRect(view.Output.Display), kBarColour);
        painter.drawImage(QRectF(ToQRect(view.CroppedDisplay)), picture, source);
    });
}

void TEditfrm::StoreCrop() {
    TEdgeRect crop;
    bool active = false;
    {
        std::lock_guard lock(FDrawLock);
        active = FView.CropActive;
        crop = FView.CropRect;
    }
    FItem.CropEnabled = active;
    if (!active)
        return;
    FItem.CropRect = crop;
    FItem.CropViewRect = CropFrame();
    ActivityLog().WriteInfo(QStringLiteral("CutVideo:-------------"));
    ActivityLog().WriteInfo(QStringLiteral("SrcRect: ") + LogRectText(crop));
    ActivityLog().WriteInfo(QStringLiteral("DestRect: ") + LogRectText(FItem.CropViewRect));
    ActivityLog().WriteInfo(QStringLiteral("CutVideo:-------------"));
}
