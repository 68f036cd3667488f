// The picture of the sound when a file has no video: the spectrum of the last moments as bars
// rising from a dark floor, with the waveform drawn across them.

#include "engine/player/FFPlayback.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <complex>

namespace {

constexpr int kTransformSize = 1024; // a power of two
constexpr int kBands = 48;

// In place, radix 2.
void Transform(std::vector<std::complex<float>>& values) {
    const size_t n = values.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(values[i], values[j]);
    }
    for (size_t length = 2; length <= n; length <<= 1) {
        const float angle = -2.0f * float(M_PI) / float(length);
        const std::complex<float> step(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += length) {
            std::complex<float> w(1.0f);
            for (size_t k = 0; k < length / 2; ++k) {
                const std::complex<float> even = values[i + k];
                const std::complex<float> odd = values[i + k + length / 2] * w;
                values[i + k] = even + odd;
                values[i + k + length / 2] = even - odd;
                w *= step;
            }
        }
    }
}

} // namespace

QImage TPlayback::DrawSoundPicture(const QSize& size) const {
    std::vector<float> samples(kTransformSize);
    {
        std::lock_guard lock(FSoundLock);
        const size_t ring = FSoundRing.size();
        for (size_t i = 0; i < samples.size() && ring > 0; ++i)
            samples[i] = FSoundRing[(FSoundWrite + ring - samples.size() + i) % ring] / 32768.0f;
    }

    QImage picture(size, QImage::Format_RGB32);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient floor(0, 0, 0, size.height());
    floor.setColorAt(0.0, QColor(0x12, 0x16, 0x1d));
    floor.setColorAt(1.0, QColor(0x05, 0x07, 0x0a));
    painter.fillRect(picture.rect(), floor);

    // The spectrum, Hann-windowed, in bands spaced evenly on a logarithmic scale.
    std::vector<std::complex<float>> values(kTransformSize);
    for (int i = 0; i < kTransformSize; ++i) {
        const float window = 0.5f - 0.5f * std::cos(2.0f * float(M_PI) * i / (kTransformSize - 1));
        values[i] = samples[i] * window;
    }
    Transform(values);
    const int bins = kTransformSize / 2;
    const double barWidth = double(size.width()) / kBands;
    QLinearGradient bar(0, size.height(), 0, 0);
    bar.setColorAt(0.0, QColor(0x1a, 0x6f, 0xb8));
    bar.setColorAt(0.7, QColor(0x20, 0x8a, 0xde));
    bar.setColorAt(1.0, QColor(0xff, 0x8a, 0x1f));
    for (int band = 0; band < kBands; ++band) {
        const int first = std::max(1, int(std::pow(bins, double(band) / kBands)));
        const int last = std::max(first + 1, int(std::pow(bins, double(band + 1) / kBands)));
        float peak = 0.0f;
        for (int k = first; k < last && k < bins; ++k)
            peak = std::max(peak, std::abs(values[k]));
        const double level = std::clamp(
            (20.0 * std::log10(peak / (kTransformSize / 4.0) + 1e-9) + 70.0) / 70.0, 0.0, 1.0);
        const double height = level * size.height() * 0.85;
        painter.fillRect(QRectF(band * barWidth + 1, size.height() - height,
                                std::max(1.0, barWidth - 2), height),
                         bar);
    }

    // The waveform of the last 20 ms or so across it.
    QPainterPath wave;
    const int shown = std::min<int>(kTransformSize, std::max(64, FAudioSpec.freq / 50));
    const double middle = size.height() / 2.0;
    for (int i = 0; i < shown; ++i) {
        const QPointF point(double(i) * size.width() / (shown - 1),
                            middle - samples[kTransformSize - shown + i] * middle * 0.9);
        if (i == 0)
            wave.moveTo(point);
        else
            wave.lineTo(point);
    }
    painter.setPen(QPen(QColor(0xe6, 0xe9, 0xef, 200), 1.5));
    painter.drawPath(wave);
    return picture;
}
