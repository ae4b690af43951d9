// Revertive latencies, counted in fixed buckets so that collecting them
// allocates nothing while the soak runs: 0.1 ms wide up to 100 ms, 10 ms wide
// up to 10 s, and one bucket for everything slower.
#pragma once

#include <array>
#include <string>

namespace soak {

class Latency {
public:
    // The steady clock in microseconds, alike in every process of the machine.
    static long long nowUs();

    void add(long long microseconds);
    void merge(const Latency& other);
    long count() const;
    // The latency that `fraction` of the samples do not exceed, in ms (the
    // upper edge of its bucket); 0 without samples.
    double percentileMs(double fraction) const;

    // "bucket:count ..." of the buckets that hold any, and back.
    std::string toText() const;
    void addText(const std::string& text);

private:
    static constexpr int kFine = 1000;   // 0.1 ms each, up to 100 ms
    static constexpr int kCoarse = 990;  // 10 ms each, from 100 ms up to 10 s
    static double upperEdgeMs(int bucket);

    std::array<long, kFine + kCoarse + 1> counts_{};
};

}  // namespace soak
