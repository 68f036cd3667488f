#include "engine/FFDisplay.h"

#include <cmath>

extern "C" {
#include <libavutil/display.h>
}

namespace {

int EvenNear(double size) {
    return std::max(2, 2 * static_cast<int>(std::lround(size / 2.0)));
}

// The display matrix gives the rotation counter-clockwise; pictures are turned clockwise.
int RotationOf(const AVStream* stream) {
    const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (matrix == nullptr)
        return 0;
    const double counterClockwise =
        av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    if (std::isnan(counterClockwise))
        return 0;
    const long quarters = std::lround(-counterClockwise / 90.0);
    return static_cast<int>(((quarters % 4) + 4) % 4) * 90;
}

} // namespace

TDisplayGeometry DisplayGeometryOf(AVFormatContext* context, AVStream* stream) {
    TDisplayGeometry geometry;
    const AVCodecParameters* parameters = stream->codecpar;
    geometry.Rotation = RotationOf(stream);
    AVRational sar = av_guess_sample_aspect_ratio(context, stream, nullptr);
    if (sar.num > 0 && sar.den > 0) {
        av_reduce(&sar.num, &sar.den, sar.num, sar.den, 1 << 30);
        geometry.SampleAspect = sar;
    }
    const double width = parameters->width * av_q2d(geometry.SampleAspect);
    const double height = parameters->height;
    geometry.Width = EvenNear(geometry.Turned() ? height : width);
    geometry.Height = EvenNear(geometry.Turned() ? width : height);
    return geometry;
}

QList<TFilterStep> UprightFilters(int rotation) {
    switch (rotation) {
    case 90: return {{"transpose", "dir=clock"}};
    case 180: return {{"hflip", ""}, {"vflip", ""}};
    case 270: return {{"transpose", "dir=cclock"}};
    default: return {};
    }
}
