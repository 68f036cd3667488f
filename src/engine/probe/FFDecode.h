#pragma once

// Opens a media file (or answers for a format context opened elsewhere) and tells what is in
// it: container facts and tags, stream counts, and per video or audio stream its codec, times
// and picture or sound parameters. One thread at a time.

#include "engine/FFBaseComponent.h"
#include "engine/FFUtils.h"
#include "engine/FFmpegPtr.h"

#include <QString>

#include <cstdint>
#include <functional>

struct AVFormatContext;
struct AVStream;

struct TFileStreamInfo {
    int64_t StartTime = -1; // µs
    int64_t Duration = -1;  // µs
    int32_t BitRate = -1;   // bit/s
    int64_t Timestamp = -1; // creation time in µs since 1970 when the file has one, else 0
    int32_t Year = -1;
    int32_t Track = -1;
    QString Title;
    QString Author;
    QString Copyright;
    QString Comment;
    QString Album;
    QString Genre;
};

struct TVideoStreamInfo {
    QString Language;
    QString CodecName;
    int64_t RawStartTime = -1; // stream time base; INT64_MIN when unknown
    int64_t StartTime = -1;    // µs
    int64_t RawDuration = -1;  // stream time base
    int64_t Duration = -1;     // µs
    int32_t BitRate = -1;
    int32_t Height = -1;
    int32_t Width = -1;
    float DisplayAspectRatio = -1.0f; // width × sample aspect ÷ height
    int32_t PixelFormat = -1;         // AVPixelFormat
    int32_t FrameRateNum = -1;
    int32_t FrameRateDen = -1;
    // As the picture is meant to be seen: the stream's display rotation (degrees clockwise:
    // 0, 90, 180, 270), the stored pixels' aspect (1:1 when unknown), and the upright,
    // square-pixel size, both even.
    int32_t Rotation = 0;
    int32_t SampleAspectNum = 1;
    int32_t SampleAspectDen = 1;
    int32_t DisplayWidth = -1;
    int32_t DisplayHeight = -1;
};

struct TAudioStreamInfo {
    QString Language;
    QString CodecName;
    int64_t RawStartTime = -1;
    int64_t StartTime = -1;
    int64_t RawDuration = -1;
    int64_t Duration = -1;
    int32_t BitRate = -1;
    int32_t Channels = -1;
    int32_t SampleRate = -1;
    int32_t SampleFormat = -1; // AVSampleFormat
};

using TBeforeFindStreamInfoEvent = std::function<void(QObject* Sender, AVFormatContext* Context)>;

class TCustomDecoder : public TFFBaseComponent {
    Q_OBJECT

public:
    explicit TCustomDecoder(QObject* parent = nullptr);
    ~TCustomDecoder() override;

    // Opens and probes a file, closing any open one first. False with LastErrMsg() when it
    // cannot be opened or analysed; the decoder is then closed. Throws FFmpegException when the
    // libraries are not loaded.
    bool LoadFile(const QString& fileName, const QString& formatName = QString());
    // Answers for a context opened elsewhere, without owning it.
    virtual void AttachFormatContext(AVFormatContext* context);
    virtual void CloseFile();

    QString FileName();
    AVFormatContext* FormatContext() const { return FContext; }

    int64_t FileSize() const { return FFileSize; }
    int StreamCount() const { return FStreamCount; }
    int ProgramCount() const { return FProgramCount; }
    int AudioStreamCount() const { return FAudioStreamCount; }
    int VideoStreamCount() const { return FVideoStreamCount; }
    int SubtitleStreamCount() const { return FSubtitleStreamCount; }
    int FirstAudioStreamIndex() const { return FFirstAudioStreamIndex; }
    int FirstVideoStreamIndex() const { return FFirstVideoStreamIndex; }
    int FirstSubtitleStreamIndex() const { return FFirstSubtitleStreamIndex; }

    // Each returns false (with the record at its defaults and LastErrMsg set) when there is no
    // file or the index does not name a stream of that kind. A negative index means the first
    // stream of the kind.
    bool GetFileStreamInfo(TFileStreamInfo& info);
    bool GetVideoStreamInfo(int index, TVideoStreamInfo& info);
    bool GetAudioStreamInfo(int index, TAudioStreamInfo& info);
    bool GetFirstVideoStreamInfo(TVideoStreamInfo& info) { return GetVideoStreamInfo(-1, info); }
    bool IsVideoStream(int index);
    bool IsAudioStream(int index);

    const QString& LastErrMsg() const { return FLastErrMsg; }
    const QString& ForcedFormat() const { return FForcedFormat; }

    bool TriggerEventInMainThread = true;
    TBeforeFindStreamInfoEvent OnBeforeFindStreamInfo;

protected:
    virtual void RefreshFileInfo();

private:
    void CheckLibraries() const;
    void Warn(const QString& text);
    void Fail(const QString& text);
    // The stream at `index` when it is of `kind` (a negative index: the first of the kind).
    bool StreamKindIs(int index, int kind);
    AVStream* StreamOfKind(int index, int kind, int firstIndex, const char* kindName,
                           const char* noneText);

    AVFormatContext* FContext = nullptr;   // the file's context: FOwnedContext, or attached
    ffmpeg::InputContextPtr FOwnedContext; // what LoadFile opened
    QString FLastErrMsg;
    QString FForcedFormat;

    int64_t FFileSize = -1;
    int FStreamCount = -1;
    int FProgramCount = -1;
    int FAudioStreamCount = -1;
    int FVideoStreamCount = -1;
    int FSubtitleStreamCount = -1;
    int FFirstAudioStreamIndex = -1;
    int FFirstVideoStreamIndex = -1;
    int FFirstSubtitleStreamIndex = -1;
};

// The decoder the engine creates; it carries a picture converter for its users.
class TFFDecoder : public TCustomDecoder {
    Q_OBJECT

public:
    explicit TFFDecoder(QObject* parent = nullptr);

    TFormatConverter& Converter() { return FConverter; }

private:
    TFormatConverter FConverter;
};

// The codec text of a stream: the registered decoder's (or encoder's) short name, with its
// long name in brackets; else "mpeg2ts", the stream's codec name, or its tag.
QString CodecText(const AVCodecParameters* parameters, bool encoderSide);
