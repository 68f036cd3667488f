#include "formats/WatermarkRescale.h"

#include "controls/FrameGeometry.h"
#include "core/MrvLog.h"
#include "core/U_EditWatermark.h"
#include "core/U_Treelist.h"

#include <algorithm>

void RescaleWaterMark(TFileOption& item, const QSize& from, const QSize& to) {
    if (from == to || from.isEmpty() || to.isEmpty())
        return;
    TWaterMark& mark = item.WaterMark;
    const TFrameFit oldFit = FitFrame(from, kWatermarkPreviewBox);
    const TFrameFit newFit = FitFrame(to, kWatermarkPreviewBox);
    // A picture and a text may both be set (one of them applied): each keeps its own place.
    if (!mark.PictureFile.isEmpty()) {
        const TEdgeRect moved = MapBetweenFits(oldFit, newFit, EdgeRectOf(mark.PictureViewRect));
        mark.PictureViewRect = ToQRect(moved);
        ActivityLog().WriteInfo(QStringLiteral("ChangePicWaterMark:-------------"));
        ActivityLog().WriteInfo(QStringLiteral("DestRect: ") + LogRectText(moved));
        ActivityLog().WriteInfo(QStringLiteral("ChangePicWaterMark:-------------"));
    }
    if (!mark.WaterMarkText.isEmpty()) {
        const TEdgeRect moved = MapBetweenFits(oldFit, newFit, EdgeRectOf(mark.TextViewRect));
        mark.TextViewRect = ToQRect(moved);
        int size = 0;
        if (mark.TextFont) {
            QFont& font = mark.TextFont->Font;
            const bool points = font.pointSize() > 0;
            size = points ? font.pointSize() : font.pixelSize();
            size = std::max(1, Nearest(double(size) * to.width() / from.width()));
            if (points)
                font.setPointSize(size);
            else
                font.setPixelSize(size);
        }
        ActivityLog().WriteInfo(QStringLiteral("ChangeFontWaterMarkk:-------------"));
        ActivityLog().WriteInfo(QStringLiteral("DestRect: ") + LogRectText(moved));
        ActivityLog().WriteInfo(QStringLiteral("Size: %1").arg(size));
        ActivityLog().WriteInfo(QStringLiteral("ChangeFontWaterMark:-------------"));
    }
    // Also while the watermark is switched off: it keeps its settings for later.
    if (mark.OutputRect.isEmpty())
        return;
    const TEdgeRect r = EdgeRectOf(mark.OutputRect);
    const double scaleX = double(to.width()) / from.width();
    const double scaleY = double(to.height()) / from.height();
    const TEdgeRect scaled{Nearest(r.Left * scaleX), Nearest(r.Top * scaleY),
                           Nearest(r.Right * scaleX), Nearest(r.Bottom * scaleY)};
    mark.OutputRect = ToQRect(scaled);
    ActivityLog().WriteInfo(QStringLiteral("SrcRect: ") + LogRectText(scaled));
    if (mark.WaterMarkKind == wmPicture && !mark.PictureFile.isEmpty())
        mark.ScaledPictureFile =
            SaveScaledWatermark(mark.PictureFile, QSize(scaled.Width(), scaled.Height()));
}
