// Times the messaging workloads of bench_messaging with nothing but
// <windows.h> and the standard library, so that it runs on both backends.
//
// Usage: msgbench [seconds per workload, default 1]
//        msgbench --peer TITLE [SOCKET]   (the peer process of the cross-process workloads)
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <cstring>

#include "crossprocess_workloads.h"
#include "messaging_workloads.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Timing {
    std::uint64_t operations = 0;
    double seconds = 0;
    bool failed = false;
};

// Runs one operation after another for about the given time.
template <typename Operation>
Timing timeFor(double seconds, Operation&& operation) {
    Timing timing;
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        for (int n = 0; n < 100; ++n) {
            if (!operation()) timing.failed = true;
            ++timing.operations;
        }
    }
    timing.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return timing;
}

void printPerOperation(const char* name, const Timing& timing) {
    std::printf("%-24s %10.2f us/op   (%llu ops)%s\n", name, timing.seconds * 1e6 / double(timing.operations),
                static_cast<unsigned long long>(timing.operations), timing.failed ? "  FAILED" : "");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "--peer") == 0) return msgbench::runPeer(argv[2], argc > 3 ? std::atoi(argv[3]) : -1);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
    bool failed = false;
    {
        msgbench::SendRoundTrip workload;
        const Timing timing = timeFor(seconds, [&] { return workload.run(); });
        printPerOperation("send round trip", timing);
        failed |= timing.failed;
    }
    {
        msgbench::CopyDataExchange workload;
        const Timing timing = timeFor(seconds, [&] { return workload.run(); });
        printPerOperation("copydata exchange", timing);
        failed |= timing.failed;
    }
    {
        constexpr std::uint64_t kBurst = 1000;
        msgbench::PostBurst workload;
        const Timing timing = timeFor(seconds, [&] { return workload.run(kBurst); });
        std::printf("%-24s %10.0f msgs/s\n", "post throughput", double(timing.operations * kBurst) / timing.seconds);
        failed |= timing.failed;
    }
    {
        msgbench::CrossProcessSend workload;
        const Timing timing = timeFor(seconds, [&] { return workload.run(); });
        printPerOperation("cross-process send", timing);
        failed |= timing.failed;
    }
    {
        msgbench::CrossProcessCopyData workload;
        const Timing timing = timeFor(seconds, [&] { return workload.run(); });
        printPerOperation("cross-process copydata", timing);
        failed |= timing.failed;
    }
    {
        msgbench::CrossProcessCopyDataSend workload;
        const Timing timing = timeFor(seconds, [&] { return workload.run(); });
        printPerOperation("cross-process copy send", timing);
        failed |= timing.failed;
    }
    {
        constexpr std::uint64_t kBurst = 1000;
        msgbench::CrossProcessPosts workload;
        const Timing timing = timeFor(seconds, [&] { return workload.run(kBurst); });
        std::printf("%-24s %10.0f msgs/s\n", "cross-process posts", double(timing.operations * kBurst) / timing.seconds);
        failed |= timing.failed;
    }
    {
        msgbench::ConditionPingPong workload;
        const Timing timing = timeFor(seconds, [&] { return workload.run(); });
        printPerOperation("condvar ping-pong", timing);
    }
    return failed ? 1 : 0;
}
