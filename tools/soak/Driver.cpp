// The driver: a private facility and window session, the hub as a process,
// the client processes, then every round of commands through a client of its
// own, paced by the round markers so the hub never holds more than a round.
#include "Checker.h"
#include "Control.h"
#include "Latency.h"
#include "Roles.h"

#include <qxplatform.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "child_process.h"
#include "orqWindowClass.h"
#include "qxClient.h"

namespace soak {

namespace {

// What memory may differ by when it counts as back to its size: page and
// allocator granularity, far below what a revertive's worth per revertive
// would leave.
constexpr long kMemorySlackKiB = 1024;

// AddressSanitizer keeps freed memory in quarantine and has a heap of its
// own, and ThreadSanitizer a heap and shadow memory of its own: memory sizes
// then say nothing about leaks (AddressSanitizer finds those itself).
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define SOAK_SANITIZER
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || defined(SOAK_SANITIZER)
constexpr bool kMemoryChecked = false;
#else
constexpr bool kMemoryChecked = true;
#endif

void writeFacility(const std::filesystem::path& directory, const Plan& plan) {
    std::filesystem::create_directories(directory);
    std::ofstream(directory / "orq.ini") << "[Hub]\nHighestDevice=2\n";
    std::ofstream(directory / "dev_001.ini") << "[Device]\nType=router\nName=Soak router\nVersion=1\nSources="
                                             << kSources << "\nDestinations=" << plan.marker() << "\n";
    std::ofstream(directory / "dev_002.ini") << "[Device]\nType=infodriver\nName=Soak slots\nVersion=1\nSlots="
                                             << plan.destinations() << "\n";
}

// What the client processes reported, summed.
struct Reports {
    int ready = 0;
    int done = 0;
    int memory = 0;
    int neighbours = 0;
    Latency* latency = nullptr;  // of the phase that runs
    bool failed = false;
    long received = 0, missing = 0, extra = 0, disordered = 0;
    Memory start{}, peak{}, end{};  // the largest of the client processes
    long heapStart = 0, heapEnd = 0;  // KiB in use on the heap, the largest of the client processes
    long heapGrowth = 0;              // KiB, the most that a client process kept after its clients left

    void add(const std::string& line) {
        std::istringstream fields(line);
        std::string kind;
        int process = 0;
        fields >> kind >> process;
        if (kind == "ready") ++ready;
        if (kind == "neighbour") ++neighbours;
        if (kind == "latency" && latency != nullptr) {
            std::string buckets;
            std::getline(fields, buckets);
            latency->addText(buckets);
        }
        if (kind == "failed") failed = true;
        if (kind == "done") {
            long r = 0, m = 0, x = 0, d = 0;
            fields >> r >> m >> x >> d;
            received += r, missing += m, extra += x, disordered += d;
            ++done;
        }
        if (kind == "memory") {
            long s = 0, p = 0, e = 0, hs = 0, he = 0;
            fields >> s >> p >> e >> hs >> he;
            heapStart = std::max(heapStart, hs);
            heapEnd = std::max(heapEnd, he);
            heapGrowth = std::max(heapGrowth, he - hs);
            start.residentKiB = std::max(start.residentKiB, s);
            peak.peakKiB = std::max(peak.peakKiB, p);
            end.residentKiB = std::max(end.residentKiB, e);
            ++memory;
        }
    }
};

class Deadline {
public:
    explicit Deadline(int seconds) : end_(GetTickCount() + static_cast<DWORD>(seconds) * 1000) {}
    bool wait(const std::function<bool()>& done) const {
        const DWORD now = GetTickCount();
        return mp::pumpUntilTrue(done, now < end_ ? end_ - now : 0);
    }

private:
    DWORD end_;
};

// The commands of every round, sent by `count` threads, each with a client
// of its own and the indexes whose remainder by `count` is its number, as
// several control panels send at once. Each index's commands still come
// from one client, in round order.
class RoundSenders {
public:
    RoundSenders(const Plan& plan, int count, qx::ipcType transport)
        : plan_(plan), transport_(transport), driverThread_(GetCurrentThreadId()) {
        for (int share = 0; share < count; ++share) threads_.emplace_back([this, share, count] { run(share, count); });
    }
    ~RoundSenders() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        for (auto& thread : threads_) thread.join();
    }
    // Lets the threads send round `round`.
    void start(long round) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            round_ = round;
        }
        changed_.notify_all();
    }
    // Whether every thread has sent round `round` (false for good once one failed to connect).
    bool sent(long round) const { return finished_.load() == static_cast<long>(threads_.size()) * (round + 1); }
    bool failed() const { return failed_.load(); }

