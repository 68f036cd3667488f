#pragma once

// Turns what a job item holds in its own terms (crop, output size, watermark) into the engine's
// terms right before it is converted: the filter-graph text of its output, and an output hook
// for a text watermark.

#include "core/U_Treelist.h"

#include <QList>
#include <QString>

// A text watermark the conversion draws into every output frame of one task.
struct TTextWaterMark {
    int TaskIndex = -1;
    TWaterMark WaterMark;
};

// Rewrites item.OutputOptions.VideoFilters (crop, pad, scale, picture watermark, then the chain
// of a "vf" in the item's extra options), empties
// FrameSize when a scale is produced, sets CropRect to the whole frame when padding needs it,
// and for a text watermark appends to `textWaterMarks` and asks for the video output hook.
void BuildEncodeParams(TFileOption& item, int taskIndex, QList<TTextWaterMark>& textWaterMarks);

// A file path as one argument of a filter in a filter-graph text (quoted for the filter's own
// option parser and then for the graph parser).
QString FilterGraphPath(const QString& path);
