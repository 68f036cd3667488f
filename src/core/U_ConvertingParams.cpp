#include "core/U_ConvertingParams.h"

namespace {

QString Escaped(const QString& text, const QString& special) {
    QString escaped;
    escaped.reserve(text.size() * 2);
    for (const QChar c : text) {
        if (special.contains(c))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    return escaped;
}

QString Fixed(double value) {
    return QString::number(value, 'f', 2);
}

void Append(QString& chain, const QString& piece) {
    if (piece.isEmpty())
        return;
    if (!chain.isEmpty())
        chain += QLatin1Char(',');
    chain += piece;
}

} // namespace

QString FilterGraphPath(const QString& path) {
    // The option parser splits at ':', reads text before a '=' as an option name and unquotes
    // '\'' and '\\'; the graph parser splits at ',', ';' and brackets and unquotes the same; both
    // drop blanks around a value.
    return Escaped(Escaped(path, QStringLiteral("\\':=")), QStringLiteral("\\'[],; "));
}

void BuildEncodeParams(TFileOption& item, int taskIndex, QList<TTextWaterMark>& textWaterMarks) {
    TOutputOptions& output = item.OutputOptions;
    output.VideoFilters.clear();
    int sourceWidth = 0, sourceHeight = 0, outputWidth = 0, outputHeight = 0;
    ParseFrameSize(item.SourceFrameSize, &sourceWidth, &sourceHeight);
    const bool outputSizeValid =
        ParseFrameSize(item.OutputFrameSize, &outputWidth, &outputHeight) && outputWidth > 0 &&
        outputHeight > 0;

    bool cropAndPad = true;
    if (!item.CropEnabled) {
        if (item.OutputFrameSize == item.SourceFrameSize || item.IsMerge) {
            cropAndPad = false;
        } else {
            item.CropRect = {0, 0, sourceWidth, sourceHeight};
        }
    }

    QString chain;
    const int width = item.CropRect.Width();
    const int height = item.CropRect.Height();
    // Without real sizes the pad would divide by zero: the item converts at its source size.
    if (cropAndPad && outputSizeValid && width > 0 && height > 0) {
        const TEdgeRect& crop = item.CropRect;
        if (crop.Top > 0 || width > 0 || crop.Left > 0 || height > 0)
            Append(chain, QStringLiteral("crop=%1:%2:%3:%4")
                              .arg(width)
                              .arg(height)
                              .arg(crop.Left)
                              .arg(crop.Top));
        const double a = width, b = height, w = outputWidth, h = outputHeight;
        const double e = b * w / h;
        const double g = a * h / w;
        const double paddedWidth = a > e ? a : e;
        const double paddedHeight = a > e ? g : b;
        Append(chain, QStringLiteral("pad=%1:%2:%3:%4")
                          .arg(Fixed(paddedWidth), Fixed(paddedHeight),
                               Fixed((paddedWidth - a) / 2), Fixed((paddedHeight - b) / 2)));
    }
    if (!item.OutputFrameSize.isEmpty()) {
        if (outputSizeValid)
            Append(chain, QStringLiteral("scale=%1:%2").arg(outputWidth).arg(outputHeight));
        output.FrameSize.clear();
    }
    // A chain of the user's own runs on what the item's crop, scale and watermark made; the
    // engine would otherwise drop it for the item's chain.
    const QString extraFilters =
        ExtraStreamValue(output.ExtOptions, QStringLiteral("vf")).trimmed();
    output.VideoFilters = chain;
    Append(output.VideoFilters, extraFilters);

    if (item.WaterMarkType == wmPicture) {
        const TWaterMark& mark = item.WaterMark;
        const QString picture =
            mark.ScaledPictureFile.isEmpty() ? mark.PictureFile : mark.ScaledPictureFile;
        // The scaled video is overlay's first (main) input and the picture its second.
        QString text = QStringLiteral("movie=%1 [watermark1]; [in] ").arg(FilterGraphPath(picture));
        if (!chain.isEmpty())
            text += chain + QStringLiteral(" [video]; [video]");
        text += QStringLiteral("[watermark1] overlay=%1:%2")
                    .arg(mark.OutputRect.left())
                    .arg(mark.OutputRect.top());
        if (!extraFilters.isEmpty())
            text += QLatin1Char(',') + extraFilters;
        text += QStringLiteral(" [out]");
        output.VideoFilters = text;
    } else if (item.WaterMarkType == wmText) {
        textWaterMarks.append({taskIndex, item.WaterMark});
        output.VideoOutputHook = true;
    }
}
