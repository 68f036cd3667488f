#pragma once

// The player's events on their way to the application: a ring of 10 entries that coalesces a
// new entry with the latest unread one of its kind (so positions and states never pile up),
// drained by an event thread of its own, which ends after delivering psStop.

#include "engine/player/FFPlay.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class TEventRing {
public:
    enum TKind { ekPosition = 1, ekState = 2, ekEnd = 3 };
    struct TEntry {
        TKind Kind = ekPosition;
        TPlayState State = psPlay;
        int64_t Time = 0;
    };
    using TDeliver = std::function<void(const TEntry&)>;

    // Starts the event thread, which hands every entry to `deliver` in order.
    explicit TEventRing(TDeliver deliver);
    // Ends the thread (entries not delivered yet are dropped) and joins it: the caller must
    // not be a thread `deliver` waits for.
    ~TEventRing();
    TEventRing(const TEventRing&) = delete;
    TEventRing& operator=(const TEventRing&) = delete;

    void Add(const TEntry& entry);
    // The thread has delivered its psStop (or its end) and left.
    bool Finished() const;
    static constexpr int kCapacity = 10;

private:
    void Run();

    TDeliver FDeliver;
    mutable std::mutex FLock;
    std::condition_variable FNotEmpty;
    std::deque<TEntry> FEntries;
    bool FTerminated = false;
    bool FFinished = false;
    std::thread FThread;
};
