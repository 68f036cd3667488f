#include "engine/player/FFPlayEvents.h"

#include <chrono>

TEventRing::TEventRing(TDeliver deliver)
    : FDeliver(std::move(deliver)), FThread([this] { Run(); }) {}

TEventRing::~TEventRing() {
    {
        std::lock_guard lock(FLock);
        FTerminated = true;
    }
    FNotEmpty.notify_all();
    FThread.join();
}

void TEventRing::Add(const TEntry& entry) {
    {
        std::lock_guard lock(FLock);
        if (!FEntries.empty() && FEntries.back().Kind == entry.Kind) {
            FEntries.back() = entry; // the unread one of the same kind is out of date
        } else {
            if (static_cast<int>(FEntries.size()) >= kCapacity)
                FEntries.pop_front();
            FEntries.push_back(entry);
        }
    }
    FNotEmpty.notify_all();
}

bool TEventRing::Finished() const {
    std::lock_guard lock(FLock);
    return FFinished;
}

void TEventRing::Run() {
    for (;;) {
        TEntry entry;
        {
            std::unique_lock lock(FLock);
            // Waits in steps, as a delivery on the main thread may take its time.
            while (!FTerminated && FEntries.empty())
                FNotEmpty.wait_for(lock, std::chrono::milliseconds(100));
            if (FTerminated)
                break;
            entry = FEntries.front();
            FEntries.pop_front();
        }
        if (entry.Kind == ekEnd)
            break;
        FDeliver(entry);
        if (entry.Kind == ekState && entry.State == psStop)
            break;
    }
    std::lock_guard lock(FLock);
    FFinished = true;
}
