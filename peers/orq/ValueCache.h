// The hub's value cache: the last revertive value of every device slot.
#pragma once

#include <map>
#include <string>
#include <utility>

namespace orq {

class ValueCache {
public:
    explicit ValueCache(bool on = true) : on_(on) {}

    // Switching the cache off empties it; while off it keeps nothing.
    void enable(bool on);
    bool enabled() const { return on_; }

    void store(int device, int index, const std::string& value);
    // Device 0 flushes every device.
    void flush(int device);

    const std::string* find(int device, int index) const;
    // Every index from start to end holds a value.
    bool covers(int device, int start, int end) const;
    // The lowest index from start to end whose value equals value exactly; 0
    // when there is none.
    int indexOf(int device, int start, int end, const std::string& value) const;

private:
    using Key = std::pair<int, int>;  // device, index
    bool on_;
    std::map<Key, std::string> values_;
};

}  // namespace orq
