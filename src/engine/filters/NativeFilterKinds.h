#pragma once

// The two filters' own work on a picture; made by TNativeFilter::Create.

#include "engine/filters/NativeFilter.h"

// Brightness b and contrast c on the luma plane.
class TNativeEq final : public TNativeFilter {
public:
    TNativeEq() : TNativeFilter(TNativeFilterKind::Eq, 1u << 0) {}

private:
    void Process(const AVFrame* in, AVFrame* out, int brightness, int contrast) const override;
};

// Hue turned and saturation scaled on the two chroma planes.
class TNativeHue final : public TNativeFilter {
public:
    TNativeHue() : TNativeFilter(TNativeFilterKind::Hue, 1u << 1 | 1u << 2) {}

private:
    void Process(const AVFrame* in, AVFrame* out, int hue, int saturation) const override;
};
