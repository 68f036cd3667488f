#include "engine/filters/NativeFilterKinds.h"

#include <algorithm>
#include <array>
#include <cstdint>

extern "C" {
#include <libavutil/frame.h>
}

void TNativeEq::Process(AVFrame* frame, int brightness, int contrast) const {
    // Y' = ((Y × C) >> 16) + B, clamped; the same for every sample of a value, so a table of
    // the 256 results serves the whole picture.
    const int64_t c = (static_cast<int64_t>(contrast) + 100) * 65536 / 100;
    const int64_t b = (static_cast<int64_t>(brightness) + 100) * 511 / 200 - 128 - (c >> 9);
    std::array<uint8_t, 256> table{};
    for (int y = 0; y < 256; ++y)
        table[y] = static_cast<uint8_t>(std::clamp<int64_t>(((y * c) >> 16) + b, 0, 255));
    for (int row = 0; row < frame->height; ++row) {
        uint8_t* sample = frame->data[0] + static_cast<ptrdiff_t>(row) * frame->linesize[0];
        for (int x = 0; x < frame->width; ++x)
            sample[x] = table[sample[x]];
    }
}
