#include "engine/FFUtils.h"

#include "engine/FFmpegException.h"

#include <cstring>
#include <unistd.h>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
}

namespace engine {

uint32_t CurrentThreadId() {
    return static_cast<uint32_t>(::gettid());
}

QString ErrorText(int errorCode) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(errorCode, text, sizeof text);
    return QString::fromUtf8(text);
}

} // namespace engine

QString FormatTimeStamp(int64_t microseconds) {
    if (microseconds == INT64_MIN)
        return QStringLiteral("N/A");
    const bool negative = microseconds < 0;
    const uint64_t time =
        negative ? 0 - static_cast<uint64_t>(microseconds) : static_cast<uint64_t>(microseconds);
    const uint64_t seconds = time / 1000000;
    const uint64_t milliseconds = (time % 1000000) * 1000 / 1000000;
    return QString::asprintf("%s%.2llu:%.2llu:%.2llu.%.3llu", negative ? "-" : "",
                             static_cast<unsigned long long>(seconds / 3600),
                             static_cast<unsigned long long>(seconds / 60 % 60),
                             static_cast<unsigned long long>(seconds % 60),
                             static_cast<unsigned long long>(milliseconds));
}

namespace {

struct Depth {
    int BitsPixel;
    QImage::Format ImageFormat;
    AVPixelFormat PixelFormat;
};

// The FFmpeg formats are the ones whose memory layout equals the QImage format's.
constexpr Depth kDepths[] = {
    {8, QImage::Format_Indexed8, AV_PIX_FMT_BGR8},
    {15, QImage::Format_RGB555, AV_PIX_FMT_RGB555LE},
    {16, QImage::Format_RGB16, AV_PIX_FMT_RGB565LE},
    {24, QImage::Format_BGR888, AV_PIX_FMT_BGR24},
    {32, QImage::Format_ARGB32, AV_PIX_FMT_BGRA},
};

// The 3:3:2 colours of AV_PIX_FMT_BGR8: blue in the top two bits, red in the bottom three.
QList<QRgb> Bgr8ColorTable() {
    QList<QRgb> table;
    table.reserve(256);
    for (int v = 0; v < 256; ++v)
        table.append(qRgb((v & 7) * 255 / 7, ((v >> 3) & 7) * 255 / 7, ((v >> 6) & 3) * 255 / 3));
    return table;
}

int BytesPerPixel(int bitsPixel) {
    return (bitsPixel + 7) / 8;
}

} // namespace

TFormatConverter::TFormatConverter() {
    Reset();
}

void TFormatConverter::Reset() {
    for (const Depth& depth : kDepths) {
        if (depth.BitsPixel == FBitsPixel) {
            FImageFormat = depth.ImageFormat;
            FRGBFormat = depth.PixelFormat;
        }
    }
    FInfo = TBitmapInfo{};
    std::memset(FRGBData, 0, sizeof FRGBData);
    std::memset(FRGBLineSize, 0, sizeof FRGBLineSize);
    FCurrentData = nullptr;
    FCurrentLineSize = 0;
    if (!FBitmap.isNull() && FBitmap.format() != FImageFormat)
        FBitmap = QImage();
}

void TFormatConverter::SetBitsPixel(int bitsPixel) {
    if (bitsPixel == FBitsPixel)
        return;
    for (const Depth& depth : kDepths) {
        if (depth.BitsPixel == bitsPixel) {
            FBitsPixel = bitsPixel;
            Reset();
            return;
        }
    }
    throw FFmpegException(QStringLiteral("Invalid BitsPixel %1").arg(bitsPixel));
}

bool TFormatConverter::NeedsConversion(AVPixelFormat format, int lineSize, int height,
                                       int width) const {
    return format != FRGBFormat || (width & 1) != 0 || (height & 1) != 0 ||
           lineSize != FBitmap.bytesPerLine();
}

bool TFormatConverter::EnsureRGBBuffer(int height, int width) {
    const int size = av_image_get_buffer_size(FRGBFormat, width, height, 1);
    if (size <= 0)
        return false;
    if (!FRGBBuffer || FRGBBufferSize < size) {
        FRGBBuffer.reset(static_cast<uint8_t*>(av_malloc(static_cast<size_t>(size))));
        FRGBBufferSize = FRGBBuffer ? size : 0;
        if (!FRGBBuffer)
            return false;
    }
    return av_image_fill_arrays(FRGBData, FRGBLineSize, FRGBBuffer.get(), FRGBFormat, width, height,
                                1) >= 0;
}

