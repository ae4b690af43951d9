#include "Latency.h"

#include <chrono>
#include <sstream>

namespace soak {

long long Latency::nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Latency::add(long long microseconds) {
    const long long tenths = microseconds < 0 ? 0 : microseconds / 100;
    int bucket;
    if (tenths < kFine) {
        bucket = static_cast<int>(tenths);
    } else {
        const long long coarse = (tenths - kFine) / 100;
        bucket = coarse < kCoarse ? kFine + static_cast<int>(coarse) : kFine + kCoarse;
    }
    ++counts_[static_cast<std::size_t>(bucket)];
}

void Latency::merge(const Latency& other) {
    for (std::size_t i = 0; i < counts_.size(); ++i) counts_[i] += other.counts_[i];
}

long Latency::count() const {
    long total = 0;
    for (const long n : counts_) total += n;
    return total;
}

double Latency::upperEdgeMs(int bucket) {
    if (bucket < kFine) return (bucket + 1) * 0.1;
    return 100.0 + (bucket - kFine + 1) * 10.0;
}

double Latency::percentileMs(double fraction) const {
    const long total = count();
    if (total == 0) return 0;
    const double wanted = fraction * static_cast<double>(total);
    long seen = 0;
    for (std::size_t i = 0; i < counts_.size(); ++i) {
        seen += counts_[i];
        if (static_cast<double>(seen) >= wanted) return upperEdgeMs(static_cast<int>(i));
    }
    return upperEdgeMs(static_cast<int>(counts_.size()) - 1);
}

std::string Latency::toText() const {
    std::ostringstream text;
    for (std::size_t i = 0; i < counts_.size(); ++i)
        if (counts_[i] != 0) text << i << ':' << counts_[i] << ' ';
    return text.str();
}

void Latency::addText(const std::string& text) {
    std::istringstream fields(text);
    std::size_t bucket = 0;
    char colon = 0;
    long n = 0;
    while (fields >> bucket >> colon >> n)
        if (colon == ':' && bucket < counts_.size() && n > 0) counts_[bucket] += n;
}

}  // namespace soak
