#pragma once

// Picture format conversion between FFmpeg pictures and QImage bitmaps, and small helpers the
// whole engine shares.

#include "engine/FFmpegPtr.h"

#include <QImage>
#include <QString>

#include <cstdint>

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace engine {

// The kernel's id of the calling thread.
uint32_t CurrentThreadId();

// FFmpeg's text for an error code.
QString ErrorText(int errorCode);

} // namespace engine

// Microseconds as "hh:mm:ss.mmm" (hours not wrapped at 24); "N/A" when not set.
QString FormatTimeStamp(int64_t microseconds);

// Converts FFmpeg pictures of any pixel format into one packed RGB QImage and back. Works only
// when needed: a picture already in the bitmap's pixel format, with even dimensions and the
// bitmap's row length, is used in place. Buffers grow only; scaler contexts are cached. One
// thread at a time.
class TFormatConverter {
public:
    // Describes the current picture for callers that read or draw its pixels directly.
    struct TBitmapInfo {
        int Type = 0;
        int Width = 0;
        int Height = 0;
        int WidthBytes = 0; // bytes per row: the current picture's first line size
        int Planes = 1;
        int BitsPixel = 0;
        uint8_t* Bits = nullptr;
    };

    TFormatConverter();

    // Forgets the current picture and takes the layout of the current depth.
    void Reset();

    // 8, 15, 16, 24 or 32; anything else throws FFmpegException("Invalid BitsPixel %d").
    void SetBitsPixel(int bitsPixel);
    int BitsPixel() const { return FBitsPixel; }
    AVPixelFormat RGBPixelFormat() const { return FRGBFormat; }

    // Makes the picture the current picture in the bitmap's layout; with `copy` also copies it
    // into Bitmap(). False (with LastErrMsg) when no scaler context can be made.
    bool ToRGB(const uint8_t* const data[], const int lineSize[], AVPixelFormat format, bool copy,
               int height, int width);
    bool ToRGB(const AVFrame* frame, bool copy);

    // Row by row between the current picture and Bitmap(). Need a current picture.
    void CopyToBitmap();
    void CopyFromBitmap();

    // Converts the current picture into the caller's picture.
    bool FromRGB(uint8_t* const data[], const int lineSize[], AVPixelFormat format, int height,
                 int width);
    bool FromRGB(AVFrame* frame);

    bool HasCurrentPicture() const { return FCurrentData != nullptr; }
    // True when the current picture is the converter's own RGB buffer (a conversion was made).
    bool Converted() const { return HasCurrentPicture() && FCurrentData == FRGBData[0]; }
    const TBitmapInfo& BitmapInfo() const { return FInfo; }
    QImage& Bitmap() { return FBitmap; }
    const QString& LastErrMsg() const { return FLastErrMsg; }

private:
    bool NeedsConversion(AVPixelFormat format, int lineSize, int height, int width) const;
    bool EnsureRGBBuffer(int height, int width);

    int FBitsPixel = 24;
    QImage::Format FImageFormat = QImage::Format_BGR888;
    AVPixelFormat FRGBFormat = AV_PIX_FMT_BGR24;

    QImage FBitmap;
    ffmpeg::MemoryPtr<uint8_t> FRGBBuffer;
    int FRGBBufferSize = 0;
    uint8_t* FRGBData[4] = {};
    int FRGBLineSize[4] = {};

    uint8_t* FCurrentData = nullptr; // first plane of the current picture
    int FCurrentLineSize = 0;
    TBitmapInfo FInfo;

    ffmpeg::ScalerPtr FToRGBContext;
    ffmpeg::ScalerPtr FFromRGBContext;
    QString FLastErrMsg;
};
