#include "engine/filters/NativeFilterKinds.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

extern "C" {
#include <libavutil/common.h>
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

namespace {

uint8_t Clamped(int64_t value) {
    return static_cast<uint8_t>(std::clamp<int64_t>(value, 0, 255));
}

} // namespace

void TNativeHue::Process(AVFrame* frame, int hue, int saturation) const {
    // (u, v) turned by θ = hue × π / 100 and scaled by (saturation + 100) / 100, in 16.16 fixed
    // point; 0x808000 puts the result back around 128 and rounds.
    const long double theta = hue * std::numbers::pi_v<long double> / 100;
    const long double scale = 65536.0L * (saturation + 100) / 100;
    const int64_t s = static_cast<int64_t>(std::floor(std::sin(theta) * scale + 0.5L));
    const int64_t k = static_cast<int64_t>(std::floor(std::cos(theta) * scale + 0.5L));
    int shiftX = 0, shiftY = 0;
    if (av_pix_fmt_get_chroma_sub_sample(static_cast<AVPixelFormat>(frame->format), &shiftX,
                                         &shiftY) < 0)
        return;
    // Rounded up: a picture of odd size has a last chroma row and column for its last pixels.
    const int width = AV_CEIL_RSHIFT(frame->width, shiftX);
    const int height = AV_CEIL_RSHIFT(frame->height, shiftY);
    for (int row = 0; row < height; ++row) {
        uint8_t* us = frame->data[1] + static_cast<ptrdiff_t>(row) * frame->linesize[1];
        uint8_t* vs = frame->data[2] + static_cast<ptrdiff_t>(row) * frame->linesize[2];
        for (int x = 0; x < width; ++x) {
            const int64_t u = us[x] - 128;
            const int64_t v = vs[x] - 128;
            us[x] = Clamped((k * u - s * v + 0x808000) >> 16);
            vs[x] = Clamped((s * u + k * v + 0x808000) >> 16);
        }
    }
}
