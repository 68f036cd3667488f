#include "engine/filters/NativeFilterKinds.h"

#include <cmath>
#include <cstdint>
#include <numbers>

extern "C" {
#include <libavutil/common.h>
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

namespace {

uint8_t Clamped(int32_t value) {
    return static_cast<uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

} // namespace

void TNativeHue::Process(const AVFrame* in, AVFrame* out, int hue, int saturation) const {
    // (u, v) turned by θ = hue × π / 100 and scaled by (saturation + 100) / 100, in 16.16 fixed
    // point; 0x808000 puts the result back around 128 and rounds.
    const long double theta = hue * std::numbers::pi_v<long double> / 100;
    const long double scale = 65536.0L * (saturation + 100) / 100;
    // |s|, |k| ≤ 131072 and |u|, |v| ≤ 128: every sum below fits 32 bits.
    const auto s = static_cast<int32_t>(std::floor(std::sin(theta) * scale + 0.5L));
    const auto k = static_cast<int32_t>(std::floor(std::cos(theta) * scale + 0.5L));
    int shiftX = 0, shiftY = 0;
    if (av_pix_fmt_get_chroma_sub_sample(static_cast<AVPixelFormat>(in->format), &shiftX, &shiftY) <
        0)
        return;
    // Rounded up: a picture of odd size has a last chroma row and column for its last pixels.
    const int width = AV_CEIL_RSHIFT(in->width, shiftX);
    const int height = AV_CEIL_RSHIFT(in->height, shiftY);
    for (int row = 0; row < height; ++row) {
        const uint8_t* const us = in->data[1] + row * static_cast<ptrdiff_t>(in->linesize[1]);
        const uint8_t* const vs = in->data[2] + row * static_cast<ptrdiff_t>(in->linesize[2]);
        uint8_t* const ut = out->data[1] + row * static_cast<ptrdiff_t>(out->linesize[1]);
        uint8_t* const vt = out->data[2] + row * static_cast<ptrdiff_t>(out->linesize[2]);
        for (int x = 0; x < width; ++x) {
            const int32_t u = us[x] - 128;
            const int32_t v = vs[x] - 128;
            ut[x] = Clamped((k * u - s * v + 0x808000) >> 16);
            vt[x] = Clamped((s * u + k * v + 0x808000) >> 16);
        }
    }
}
