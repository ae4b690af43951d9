#include "ValueCache.h"

#include <climits>

namespace orq {

void ValueCache::enable(bool on) {
    on_ = on;
    if (!on) values_.clear();
}

void ValueCache::store(int device, int index, const std::string& value) {
    if (on_) values_[{device, index}] = value;
}

void ValueCache::flush(int device) {
    if (device == 0) {
        values_.clear();
        return;
    }
    values_.erase(values_.lower_bound({device, INT_MIN}), values_.upper_bound({device, INT_MAX}));
}

const std::string* ValueCache::find(int device, int index) const {
    auto it = values_.find({device, index});
    return it == values_.end() ? nullptr : &it->second;
}

bool ValueCache::covers(int device, int start, int end) const {
    if (start > end) return false;
    // The indexes are unique and ordered, so the range is covered exactly when
    // it holds as many entries as it has indexes.
    long long expected = static_cast<long long>(end) - start + 1;
    for (auto it = values_.lower_bound({device, start}); it != values_.end() && it->first <= Key{device, end}; ++it) {
        if (--expected == 0) return true;
    }
    return false;
}

int ValueCache::indexOf(int device, int start, int end, const std::string& value) const {
    for (auto it = values_.lower_bound({device, start}); it != values_.end() && it->first <= Key{device, end}; ++it) {
        if (it->second == value) return it->first.second;
    }
    return 0;
}

}  // namespace orq
