#pragma once

// One output stream's encoder on a thread of its own, so that an encoder without threads of its
// own (the "flv" encoder, say) works while the job decodes and filters the next pictures. The
// job's thread hands it frames in order and takes the packets back in order; it counts and
// writes them itself, so the files, the totals and the reports stay the job thread's alone.
// At most kDepth frames wait; the encoder context stays the job's and must outlive this.

#include "engine/FFmpegPtr.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct AVCodecContext;

class TEncoderThread {
public:
    static constexpr size_t kDepth = 4;

    struct TEncoded {
        ffmpeg::PacketPtr Packet;
        std::string Statistics; // the encoder's two-pass text after this packet, if any
    };

    explicit TEncoderThread(AVCodecContext* encoder);
    ~TEncoderThread(); // ends after the frame being encoded, dropping the others
    TEncoderThread(const TEncoderThread&) = delete;
    TEncoderThread& operator=(const TEncoderThread&) = delete;

    // Queues a new reference to `frame` (null: the end of the stream), waiting while kDepth
    // frames wait. False once encoding has failed.
    bool Submit(const AVFrame* frame);
    // Waits until every queued frame is encoded. False once encoding has failed.
    bool Drain();
    // The packets encoded since the last call, oldest first.
    std::vector<TEncoded> Take();

private:
    void Run();
    void Encode(const AVFrame* frame, std::vector<TEncoded>& encoded, bool& failed);

    AVCodecContext* const FEncoder;
    std::mutex FLock; // guards everything below
    std::condition_variable FChanged;
    std::deque<ffmpeg::FramePtr> FFrames; // null: the end
    std::vector<TEncoded> FEncoded;
    bool FBusy = false;
    bool FFailed = false;
    bool FStop = false;
    std::thread FThread; // last: starts once the members above exist
};
