#include "engine/FFUtils.h"
#include "engine/FFmpegException.h"

#include <gtest/gtest.h>

#include <QPainter>

#include <vector>

extern "C" {
#include <libavutil/imgutils.h>
}

namespace {

// A packed picture with a chosen line size, filled with a pattern that tells rows and
// columns apart.
struct PackedPicture {
    PackedPicture(int width, int height, int bytesPerPixel, int lineSize)
        : Width(width), Height(height), Bytes(size_t(lineSize) * height) {
        LineSize[0] = lineSize;
        Data[0] = Bytes.data();
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width * bytesPerPixel; ++x)
                Bytes[size_t(y) * lineSize + x] = static_cast<uint8_t>(x * 7 + y * 13);
    }
    int Width;
    int Height;
    std::vector<uint8_t> Bytes;
    uint8_t* Data[4] = {};
    int LineSize[4] = {};
};

// A YUV 4:2:0 frame of one colour.
ffmpeg::FramePtr SolidYuvFrame(int width, int height, uint8_t y, uint8_t u, uint8_t v) {
    ffmpeg::FramePtr frame = ffmpeg::MakeFrame();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    EXPECT_EQ(av_frame_get_buffer(frame.get(), 0), 0);
    for (int row = 0; row < height; ++row)
        std::memset(frame->data[0] + row * frame->linesize[0], y, size_t(width));
    for (int row = 0; row < (height + 1) / 2; ++row) {
        std::memset(frame->data[1] + row * frame->linesize[1], u, size_t(width + 1) / 2);
        std::memset(frame->data[2] + row * frame->linesize[2], v, size_t(width + 1) / 2);
    }
    return frame;
}

void ExpectNear(const QColor& actual, const QColor& expected, int tolerance, const char* what) {
    EXPECT_NEAR(actual.red(), expected.red(), tolerance) << what;
    EXPECT_NEAR(actual.green(), expected.green(), tolerance) << what;
    EXPECT_NEAR(actual.blue(), expected.blue(), tolerance) << what;
}

} // namespace

TEST(FormatConverter, WorksInPlaceOnlyWhenTheLayoutAlreadyMatches) {
    const struct {
        const char* Case;
        AVPixelFormat Format;
        int Width, Height, LineSize;
        bool Converted;
    } cases[] = {
        {"matching BGR24 640x480", AV_PIX_FMT_BGR24, 640, 480, 1920, false},
        {"padded rows", AV_PIX_FMT_BGR24, 640, 480, 1984, true},
        {"odd width", AV_PIX_FMT_BGR24, 641, 480, 1924, true},
        {"odd height", AV_PIX_FMT_BGR24, 640, 479, 1920, true},
        {"other format", AV_PIX_FMT_RGB24, 640, 480, 1920, true},
    };
    TFormatConverter converter;
    for (const auto& c : cases) {
        PackedPicture picture(c.Width, c.Height, 3, c.LineSize);
        ASSERT_TRUE(
            converter.ToRGB(picture.Data, picture.LineSize, c.Format, false, c.Height, c.Width))
            << c.Case;
        EXPECT_EQ(converter.Converted(), c.Converted) << c.Case;
        EXPECT_EQ(converter.BitmapInfo().Bits == picture.Data[0], !c.Converted) << c.Case;
        EXPECT_EQ(converter.BitmapInfo().Width, c.Width);
        EXPECT_EQ(converter.BitmapInfo().Height, c.Height);
        EXPECT_EQ(converter.BitmapInfo().BitsPixel, 24);
    }
}

TEST(FormatConverter, CopiesRowsWithoutDriftWhenRowLengthsDiffer) {
    // 642 BGR24 pixels: 1926 bytes a row in the packed picture, 1928 in the bitmap.
    PackedPicture picture(642, 10, 3, 1926);
    TFormatConverter converter;
    ASSERT_TRUE(converter.ToRGB(picture.Data, picture.LineSize, AV_PIX_FMT_BGR24, true, 10, 642));
    ASSERT_EQ(converter.Bitmap().bytesPerLine(), 1928);
    for (int y : {0, 1, 5, 9}) {
        for (int x : {0, 1, 320, 641}) {
            const uint8_t* source = picture.Data[0] + y * 1926 + x * 3;
            const QColor pixel = converter.Bitmap().pixelColor(x, y);
            EXPECT_EQ(pixel.blue(), source[0]) << x << "," << y;
            EXPECT_EQ(pixel.green(), source[1]) << x << "," << y;
            EXPECT_EQ(pixel.red(), source[2]) << x << "," << y;
        }
    }
}

