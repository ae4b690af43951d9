#include "RangeSet.h"

#include <algorithm>
#include <climits>

namespace orq {

void RangeSet::add(int start, int end) {
    if (start > end) return;
    // Merge with every range that overlaps or touches [start, end].
    auto it = ranges_.upper_bound(start);
    if (it != ranges_.begin()) {
        auto before = std::prev(it);
        if (before->second >= start || (start > INT_MIN && before->second == start - 1)) it = before;
    }
    while (it != ranges_.end() && (it->first <= end || (end < INT_MAX && it->first == end + 1))) {
        start = std::min(start, it->first);
        end = std::max(end, it->second);
        it = ranges_.erase(it);
    }
    ranges_.emplace(start, end);
}

void RangeSet::remove(int start, int end) {
    if (start > end) return;
    auto it = ranges_.upper_bound(start);
    if (it != ranges_.begin() && std::prev(it)->second >= start) it = std::prev(it);
    while (it != ranges_.end() && it->first <= end) {
        const int first = it->first;
        const int last = it->second;
        it = ranges_.erase(it);
        if (first < start) ranges_.emplace(first, start - 1);
        if (last > end) ranges_.emplace(end + 1, last);
    }
}

bool RangeSet::contains(int index) const {
    auto it = ranges_.upper_bound(index);
    if (it == ranges_.begin()) return false;
    return std::prev(it)->second >= index;
}

int RangeSet::lowest() const { return ranges_.empty() ? 0 : ranges_.begin()->first; }

int RangeSet::highest() const { return ranges_.empty() ? 0 : ranges_.rbegin()->second; }

}  // namespace orq