private:
    void run(int share, int count) {
        qxClient client(nullptr, "qxClient");
        if (client.connect(transport_, 0)) failed_ = true;
        for (long round = 0; round < plan_.rounds() && !failed_; ++round) {
            if (!awaitRound(round)) return;
            for (int index = 1 + share; index <= plan_.destinations(); index += count) {
                client.routerCrosspoint(kRouter, index, Plan::source(round, index), ",---", true, 0);
                client.infoWrite(kInfodriver, index, Plan::text(round, Latency::nowUs()), true, 0);
            }
            ++finished_;
            PostThreadMessageA(driverThread_, WM_NULL, 0, 0);  // the driver waits for this
        }
        client.disconnect();
    }
    // Waits for round `round`, answering the thread's messages meanwhile; false when stopping.
    bool awaitRound(long round) {
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(mutex_);
                if (changed_.wait_for(lock, std::chrono::milliseconds(10), [&] { return stopping_ || round_ >= round; }))
                    return !stopping_;
            }
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        }
    }

    const Plan& plan_;
    const qx::ipcType transport_;
    const DWORD driverThread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    long round_ = -1;
    bool stopping_ = false;
    std::atomic<long> finished_{0};
    std::atomic<bool> failed_{false};
    std::vector<std::thread> threads_;
};

// Sends every round, with the round marker last once every sender has sent
// its share; waits for the marker of the round before the one just sent, so
// that one round is in flight at most.
bool driveRounds(const Plan& plan, const Parameters& parameters, const Deadline& deadline) {
    Checker markers(plan);
    qxClient driver(&markers, "qxClient");
    if (driver.connect(qx::wm, 0)) return false;
    driver.revertiveRegister(kRouter, plan.marker(), plan.marker(), false, qx::RP);
    RoundSenders senders(plan, parameters.senders, parameters.transport == "zel" ? qx::zel : qx::wm);
    for (long round = 0; round < plan.rounds(); ++round) {
        senders.start(round);
        if (!deadline.wait([&] { return senders.sent(round) || senders.failed(); }) || senders.failed()) return false;
        driver.routerCrosspoint(kRouter, plan.marker(), Plan::source(round, plan.marker()), ",---", true, 0);
        if (!deadline.wait([&] { return markers.markers() >= round; })) return false;
    }
    const bool all = deadline.wait([&] { return markers.finished(); });
    driver.disconnect();
    return all;
}

std::string kib(long value) {
    return std::to_string(value / 1024) + "." + std::to_string(value % 1024 * 10 / 1024) + " MiB";
}

// The arguments of a process the driver starts: its role, then the run's parameters.
std::vector<std::string> childArguments(const Parameters& parameters, const std::string& role, const std::string& which) {
    std::vector<std::string> arguments{role, which};
    for (const auto& [option, value] :
         {std::pair{"--processes", std::to_string(parameters.processes)},
          {"--clients", std::to_string(parameters.clientsPerProcess)},
          {"--destinations", std::to_string(parameters.destinations)},
          {"--registrations", std::to_string(parameters.registrations)},
          {"--revertives", std::to_string(parameters.revertives)},
          {"--transport", parameters.transport},
          {"--timeout", std::to_string(parameters.timeoutSeconds)}}) {
        arguments.push_back(option);
        arguments.push_back(value);
    }
    return arguments;
}

std::string exitText(const std::optional<int>& code) {
    return code ? "ended with " + std::to_string(*code) : "did not end in time";
}

// The bad neighbours of a cycle, started before its clients and killed (as
// they are) when it ends.
bool startNeighbours(const Parameters& parameters, const std::string& program, Reports& reports,
                     const Deadline& deadline, std::vector<std::unique_ptr<mp::ChildProcess>>& neighbours) {
    const int before = reports.neighbours;
    for (const auto& [wanted, kind] : {std::pair{parameters.deaf, "deaf"}, {parameters.flood, "flood"}}) {
        if (wanted)
            neighbours.push_back(
                std::make_unique<mp::ChildProcess>(childArguments(parameters, "--neighbour", kind), program));
    }
    const int count = static_cast<int>(neighbours.size());
    return deadline.wait([&] { return reports.neighbours == before + count; });
}

