#pragma once

// How a stored video picture is meant to be seen: turned by the display rotation of its stream
// (phones store portrait video landscape) and, with non-square pixels (DVDs, some broadcasts),
// stretched to square ones. The prober reports it, the transcoder converts to it, the player
// shows it.

#include <QList>
#include <QSize>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
}

struct TDisplayGeometry {
    int Rotation = 0;              // degrees clockwise to turn the stored picture: 0, 90, 180, 270
    AVRational SampleAspect{1, 1}; // of the stored pixels; 1:1 when the file does not say
    int Width = 0;                 // the upright, square-pixel size, both even
    int Height = 0;

    bool Turned() const { return Rotation == 90 || Rotation == 270; }
    bool SquarePixels() const { return SampleAspect.num == SampleAspect.den; }
    // Nothing to do to the stored picture but, perhaps, evening out an odd size.
    bool StoredAsShown() const { return Rotation == 0 && SquarePixels(); }
};

// The geometry of a video stream of `context`.
TDisplayGeometry DisplayGeometryOf(AVFormatContext* context, AVStream* stream);

// Adds to `graph`, after `last`, the filters that show a `width` × `height` picture of a stream
// of `geometry` as it is meant to be seen: its pixels made square (by the picture's own
// `pixelAspect`, which may differ from the stream's), then turned upright. `last` becomes the
// chain's end and `shown` the size it gives. False when a filter cannot be made.
bool AddUprightFilters(AVFilterGraph* graph, AVFilterContext*& last,
                       const TDisplayGeometry& geometry, int width, int height,
                       AVRational pixelAspect, QSize* shown);
