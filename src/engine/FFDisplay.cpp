#include "engine/FFDisplay.h"

#include <QString>

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

bool AddUprightFilters(AVFilterGraph* graph, AVFilterContext*& last,
                       const TDisplayGeometry& geometry, int width, int height,
                       AVRational pixelAspect, QSize* shown) {
    int step = 0;
    const auto then = [&](const char* filter, const QString& args) {
        AVFilterContext* context = nullptr;
        const QByteArray name = QStringLiteral("upright%1").arg(step++).toUtf8();
        if (avfilter_graph_create_filter(&context, avfilter_get_by_name(filter), name.constData(),
                                         args.toUtf8().constData(), nullptr, graph) < 0 ||
            avfilter_link(last, 0, context, 0) < 0)
            return false;
        last = context;
        return true;
    };
    const double aspect = pixelAspect.num > 0 && pixelAspect.den > 0 ? av_q2d(pixelAspect) : 1.0;
    const bool squared = !geometry.SquarePixels() && aspect != 1.0;
    const int squareWidth = squared ? EvenNear(width * aspect) : width;
    if (squared && (!then("scale", QStringLiteral("%1:%2").arg(squareWidth).arg(height)) ||
                    !then("setsar", QStringLiteral("1"))))
        return false;
    bool made = true;
    switch (geometry.Rotation) {
    case 90: made = then("transpose", QStringLiteral("dir=clock")); break;
    case 180: made = then("hflip", QString()) && then("vflip", QString()); break;
    case 270: made = then("transpose", QStringLiteral("dir=cclock")); break;
    default: break;
    }
    *shown = geometry.Turned() ? QSize(height, squareWidth) : QSize(squareWidth, height);
    return made;
}