// One cycle: the client processes start, connect and register, every round
// is driven, they report and leave.
bool runCycle(const Parameters& parameters, const std::string& program, Reports& reports, const Deadline& deadline,
              double& seconds, long& windowsDuring, bool withNeighbours) {
    std::vector<std::unique_ptr<mp::ChildProcess>> neighbours;
    if (withNeighbours && !startNeighbours(parameters, program, reports, deadline, neighbours)) return false;
    std::vector<std::unique_ptr<mp::ChildProcess>> children;
    for (int process = 0; process < parameters.processes; ++process)
        children.push_back(std::make_unique<mp::ChildProcess>(
            childArguments(parameters, "--child", std::to_string(process)), program));
    const int ready = reports.ready;
    const int done = reports.done;
    bool ok = deadline.wait([&] { return reports.failed || reports.ready == ready + parameters.processes; }) &&
              !reports.failed;
    if (!ok) std::printf("soak: the client processes did not all get ready\n");
    windowsDuring = std::max(windowsDuring, qxplatform::sessionWindowCount());

    const auto started = std::chrono::steady_clock::now();
    ok = ok && driveRounds(Plan(parameters), parameters, deadline);
    if (!deadline.wait([&] { return reports.done == done + parameters.processes; })) {
        std::printf("soak: the client processes did not all report\n");
        ok = false;
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    for (auto& child : children) {
        const std::optional<int> code = child->wait(mp::kPatience);
        if (code != std::optional<int>(0)) {
            std::printf("soak: a client process %s\n", exitText(code).c_str());
            ok = false;
        }
    }
    for (auto& neighbour : neighbours) neighbour->kill();
    return ok;
}

std::string latencyLine(const char* phase, const Latency& latency) {
    char line[160];
    std::snprintf(line, sizeof line, "soak: slot revertive latency %-24s p50 %6.1f ms  p99 %6.1f ms  (%ld revertives)",
                  phase, latency.percentileMs(0.5), latency.percentileMs(0.99), latency.count());
    return line;
}

}  // namespace

