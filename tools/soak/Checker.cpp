#include "Checker.h"

#include <cstdlib>

namespace soak {

Checker::Checker(const Plan& plan, int client)
    : rounds_(plan.rounds()),
      marker_(plan.marker()),
      router_(plan.destinations() + 1, -1),
      slots_(plan.destinations() + 1, -1) {
    for (const Range& range : client >= 0 ? plan.ranges(client) : std::vector<Range>{}) {
        if (range.first == marker_) continue;
        auto& next = range.device == kRouter ? router_ : slots_;
        for (int index = range.first; index <= range.last; ++index) next[index] = 0;
    }
}

long* Checker::nextRound(int device, int index) {
    auto& next = device == kRouter ? router_ : slots_;
    if ((device != kRouter && device != kInfodriver) || index < 1 || index >= static_cast<int>(next.size()) ||
        next[index] < 0)
        return nullptr;
    return &next[index];
}

void Checker::check(long* round, bool expected) {
    ++tally_.received;
    if (round == nullptr || *round >= rounds_) {
        ++tally_.extra;
        return;
    }
    if (!expected) ++tally_.disordered;
    ++*round;
}

void Checker::routerRevertive(int device, int index, int source) {
    if (device == kRouter && index == marker_) {
        if (source != Plan::source(tally_.markers, marker_)) ++tally_.disordered;
        ++tally_.markers;
        return;
    }
    long* round = nextRound(device, index);
    check(round, round != nullptr && source == Plan::source(*round, index));
}

void Checker::infoRevertive(int device, int index, const std::string& value) {
    const long long now = Latency::nowUs();
    long* round = device == kInfodriver ? nextRound(device, index) : nullptr;
    const std::size_t at = value.find('@');
    if (at != std::string::npos) latency_.add(now - std::strtoll(value.c_str() + at + 1, nullptr, 10));
    check(round, round != nullptr && at != std::string::npos && value.compare(0, at, std::to_string(*round)) == 0);
}

Tally Checker::tally() const {
    Tally total = tally_;
    for (const auto* next : {&router_, &slots_})
        for (const long round : *next)
            if (round >= 0) total.missing += rounds_ - round;
    total.missing += rounds_ - (tally_.markers < rounds_ ? tally_.markers : rounds_);
    return total;
}

}  // namespace soak
