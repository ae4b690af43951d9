/// @file
/// The messages a client object sent and received, as its `counters` and
/// `resetCounters` report them.
#pragma once

namespace zorvwm32 {

/// Messages sent (`tx`) and received (`rx`), and whether they changed since
/// they were last read.
struct TrafficCounters {
    unsigned tx = 0;  ///< Messages sent.
    unsigned rx = 0;  ///< Messages received.

    /// Copies both counts out; true when either changed since the last read
    /// (always true for the first read after a reset).
    bool read(unsigned& txOut, unsigned& rxOut) {
        txOut = tx;
        rxOut = rx;
        const bool changed = static_cast<int>(tx) != lastTx_ || static_cast<int>(rx) != lastRx_;
        lastTx_ = static_cast<int>(tx);
        lastRx_ = static_cast<int>(rx);
        return changed;
    }

    /// Both counts to 0, as never read.
    void reset() { *this = TrafficCounters{}; }

private:
    int lastTx_ = -1;
    int lastRx_ = -1;
};

}  // namespace zorvwm32