bool TFormatConverter::ToRGB(const uint8_t* const data[], const int lineSize[],
                             AVPixelFormat format, bool copy, int height, int width) {
    FCurrentData = nullptr;
    FInfo = TBitmapInfo{};
    if (width <= 0 || height <= 0) {
        FLastErrMsg = QStringLiteral("Cannot initialize the toRGB conversion context");
        return false;
    }
    if (FBitmap.width() != width || FBitmap.height() != height ||
        FBitmap.format() != FImageFormat) {
        FBitmap = QImage(width, height, FImageFormat);
        if (FImageFormat == QImage::Format_Indexed8)
            FBitmap.setColorTable(Bgr8ColorTable());
    }

    if (!NeedsConversion(format, lineSize[0], height, width)) {
        FCurrentData = const_cast<uint8_t*>(data[0]);
        FCurrentLineSize = lineSize[0];
    } else {
        // swscale aborts on formats it cannot read, so they never reach it.
        if (!sws_isSupportedInput(format)) {
            FLastErrMsg = QStringLiteral("Cannot initialize the toRGB conversion context");
            return false;
        }
        FToRGBContext.reset(sws_getCachedContext(FToRGBContext.release(), width, height, format,
                                                 width, height, FRGBFormat, SWS_BICUBIC, nullptr,
                                                 nullptr, nullptr));
        if (!FToRGBContext || !EnsureRGBBuffer(height, width)) {
            FLastErrMsg = QStringLiteral("Cannot initialize the toRGB conversion context");
            return false;
        }
        sws_scale(FToRGBContext.get(), data, lineSize, 0, height, FRGBData, FRGBLineSize);
        FCurrentData = FRGBData[0];
        FCurrentLineSize = FRGBLineSize[0];
    }

    FInfo.Width = width;
    FInfo.Height = height;
    FInfo.WidthBytes = FCurrentLineSize;
    FInfo.BitsPixel = FBitsPixel == 15 ? 16 : FBitsPixel;
    FInfo.Bits = FCurrentData;
    if (copy)
        CopyToBitmap();
    return true;
}

bool TFormatConverter::ToRGB(const AVFrame* frame, bool copy) {
    return ToRGB(frame->data, frame->linesize, static_cast<AVPixelFormat>(frame->format), copy,
                 frame->height, frame->width);
}

void TFormatConverter::CopyToBitmap() {
    Q_ASSERT(HasCurrentPicture());
    if (!HasCurrentPicture())
        return;
    const size_t rowBytes = static_cast<size_t>(FBitmap.width()) * BytesPerPixel(FBitsPixel);
    for (int row = 0; row < FBitmap.height(); ++row)
        std::memcpy(FBitmap.scanLine(row), FCurrentData + row * ptrdiff_t(FCurrentLineSize),
                    rowBytes);
}

void TFormatConverter::CopyFromBitmap() {
    Q_ASSERT(HasCurrentPicture());
    if (!HasCurrentPicture())
        return;
    const size_t rowBytes = static_cast<size_t>(FBitmap.width()) * BytesPerPixel(FBitsPixel);
    for (int row = 0; row < FBitmap.height(); ++row)
        std::memcpy(FCurrentData + row * ptrdiff_t(FCurrentLineSize), FBitmap.constScanLine(row),
                    rowBytes);
}

bool TFormatConverter::FromRGB(uint8_t* const data[], const int lineSize[], AVPixelFormat format,
                               int height, int width) {
    Q_ASSERT(HasCurrentPicture());
    if (HasCurrentPicture() && width > 0 && height > 0 && sws_isSupportedOutput(format)) {
        FFromRGBContext.reset(sws_getCachedContext(FFromRGBContext.release(), width, height,
                                                   FRGBFormat, width, height, format, SWS_BICUBIC,
                                                   nullptr, nullptr, nullptr));
    }
    if (!HasCurrentPicture() || !FFromRGBContext || width <= 0 || height <= 0 ||
        !sws_isSupportedOutput(format)) {
        FLastErrMsg = QStringLiteral("Cannot initialize the fromRGB conversion context");
        return false;
    }
    const uint8_t* const source[4] = {FCurrentData, nullptr, nullptr, nullptr};
    const int sourceLineSize[4] = {FCurrentLineSize, 0, 0, 0};
    sws_scale(FFromRGBContext.get(), source, sourceLineSize, 0, height, data, lineSize);
    return true;
}

bool TFormatConverter::FromRGB(AVFrame* frame) {
    return FromRGB(frame->data, frame->linesize, static_cast<AVPixelFormat>(frame->format),
                   frame->height, frame->width);
}
