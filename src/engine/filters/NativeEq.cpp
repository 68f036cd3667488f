#include "engine/filters/NativeFilterKinds.h"

#include <algorithm>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

extern "C" {
#include <libavutil/frame.h>
}

namespace {

// One row: Y' = ((Y × C) >> 16) + B, clamped to 0…255.
void EqualiseRow(const uint8_t* samples, uint8_t* results, int width, int c, int b) {
    int x = 0;
#if defined(__SSE2__)
    // C ≤ 131072 split into a whole part (0, 1 or 2) and a 16-bit fraction, so that 16-bit
    // lanes hold every step exactly: (Y × C) >> 16 = Y × whole + ((Y × fraction) >> 16);
    // the signed-to-unsigned pack is the clamp.
    const __m128i zero = _mm_setzero_si128();
    const __m128i whole = _mm_set1_epi16(static_cast<int16_t>(c >> 16));
    const __m128i fraction = _mm_set1_epi16(static_cast<int16_t>(c & 0xFFFF));
    const __m128i offset = _mm_set1_epi16(static_cast<int16_t>(b));
    const auto equalise = [&](__m128i y) {
        return _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(y, whole), _mm_mulhi_epu16(y, fraction)),
                             offset);
    };
    for (; x + 16 <= width; x += 16) {
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + x));
        const __m128i low = equalise(_mm_unpacklo_epi8(y, zero));
        const __m128i high = equalise(_mm_unpackhi_epi8(y, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(results + x), _mm_packus_epi16(low, high));
    }
#endif
    for (; x < width; ++x)
        results[x] = static_cast<uint8_t>(std::clamp(((samples[x] * c) >> 16) + b, 0, 255));
}

} // namespace

void TNativeEq::Process(const AVFrame* in, AVFrame* out, int brightness, int contrast) const {
    const int c = (contrast + 100) * 65536 / 100;
    const int b = (brightness + 100) * 511 / 200 - 128 - (c >> 9);
    for (int row = 0; row < in->height; ++row)
        EqualiseRow(in->data[0] + row * static_cast<ptrdiff_t>(in->linesize[0]),
                    out->data[0] + row * static_cast<ptrdiff_t>(out->linesize[0]), in->width, c, b);
}
