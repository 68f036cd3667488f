#pragma once

// Owning pointers for FFmpeg objects: every object the engine allocates is held by one of
// these from the moment it is allocated, so that every return path (and every exception) frees
// it. Where a library call takes the object's address and may free it (avformat_open_input),
// the owner lets go just for that call.

#include <cstdio>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/buffer.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace ffmpeg {

struct FormatContextDeleter {
    void operator()(AVFormatContext* context) const { avformat_free_context(context); }
};
// A format context that was never opened (an option set, or one about to be opened).
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextDeleter>;

struct InputContextDeleter {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
// A demuxing context: closed with avformat_close_input.
using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextDeleter>;

struct OutputContextDeleter {
    void operator()(AVFormatContext* context) const {
        if (context->pb != nullptr && !(context->oformat->flags & AVFMT_NOFILE))
            avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
// A muxing context: its file (when it opened one) is closed, then the context freed.
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextDeleter>;

struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;

struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

struct ScalerDeleter {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};
using ScalerPtr = std::unique_ptr<SwsContext, ScalerDeleter>;

struct ResamplerDeleter {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerDeleter>;

struct FilterGraphDeleter {
    void operator()(AVFilterGraph* graph) const { avfilter_graph_free(&graph); }
};
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphDeleter>;

struct FilterInOutDeleter {
    void operator()(AVFilterInOut* inout) const { avfilter_inout_free(&inout); }
};
using FilterInOutPtr = std::unique_ptr<AVFilterInOut, FilterInOutDeleter>;

struct DictionaryDeleter {
    void operator()(AVDictionary* dictionary) const { av_dict_free(&dictionary); }
};
using DictionaryPtr = std::unique_ptr<AVDictionary, DictionaryDeleter>;

struct BsfDeleter {
    void operator()(AVBSFContext* context) const { av_bsf_free(&context); }
};
using BsfPtr = std::unique_ptr<AVBSFContext, BsfDeleter>;

struct AudioFifoDeleter {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;

struct ChapterDeleter {
    void operator()(AVChapter* chapter) const {
        av_dict_free(&chapter->metadata);
        av_free(chapter);
    }
};
// A chapter not yet handed to its format context.
using ChapterPtr = std::unique_ptr<AVChapter, ChapterDeleter>;

struct SamplePlanesDeleter {
    void operator()(uint8_t** planes) const {
        av_freep(&planes[0]);
        av_free(planes);
    }
};
// The plane pointers of av_samples_alloc_array_and_samples and the one buffer they point into.
using SamplePlanesPtr = std::unique_ptr<uint8_t*, SamplePlanesDeleter>;

// Room for `samples` samples of every channel; null when there is no memory.
inline SamplePlanesPtr AllocSamplePlanes(int channels, int samples, AVSampleFormat format) {
    uint8_t** planes = nullptr;
    if (av_samples_alloc_array_and_samples(&planes, nullptr, channels, samples, format, 0) < 0)
        return nullptr;
    return SamplePlanesPtr(planes);
}

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

struct BufferPoolDeleter {
    void operator()(AVBufferPool* pool) const { av_buffer_pool_uninit(&pool); }
};
// Its buffers outlive it: each is freed when its last reference goes.
using BufferPoolPtr = std::unique_ptr<AVBufferPool, BufferPoolDeleter>;

struct MemoryDeleter {
    void operator()(void* memory) const { av_free(memory); }
};
// Memory from av_malloc.
template <typename T> using MemoryPtr = std::unique_ptr<T, MemoryDeleter>;

inline FramePtr MakeFrame() {
    return FramePtr(av_frame_alloc());
}
inline PacketPtr MakePacket() {
    return PacketPtr(av_packet_alloc());
}

} // namespace ffmpeg
