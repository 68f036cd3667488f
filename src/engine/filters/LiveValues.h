#pragma once

// Live values: integers a caller changes while a filter graph runs (a preview's brightness, say),
// which the engine's own filters read at every picture. The engine owns them and hands out
// small handles; a filter text names a handle, never a memory address, so no text can make a
// filter read or write memory the engine did not give out.
//
// Thread-safe: any thread may create, change, read and release a value. A graph that names a
// value keeps it alive until the graph ends, even if it is released meanwhile.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

using TLiveCell = std::atomic<int32_t>;

// A new value holding `initial`; its handle is > 0. 0 when the engine has no room for another.
int CreateLiveValue(int32_t initial = 0);
// Forgets the handle; graphs that already use the value keep reading it.
void ReleaseLiveValue(int handle);
// False for an unknown handle.
bool SetLiveValue(int handle, int32_t value);
std::optional<int32_t> LiveValue(int handle);
// The value itself, for a filter that reads it from now on; null for an unknown handle.
std::shared_ptr<TLiveCell> FindLiveValue(int64_t handle);

// A live value owned by one caller: created with it, released with it.
class TLiveValue {
public:
    explicit TLiveValue(int32_t initial = 0) : FHandle(CreateLiveValue(initial)) {}
    ~TLiveValue() { ReleaseLiveValue(FHandle); }
    TLiveValue(const TLiveValue&) = delete;
    TLiveValue& operator=(const TLiveValue&) = delete;

    int Handle() const { return FHandle; }
    void Set(int32_t value) const { SetLiveValue(FHandle, value); }
    int32_t Get() const { return LiveValue(FHandle).value_or(0); }

private:
    const int FHandle;
};
