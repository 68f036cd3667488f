#pragma once

// The queues between the player's threads: packets from the reader to each decoder (with the
// flush marker a seek puts in), decoded pictures waiting for their time, and the clocks that
// say what time it is for the sound and for the pictures.

#include "engine/FFmpegPtr.h"

#include <QImage>
#include <QRect>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <limits>
#include <mutex>

// Seconds on a monotonic wall clock.
double WallClock();

// Packets for one decoder. A flush marker (after a seek) tells the decoder to drop what it
// holds; an empty packet at the end of the input makes it give out its last pictures.
class TPacketQueue {
public:
    struct TEntry {
        ffmpeg::PacketPtr Packet; // null for a flush marker
        bool Flush = false;
        int Serial = 0; // of a flush marker: the seek it follows
    };

    // Empties the queue, clears the abort flag and puts a flush marker (serial 0) first.
    void Start();
    // Makes every waiting and future Get return −1.
    void Abort();
    // Takes its own reference to the packet's data.
    void Put(const AVPacket* packet);
    void PutFlush(int serial);
    void PutEmpty(int streamIndex);
    // 1 with an entry, 0 when empty and not blocking, −1 when aborted.
    int Get(TEntry& entry, bool block);
    void Clear();

    int Count() const;
    int64_t Bytes() const; // each packet counts its size plus 80

private:
    mutable std::mutex FLock;
    std::condition_variable FChanged;
    std::deque<TEntry> FEntries;
    int64_t FBytes = 0;
    bool FAborted = false;
};

// A decoded picture waiting for its time.
struct TPictureSlot {
    ffmpeg::FramePtr Frame; // the upright picture at its own size
    QImage Scaled;          // the same for the display, made for Area
    QRect Area;
    double Pts = 0.0;      // s
    double Duration = 0.0; // s
    int Serial = 0;        // of the seek it follows
};

// The pictures decoded ahead: at most `capacity`, oldest first.
class TPictureQueue {
public:
    explicit TPictureQueue(int capacity) : FCapacity(capacity) {}

    // Waits for a free slot (false when aborted), then adds the picture.
    bool Push(TPictureSlot slot);
    // The oldest picture, and the one after it; null when there is none. Valid until the
    // next Pop or Clear, which only the one reader (the play thread) calls.
    TPictureSlot* Front();
    TPictureSlot* Second();
    void Pop();
    void Clear();
    // A reference of the oldest picture of `serial` (any serial: −1), for any thread; null
    // when there is none.
    ffmpeg::FramePtr FirstFrame(int serial, double* pts) const;
    void Abort();
    void Reset(); // clears the abort flag
    int Count() const;
    bool Full() const;

private:
    const int FCapacity;
    mutable std::mutex FLock;
    std::condition_variable FChanged;
    std::deque<TPictureSlot> FSlots;
    bool FAborted = false;
};

// A clock that runs on from the time it was last set: the sound's, or the pictures'.
class TClock {
public:
    // Seconds; NaN until it is set.
    double Get() const;
    void Set(double pts, double wallTime);
    void SetPaused(bool paused);

private:
    mutable std::mutex FLock;
    double FPts = std::numeric_limits<double>::quiet_NaN();
    double FDrift = std::numeric_limits<double>::quiet_NaN(); // pts minus the wall clock then
    double FUpdated = 0.0;
    bool FPaused = false;
};