TEST(FormatConverter, EveryDepthShowsTheRightColours) {
    // YUV of pure-ish red, green and blue (BT.601, limited range).
    const struct {
        const char* Name;
        uint8_t Y, U, V;
        QColor Rgb;
    } colours[] = {{"red", 81, 90, 240, QColor(255, 0, 0)},
                   {"green", 145, 54, 34, QColor(0, 255, 0)},
                   {"blue", 41, 240, 110, QColor(0, 0, 255)}};
    const struct {
        int BitsPixel;
        QImage::Format Format;
        int Tolerance;
    } depths[] = {{8, QImage::Format_Indexed8, 90},
                  {15, QImage::Format_RGB555, 12},
                  {16, QImage::Format_RGB16, 12},
                  {24, QImage::Format_BGR888, 6},
                  {32, QImage::Format_ARGB32, 6}};
    TFormatConverter converter;
    for (const auto& depth : depths) {
        converter.SetBitsPixel(depth.BitsPixel);
        for (const auto& colour : colours) {
            ffmpeg::FramePtr frame = SolidYuvFrame(64, 48, colour.Y, colour.U, colour.V);
            ASSERT_TRUE(converter.ToRGB(frame.get(), true));
            EXPECT_EQ(converter.Bitmap().format(), depth.Format) << depth.BitsPixel;
            const std::string what = std::to_string(depth.BitsPixel) + " bits " + colour.Name;
            ExpectNear(converter.Bitmap().pixelColor(20, 20), colour.Rgb, depth.Tolerance,
                       what.c_str());
        }
    }
}

TEST(FormatConverter, HookSequenceDrawsIntoTheFrame) {
    ffmpeg::FramePtr frame = SolidYuvFrame(64, 48, 16, 128, 128); // black
    TFormatConverter converter;
    ASSERT_TRUE(converter.ToRGB(frame.get(), true));
    ASSERT_TRUE(converter.Converted());
    {
        QPainter painter(&converter.Bitmap());
        painter.fillRect(QRect(0, 0, 32, 48), Qt::white);
    }
    converter.CopyFromBitmap();
    ASSERT_TRUE(converter.FromRGB(frame.get()));
    EXPECT_NEAR(frame->data[0][10 * frame->linesize[0] + 8], 235, 3) << "white on the left";
    EXPECT_NEAR(frame->data[0][10 * frame->linesize[0] + 56], 16, 3) << "black on the right";
}

TEST(FormatConverter, InPlacePicturesAreWrittenStraightBack) {
    PackedPicture picture(64, 48, 3, 192);
    TFormatConverter converter;
    ASSERT_TRUE(converter.ToRGB(picture.Data, picture.LineSize, AV_PIX_FMT_BGR24, true, 48, 64));
    ASSERT_FALSE(converter.Converted());
    converter.Bitmap().fill(QColor(1, 2, 3));
    converter.CopyFromBitmap();
    EXPECT_EQ(picture.Bytes[47 * 192 + 63 * 3 + 0], 3); // blue byte first
    EXPECT_EQ(picture.Bytes[47 * 192 + 63 * 3 + 2], 1);
}

TEST(FormatConverter, DepthChanges) {
    TFormatConverter converter;
    EXPECT_EQ(converter.BitsPixel(), 24);
    try {
        converter.SetBitsPixel(12);
        FAIL() << "12 bits accepted";
    } catch (const FFmpegException& error) {
        EXPECT_EQ(error.Message(), "Invalid BitsPixel 12");
    }
    EXPECT_EQ(converter.BitsPixel(), 24);
    converter.SetBitsPixel(15);
    EXPECT_EQ(converter.RGBPixelFormat(), AV_PIX_FMT_RGB555LE);
    converter.SetBitsPixel(16);
    EXPECT_EQ(converter.RGBPixelFormat(), AV_PIX_FMT_RGB565LE);
    ffmpeg::FramePtr frame = SolidYuvFrame(16, 16, 128, 128, 128);
    ASSERT_TRUE(converter.ToRGB(frame.get(), true));
    EXPECT_EQ(converter.Bitmap().format(), QImage::Format_RGB16);
}

TEST(FormatConverter, FailsCleanlyOnNonsense) {
    PackedPicture picture(8, 8, 3, 24);
    TFormatConverter converter;
    EXPECT_FALSE(converter.ToRGB(picture.Data, picture.LineSize, AV_PIX_FMT_NONE, true, 8, 8));
    EXPECT_EQ(converter.LastErrMsg(), "Cannot initialize the toRGB conversion context");
    EXPECT_FALSE(converter.HasCurrentPicture());
    EXPECT_FALSE(converter.ToRGB(picture.Data, picture.LineSize, AV_PIX_FMT_BGR24, true, 0, 8));
    ASSERT_TRUE(converter.ToRGB(picture.Data, picture.LineSize, AV_PIX_FMT_RGB24, true, 8, 8));
    uint8_t* target[4] = {picture.Data[0], nullptr, nullptr, nullptr};
    EXPECT_FALSE(converter.FromRGB(target, picture.LineSize, AV_PIX_FMT_NONE, 8, 8));
    EXPECT_EQ(converter.LastErrMsg(), "Cannot initialize the fromRGB conversion context");
}

TEST(FormatTimeStamp, Texts) {
    const struct {
        int64_t Time;
        const char* Text;
    } cases[] = {{INT64_MIN, "N/A"},           {0, "00:00:00.000"},
                 {3723004000, "01:02:03.004"}, {90000000000, "25:00:00.000"},
                 {999999, "00:00:00.999"},     {-1500000, "-00:00:01.500"}};
    for (const auto& c : cases)
        EXPECT_EQ(FormatTimeStamp(c.Time).toStdString(), c.Text) << c.Time;
}
