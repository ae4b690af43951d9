#include "Checker.h"
#include "Control.h"
#include "Roles.h"

#include <qxplatform.h>

#include <malloc.h>

#include <chrono>
#include <thread>
#include <memory>
#include <string>
#include <vector>

#include "orqWindowClass.h"
#include "qxClient.h"

namespace soak {

namespace {

struct Client {
    Client(const Plan& plan, int index) : checker(plan, index), native(&checker, "qxClient") {}
    Checker checker;
    qxClient native;
};

long heapInUseKiB() {
    return static_cast<long>(mallinfo2().uordblks / 1024);
}

std::string tallyLine(int process, const std::vector<std::unique_ptr<Client>>& clients) {
    Tally sum;
    for (const auto& client : clients) {
        const Tally tally = client->checker.tally();
        sum.received += tally.received;
        sum.missing += tally.missing;
        sum.extra += tally.extra;
        sum.disordered += tally.disordered;
    }
    return "done " + std::to_string(process) + " " + std::to_string(sum.received) + " " +
           std::to_string(sum.missing) + " " + std::to_string(sum.extra) + " " + std::to_string(sum.disordered);
}

}  // namespace

int runClientProcess(const Parameters& parameters, int process) {
    const Plan plan(parameters);
    const Memory start = memoryOf();
    const long heapStart = heapInUseKiB();
    const qx::ipcType transport = parameters.transport == "zel" ? qx::zel : qx::wm;
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < parameters.clientsPerProcess; ++i) {
        const int index = process * parameters.clientsPerProcess + i;
        clients.push_back(std::make_unique<Client>(plan, index));
        if (clients.back()->native.connect(transport, 0)) {  // true: no hub
            sendLine("failed " + std::to_string(process) + " no hub");
            return 1;
        }
        for (const Range& range : plan.ranges(index))
            clients.back()->native.revertiveRegister(range.device, range.first, range.last, false, qx::RP);
    }
    if (!sendLine("ready " + std::to_string(process))) return 1;

    const bool finished = qxplatform::pumpUntil(
        [&] {
            for (const auto& client : clients)
                if (!client->checker.finished()) return false;
            return true;
        },
        static_cast<DWORD>(parameters.timeoutSeconds) * 1000);
    Latency latency;
    for (const auto& client : clients) latency.merge(client->checker.latency());
    sendLine("latency " + std::to_string(process) + " " + latency.toText());
    sendLine(tallyLine(process, clients));
    const long peak = memoryOf().peakKiB;
    for (auto& client : clients) client->native.disconnect();
    clients.clear();
    const Memory end = memoryOf();
    sendLine("memory " + std::to_string(process) + " " + std::to_string(start.residentKiB) + " " +
             std::to_string(peak) + " " + std::to_string(end.residentKiB) + " " + std::to_string(heapStart) + " " +
             std::to_string(heapInUseKiB()));
    return finished ? 0 : 1;
}

namespace {

constexpr UINT kProbe = 49552;
constexpr WPARAM kProbeQuestion = 0x5555;

// A client that connects, registers for every index, then never pumps again.
int runDeafNeighbour(const Plan& plan, int timeoutSeconds) {
    Checker ignored(plan);
    qxClient client(&ignored, "qxClient");
    if (client.connect(qx::wm, 0)) return 1;
    client.revertiveRegister(kRouter, 1, plan.marker(), true, qx::RP);
    client.revertiveRegister(kInfodriver, 1, plan.destinations(), true, qx::IP);
    if (!sendLine("neighbour deaf")) return 1;
    std::this_thread::sleep_for(std::chrono::seconds(timeoutSeconds));  // until the driver kills it
    return 0;
}

// Posts probes to the hub for as long as it may run; a post that finds the
// hub's queue full is tried again.
int runFloodingNeighbour(int timeoutSeconds) {
    const HWND hub = FindWindowA(orqWindowClass, nullptr);
    if (hub == nullptr || !sendLine("neighbour flood")) return 1;
    const DWORD end = GetTickCount() + static_cast<DWORD>(timeoutSeconds) * 1000;
    while (static_cast<LONG>(end - GetTickCount()) > 0) {
        if (!PostMessageA(hub, kProbe, kProbeQuestion, 0)) std::this_thread::yield();
    }
    return 0;
}

}  // namespace

int runNeighbour(const Parameters& parameters, const std::string& kind) {
    return kind == "deaf" ? runDeafNeighbour(Plan(parameters), parameters.timeoutSeconds)
                          : runFloodingNeighbour(parameters.timeoutSeconds);
}

}  // namespace soak
