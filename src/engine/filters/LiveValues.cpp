#include "engine/filters/LiveValues.h"

#include <map>
#include <mutex>

namespace {

// Handles are never given out twice in a run, so a stale handle cannot reach a newer value.
constexpr size_t kMaxLiveValues = 4096;

struct TLiveRegistry {
    std::mutex Lock; // guards both members
    std::map<int, std::shared_ptr<TLiveCell>> Values;
    int LastHandle = 0;
};

TLiveRegistry& Registry() {
    static TLiveRegistry registry;
    return registry;
}

} // namespace

int CreateLiveValue(int32_t initial) {
    TLiveRegistry& registry = Registry();
    std::lock_guard lock(registry.Lock);
    if (registry.Values.size() >= kMaxLiveValues || registry.LastHandle == INT32_MAX)
        return 0;
    const int handle = ++registry.LastHandle;
    registry.Values.emplace(handle, std::make_shared<TLiveCell>(initial));
    return handle;
}

void ReleaseLiveValue(int handle) {
    TLiveRegistry& registry = Registry();
    std::lock_guard lock(registry.Lock);
    registry.Values.erase(handle);
}

std::shared_ptr<TLiveCell> FindLiveValue(int64_t handle) {
    TLiveRegistry& registry = Registry();
    std::lock_guard lock(registry.Lock);
    const auto found = handle > 0 && handle <= INT32_MAX
                           ? registry.Values.find(static_cast<int>(handle))
                           : registry.Values.end();
    return found == registry.Values.end() ? nullptr : found->second;
}

bool SetLiveValue(int handle, int32_t value) {
    const std::shared_ptr<TLiveCell> cell = FindLiveValue(handle);
    if (!cell)
        return false;
    cell->store(value, std::memory_order_relaxed);
    return true;
}

std::optional<int32_t> LiveValue(int handle) {
    const std::shared_ptr<TLiveCell> cell = FindLiveValue(handle);
    if (!cell)
        return std::nullopt;
    return cell->load(std::memory_order_relaxed);
}