int runDriver(const Parameters& parameters, int cycles, const std::string& program) {
    const Plan plan(parameters);
    const Deadline deadline(parameters.timeoutSeconds);
    const auto facility = std::filesystem::temp_directory_path() / ("zorv-soak-" + std::to_string(GetCurrentProcessId()));
    writeFacility(facility, plan);

    mp::ChildProcess hub({"-q", "-c", facility.string()}, mp::siblingProgram("orq-hub"));
    HWND hubWindow = nullptr;
    if (!deadline.wait([&] { return (hubWindow = FindWindowA(orqWindowClass, nullptr)) != nullptr; })) {
        std::fprintf(stderr, "soak: the hub did not start\n");
        return 1;
    }
    const std::string hubPid = std::to_string(hub.id());
    Reports reports;
    ControlWindow control([&](const std::string& line) { reports.add(line); });
    const long windowsBefore = qxplatform::sessionWindowCount();
    long windowsDuring = windowsBefore;
    const Memory hubStart = memoryOf(hubPid);
    Memory hubAfterFirst{};
    double seconds = 0;
    bool ok = true;
    bool windowsBack = true;
    bool hubBack = true;
    // With bad neighbours the cycles run twice: without them, then beside them.
    const bool neighbours = parameters.deaf || parameters.flood;
    Latency latency[2];
    for (int phase = 0; phase < (neighbours ? 2 : 1) && ok; ++phase) {
        reports.latency = &latency[phase];
        Memory phaseFirst{};
        for (int cycle = 0; cycle < cycles && ok; ++cycle) {
            ok = runCycle(parameters, program, reports, deadline, seconds, windowsDuring, phase == 1);
            windowsBack = mp::pumpUntilTrue([&] { return qxplatform::sessionWindowCount() == windowsBefore; },
                                            mp::kPatience) && windowsBack;
            if (cycle == 0) phaseFirst = memoryOf(hubPid);
            if (phase == 0 && cycle == 0) hubAfterFirst = phaseFirst;
        }
        // Memory comes back: the hub's after the last cycle of a phase is
        // what it was after the phase's first (which paged in its code and
        // sized its heap, and beside bad neighbours what they keep queued).
        hubBack = !kMemoryChecked || cycles < 2 ||
                  (memoryOf(hubPid).residentKiB <= phaseFirst.residentKiB + kMemorySlackKiB && hubBack);
    }
    reports.latency = nullptr;
    cycles *= neighbours ? 2 : 1;
    const long windowsAfter = qxplatform::sessionWindowCount();
    const Memory hubEnd = memoryOf(hubPid);
    // A flooder's posts may still fill the hub's queue to its quota, which
    // refuses further posts until the hub has taken some: post until one goes.
    const bool closeQueued =
        mp::pumpUntilTrue([&] { return PostMessageA(hubWindow, WM_CLOSE, 0, 0) != FALSE; }, mp::kPatience);
    if (!closeQueued) std::printf("soak: the hub's queue refused the request to close\n");
    const std::optional<int> hubCode = hub.wait(mp::kPatience);
    const bool hubEnded = hubCode == std::optional<int>(0);
    if (!hubEnded) std::printf("soak: the hub, asked to close, %s\n", exitText(hubCode).c_str());
    ok = hubEnded && ok;
    std::error_code ignored;
    std::filesystem::remove_all(facility, ignored);

    const long delivered = plan.rounds() * plan.perRound() * cycles;
    std::printf("soak: %d cycles of %d processes x %d clients (%s), %d registrations (%d per client) over 2 x %d indexes\n",
                cycles, parameters.processes, parameters.clientsPerProcess, parameters.transport.c_str(),
                plan.perClient() * plan.clients(), plan.perClient(), plan.destinations());
    std::printf("soak: %ld rounds, %ld revertives in %.1f s: %.0f revertives/s (and %ld round markers)\n",
                plan.rounds() * cycles, delivered, seconds, static_cast<double>(delivered) / seconds,
                plan.rounds() * plan.clients() * cycles);
    std::printf("soak: received %ld, missing %ld, extra %ld, out of order %ld\n", reports.received, reports.missing,
                reports.extra, reports.disordered);
    std::printf("%s\n", latencyLine(neighbours ? "without bad neighbours:" : "", latency[0]).c_str());
    if (neighbours) {
        const std::string beside = std::string("beside ") + (parameters.deaf ? "a deaf client" : "") +
                                   (parameters.deaf && parameters.flood ? " and " : "") +
                                   (parameters.flood ? "a flooder" : "") + ":";
        std::printf("%s\n", latencyLine(beside.c_str(), latency[1]).c_str());
    }
    std::printf("soak: memory                     start  after cycle 1    peak        end\n");
    std::printf("soak:   hub RSS              %10s %10s %10s %10s\n", kib(hubStart.residentKiB).c_str(),
                kib(hubAfterFirst.residentKiB).c_str(), kib(hubEnd.peakKiB).c_str(), kib(hubEnd.residentKiB).c_str());
    std::printf("soak:   client process RSS   %10s %10s %10s %10s\n", kib(reports.start.residentKiB).c_str(), "",
                kib(reports.peak.peakKiB).c_str(), kib(reports.end.residentKiB).c_str());
    std::printf("soak:   client process heap  %7ld KiB %10s %10s %6ld KiB\n", reports.heapStart, "", "",
                reports.heapEnd);
    std::printf("soak: window table: %ld before, %ld with the clients, %ld after\n", windowsBefore, windowsDuring,
                windowsAfter);
    // A client process's heap after its clients left is what it was before they came.
    const bool clientsBack = !kMemoryChecked || reports.heapGrowth <= kMemorySlackKiB;
    if (!kMemoryChecked) std::printf("soak: memory not checked under a sanitizer\n");
    if (!hubBack) std::printf("soak: the hub's memory grew from cycle to cycle\n");
    if (!clientsBack) std::printf("soak: a client process kept memory after its clients left\n");
    if (!windowsBack) std::printf("soak: the window table did not come back to its size\n");
    if (reports.memory != parameters.processes * cycles) std::printf("soak: not every client process reported its memory\n");
    ok = ok && windowsBack && hubBack && clientsBack && reports.received == delivered && reports.missing == 0 &&
         reports.extra == 0 && reports.disordered == 0 && reports.memory == parameters.processes * cycles;
    std::printf("%s\n", ok ? "soak: passed" : "soak: FAILED");
    return ok ? 0 : 1;
}

}  // namespace soak
