#pragma once

// The files and streams of one transcoding job. All of it is owned by the job
// (TCustomFFmpeg) and touched only by the thread that runs the job, once it has started.

#include "engine/FFDisplay.h"
#include "engine/FFmpegPtr.h"
#include "engine/filters/NativeFilterGraph.h"
#include "engine/transcoder/FFmpegEncoderThread.h"
#include "engine/transcoder/FFmpegLibraryOptions.h"
#include "engine/transcoder/FFmpegPartFile.h"
#include "engine/transcoder/FFmpegSettings.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <memory>

struct TInputFile {
    ffmpeg::InputContextPtr Context;
    bool AtEnd = false;
    bool NoPacketNow = false; // the demuxer answered "try again"
    int FirstStream = 0;      // index of its first stream in the job's input streams
    int StreamCount = 0;
    int64_t TimestampOffset = 0;       // µs added to every packet time
    bool Seeked = false;               // opened at a start time: times before 0 are lead-in
    int64_t StartTime = 0;             // µs into the file where converting starts
    int64_t Duration = AV_NOPTS_VALUE; // µs, as the container states it
    QMap<int, double> TimestampScales; // stream index → scale
    // The library options given before this input: its decoders take them when opened.
    std::unique_ptr<TLibraryOptions> DecoderOptions;
};

struct TInputStream {
    int FileIndex = 0;
    AVStream* Stream = nullptr;
    bool Selected = false; // an output stream reads it
    bool DecodingNeeded = false;
    const AVCodec* Decoder = nullptr;       // chosen at open (forced or by codec)
    ffmpeg::CodecContextPtr DecoderContext; // opened by the run set-up
    int64_t NextPts = AV_NOPTS_VALUE;       // expected time of the next packet, µs
    int64_t Pts = 0;                        // current time, µs
    bool AtStart = true;
    bool PastRecordingTime = false;
    bool Flushed = false;
    int64_t WallStart = 0; // rate emulation, µs
    int64_t DecodedFrames = 0;
    bool MultipleFramesLogged = false;
    // How its pictures are meant to be seen, which encoding turns them into (not turned when
    // the input was opened with "noautorotate").
    TDisplayGeometry Shown;
};

// The video filter graph of one output stream: buffer source "src" → text → sink "out".
struct TVideoFilter {
    ffmpeg::FilterGraphPtr Graph;
    AVFilterContext* Source = nullptr;
    AVFilterContext* Sink = nullptr;
    // What the source was configured for; a picture that differs rebuilds the graph.
    int Width = 0;
    int Height = 0;
    int Format = AV_PIX_FMT_NONE;
    // The size the filter text works on, and the size the first graph gave the encoder.
    int DesignWidth = 0;
    int DesignHeight = 0;
    int SinkWidth = 0;
    int SinkHeight = 0;
    // The engine's own filters the text names, with their places in Graph; null when none.
    std::unique_ptr<TNativeFilterGraph> Natives;
};

struct TOutputStream {
    TStreamKind Kind = TStreamKind::Video;
    int FileIndex = 0;
    int Index = 0; // stream index in its output file
    AVStream* Stream = nullptr;
    int SourceIndex = -1;   // input stream it converts
    int SyncIndex = -1;     // input stream it keeps time with
    QList<int> JoinSources; // join mode: the source in each input file
    const AVCodec* Encoder = nullptr;
    ffmpeg::CodecContextPtr EncoderContext;
    bool EncodingNeeded = false;
    bool Copy = false;
    bool EncoderOpened = false;
    float FrameAspectRatio = 0.0f;
    QString FilterText;
    TVideoFilter Filter;
    QStringList BitstreamFilterSpecs;
    std::vector<ffmpeg::BsfPtr> BitstreamFilters;
    AVRational FrameRate{0, 0};     // asked for
    QList<int64_t> ForcedKeyFrames; // µs at creation, encoder ticks after set-up
    int NextForcedKeyFrame = 0;
    int ScalerFlags = 0;
    int64_t SyncCounter = 0; // frames (video) or samples (audio) written so far
    int64_t FrameCount = 0;
    int64_t OutputTime = 0;    // µs reached by the packets written
    float LastQuality = -1.0f; // of the last coded picture
    char LastPictureType = '?';
    // Video without filter graph: size and format last seen, and the scaler to the encoder's.
    int SeenWidth = 0;
    int SeenHeight = 0;
    int SeenFormat = AV_PIX_FMT_NONE;
    ffmpeg::ScalerPtr Scaler;
    ffmpeg::FramePtr ScaledFrame;
    // Audio: resampler to the encoder's rate, format and layout, and the samples waiting.
    ffmpeg::ResamplerPtr Resampler;
    ffmpeg::AudioFifoPtr Fifo;
    int SeenSampleRate = 0;
    int SeenSampleFormat = AV_SAMPLE_FMT_NONE;
    int SeenChannels = 0;
    ffmpeg::FilePtr PassLog; // two-pass statistics, pass 1
    QByteArray PassStats;    // pass 2 input, kept alive while the encoder runs
    // Video encoding beside the job's thread (an encoder without threads of its own). Last:
    // it ends before the encoder context goes.
    std::unique_ptr<TEncoderThread> EncoderThread;
};

struct TOutputFile {
    // The hidden temporary the muxer writes, published under the final name at a successful
    // end; destroyed unpublished (after the context below closed it), it is removed.
    std::unique_ptr<TPartFile> Part;
    ffmpeg::OutputContextPtr Context;
    QList<int> Streams; // indexes in the job's output streams
    bool HeaderWritten = false;
};
