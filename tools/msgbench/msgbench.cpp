// Times the messaging workloads of bench_messaging with nothing but
// <windows.h> and the standard library, so that it runs on both backends.
//
// Usage: msgbench [seconds per workload, default 1]
//        msgbench --peer TITLE [SOCKET [LOOP]]   (the peer process of the cross-process workloads;
//                                                 SOCKET -1: none; LOOP: how it waits, see kLoopNames)
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

// Times a workload whose run() is one operation; true if it failed.
template <typename Workload>
bool timePerOperation(const char* name, double seconds) {
    Workload workload;
    const Timing timing = timeFor(seconds, [&] { return workload.run(); });
    printPerOperation(name, timing);
    return timing.failed;
}

// Times a workload whose run(n) posts a burst of n messages; true if it failed.
template <typename Workload>
bool timeBursts(const char* name, double seconds) {
    constexpr std::uint64_t kBurst = 1000;
    Workload workload;
    const Timing timing = timeFor(seconds, [&] { return workload.run(kBurst); });
    std::printf("%-24s %10.0f msgs/s\n", name, double(timing.operations * kBurst) / timing.seconds);
    return timing.failed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "--peer") == 0)
        return msgbench::runPeer(argv[2], argc > 3 ? std::atoi(argv[3]) : -1,
                                 argc > 4 ? msgbench::loopNamed(argv[4]) : msgbench::Loop::getMessage);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
    bool failed = false;
    failed |= timePerOperation<msgbench::SendRoundTrip>("send round trip", seconds);
    failed |= timePerOperation<msgbench::CopyDataExchange>("copydata exchange", seconds);
    failed |= timeBursts<msgbench::PostBurst>("post throughput", seconds);
    failed |= timePerOperation<msgbench::CrossProcessSend>("cross-process send", seconds);
    failed |= timePerOperation<msgbench::CrossProcessCopyData>("cross-process copydata", seconds);
    failed |= timePerOperation<msgbench::CrossProcessCopyDataSend>("cross-process copy send", seconds);
    failed |= timeBursts<msgbench::CrossProcessPosts>("cross-process posts", seconds);
    {
        msgbench::ConditionPingPong workload;  // run() gives no answer to check
        printPerOperation("condvar ping-pong", timeFor(seconds, [&] { workload.run(); return true; }));
    }
    return failed ? 1 : 0;
}
