// A set of indexes held as disjoint closed ranges.
#pragma once

#include <map>

namespace orq {

class RangeSet {
public:
    // Adds (or removes) every index from start to end; an empty range
    // (start > end) changes nothing.
    void add(int start, int end);
    void remove(int start, int end);
    void clear() { ranges_.clear(); }

    bool contains(int index) const;
    bool empty() const { return ranges_.empty(); }
    // Lowest and highest index held; 0 when empty.
    int lowest() const;
    int highest() const;

private:
    std::map<int, int> ranges_;  // start -> end, disjoint and not adjacent
};

}  // namespace orq
