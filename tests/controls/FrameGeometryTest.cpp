// Fitting a frame into a preview box and carrying rectangles between the two.

#include "controls/FrameGeometry.h"

#include <gtest/gtest.h>

namespace {

std::string Text(const TEdgeRect& r) {
    return std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Right) +
           "," + std::to_string(r.Bottom);
}

} // namespace

TEST(FrameGeometry, FitInsetsTheSideTheFrameDoesNotFill) {
    const struct {
        QSize frame, box;
        TEdgeRect display;
    } cases[] = {
        {{640, 480}, {360, 220}, {33, 0, 327, 220}}, // ratios 1.778 and 2.182: full height
        {{1280, 720}, {360, 220}, {0, 9, 360, 211}}, // 17.5 / 2 = 8.75 → 9: full width
        {{720, 440}, {360, 220}, {0, 0, 360, 220}},  // the box's own shape
        {{321, 241}, {360, 220}, {33, 0, 327, 220}}, // odd sizes
        {{200, 102}, {100, 100}, {0, 24, 100, 76}},  // 24.5: ties go to the even side
        {{200, 98}, {100, 100}, {0, 26, 100, 74}},   // 25.5 → 26
        {{32, 24}, {360, 220}, {33, 0, 327, 220}},   // small frames are enlarged
    };
    for (const auto& c : cases) {
        const TFrameFit fit = FitFrame(c.frame, c.box);
        EXPECT_TRUE(fit.Valid());
        EXPECT_EQ(fit.Display, c.display)
            << c.frame.width() << "x" << c.frame.height() << ": " << Text(fit.Display);
    }
    EXPECT_NEAR(FitFrame({640, 480}, {360, 220}).RatioX, 1.778, 0.001);
    EXPECT_NEAR(FitFrame({640, 480}, {360, 220}).RatioY, 2.182, 0.001);
}

TEST(FrameGeometry, WithoutAreaNothingMaps) {
    for (const auto& [frame, box] :
         {std::pair{QSize(0, 0), QSize(360, 220)}, std::pair{QSize(640, 480), QSize(0, 0)}}) {
        const TFrameFit fit = FitFrame(frame, box);
        EXPECT_FALSE(fit.Valid());
        EXPECT_EQ(DisplayToFrame(fit, {10, 10, 50, 50}), TEdgeRect{});
        EXPECT_EQ(FrameToDisplay(fit, {10, 10, 50, 50}), TEdgeRect{});
    }
    EXPECT_EQ(FitFrameInto({0, 0}, {5, 6, 100, 100}), (TEdgeRect{5, 6, 5, 6}));
}

TEST(FrameGeometry, RectanglesMapEachEdgeOnItsOwn) {
    const TFrameFit tall = FitFrame({640, 480}, {360, 220});  // display 33 … 327 × 0 … 220
    const TFrameFit wide = FitFrame({1280, 720}, {360, 220}); // display 0 … 360 × 9 … 211
    const struct {
        const TFrameFit& fit;
        TEdgeRect display, frame;
    } cases[] = {
        {tall, {33, 0, 327, 220}, {0, 0, 640, 480}},        // the display is the whole frame
        {tall, {180, 110, 200, 120}, {320, 240, 364, 262}}, // 363.5… → 364, 261.8 → 262
        {wide, {0, 9, 360, 211}, {0, 0, 1280, 720}},
        {wide, {100, 50, 200, 150}, {356, 146, 711, 503}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DisplayToFrame(c.fit, c.display), c.frame) << Text(c.display);
    }
    EXPECT_EQ(FrameToDisplay(tall, {0, 0, 640, 480}), (TEdgeRect{33, 0, 327, 220}));
    EXPECT_EQ(FrameToDisplay(tall, {320, 240, 320, 240}), (TEdgeRect{180, 110, 180, 110}));
    EXPECT_EQ(FrameToDisplay(wide, {0, 0, 1280, 720}), (TEdgeRect{0, 9, 360, 211}));
    // A round trip through the coarser preview moves a value: 30 → 27.5 → 28 → 30.5… → 31.
    const TFrameFit output = FitFrame({320, 240}, {360, 220});
    const TEdgeRect shown = FrameToDisplay(output, {20, 30, 60, 50});
    EXPECT_EQ(shown.Top, 28);
    EXPECT_EQ(DisplayToFrame(output, shown).Top, 31);
}

TEST(FrameGeometry, FittingIntoARectangleOfTheSurface) {
    // A square picture inside the letterboxed display of a 640x480 frame.
    EXPECT_EQ(FitFrameInto({100, 100}, {33, 0, 327, 220}), (TEdgeRect{70, 0, 290, 220}));
    EXPECT_EQ(FitFrameInto({640, 480}, {33, 0, 327, 220}), (TEdgeRect{33, 0, 327, 220}));
}

TEST(FrameGeometry, FontsShrinkWithTheFrame) {
    EXPECT_EQ(DisplayFontSize(FitFrame({640, 480}, {360, 220}), 24), 11); // 24 / 2.18
    EXPECT_EQ(DisplayFontSize(FitFrame({320, 240}, {360, 220}), 24), 22); // 24 / 1.09
    EXPECT_EQ(DisplayFontSize(FitFrame({0, 0}, {360, 220}), 24), 24);
}
