#include "engine/player/FFPlayQueues.h"

extern "C" {
#include <libavutil/time.h>
}

double WallClock() {
    return av_gettime_relative() / 1e6;
}

// --- Packets --------------------------------------------------------------------------------

void TPacketQueue::Start() {
    {
        std::lock_guard lock(FLock);
        FEntries.clear();
        FBytes = 0;
        FAborted = false;
    }
    PutFlush(0);
}

void TPacketQueue::Abort() {
    {
        std::lock_guard lock(FLock);
        FAborted = true;
    }
    FChanged.notify_all();
}

void TPacketQueue::Put(const AVPacket* packet) {
    ffmpeg::PacketPtr copy = ffmpeg::MakePacket();
    if (!copy || av_packet_ref(copy.get(), packet) < 0)
        return; // out of memory: the packet is lost, as a damaged one would be
    {
        std::lock_guard lock(FLock);
        FBytes += copy->size + 80;
        FEntries.push_back({std::move(copy), false, 0});
    }
    FChanged.notify_all();
}

void TPacketQueue::PutFlush(int serial) {
    {
        std::lock_guard lock(FLock);
        FEntries.push_back({nullptr, true, serial});
    }
    FChanged.notify_all();
}

void TPacketQueue::PutEmpty(int streamIndex) {
    ffmpeg::PacketPtr empty = ffmpeg::MakePacket();
    if (!empty)
        return;
    empty->stream_index = streamIndex;
    {
        std::lock_guard lock(FLock);
        FBytes += 80;
        FEntries.push_back({std::move(empty), false, 0});
    }
    FChanged.notify_all();
}

int TPacketQueue::Get(TEntry& entry, bool block) {
    std::unique_lock lock(FLock);
    if (block)
        FChanged.wait(lock, [this] { return FAborted || !FEntries.empty(); });
    if (FAborted)
        return -1;
    if (FEntries.empty())
        return 0;
    entry = std::move(FEntries.front());
    FEntries.pop_front();
    if (entry.Packet)
        FBytes -= entry.Packet->size + 80;
    return 1;
}

void TPacketQueue::Clear() {
    std::lock_guard lock(FLock);
    FEntries.clear();
    FBytes = 0;
}

int TPacketQueue::Count() const {
    std::lock_guard lock(FLock);
    return static_cast<int>(FEntries.size());
}

int64_t TPacketQueue::Bytes() const {
    std::lock_guard lock(FLock);
    return FBytes;
}

// --- Pictures -------------------------------------------------------------------------------

bool TPictureQueue::Push(TPictureSlot slot) {
    std::unique_lock lock(FLock);
    FChanged.wait(lock, [this] { return FAborted || static_cast<int>(FSlots.size()) < FCapacity; });
    if (FAborted)
        return false;
    FSlots.push_back(std::move(slot));
    return true;
}

TPictureSlot* TPictureQueue::Front() {
    std::lock_guard lock(FLock);
    return FSlots.empty() ? nullptr : &FSlots.front();
}

TPictureSlot* TPictureQueue::Second() {
    std::lock_guard lock(FLock);
    return FSlots.size() < 2 ? nullptr : &FSlots[1];
}

void TPictureQueue::Pop() {
    {
        std::lock_guard lock(FLock);
        if (!FSlots.empty())
            FSlots.pop_front();
    }
    FChanged.notify_all();
}

void TPictureQueue::Clear() {
    {
        std::lock_guard lock(FLock);
        FSlots.clear();
    }
    FChanged.notify_all();
}

ffmpeg::FramePtr TPictureQueue::FirstFrame(int serial, double* pts) const {
    std::lock_guard lock(FLock);
    for (const TPictureSlot& slot : FSlots) {
        if ((serial >= 0 && slot.Serial != serial) || !slot.Frame)
            continue;
        ffmpeg::FramePtr copy = ffmpeg::MakeFrame();
        if (!copy || av_frame_ref(copy.get(), slot.Frame.get()) < 0)
            return nullptr;
        *pts = slot.Pts;
        return copy;
    }
    return nullptr;
}

void TPictureQueue::Abort() {
    {
        std::lock_guard lock(FLock);
        FAborted = true;
    }
    FChanged.notify_all();
}

void TPictureQueue::Reset() {
    std::lock_guard lock(FLock);
    FAborted = false;
}

int TPictureQueue::Count() const {
    std::lock_guard lock(FLock);
    return static_cast<int>(FSlots.size());
}

bool TPictureQueue::Full() const {
    std::lock_guard lock(FLock);
    return static_cast<int>(FSlots.size()) >= FCapacity;
}

// --- Clocks ---------------------------------------------------------------------------------

double TClock::Get() const {
    std::lock_guard lock(FLock);
    if (FPaused)
        return FPts;
    return FDrift + WallClock();
}

void TClock::Set(double pts, double wallTime) {
    std::lock_guard lock(FLock);
    FPts = pts;
    FUpdated = wallTime;
    FDrift = pts - wallTime;
}

void TClock::SetPaused(bool paused) {
    std::lock_guard lock(FLock);
    if (paused == FPaused)
        return;
    if (paused) {
        FPts = FDrift + WallClock();
    } else {
        FUpdated = WallClock();
        FDrift = FPts - FUpdated;
    }
    FPaused = paused;
}
