// The C++ side of bench_zorv.py: the work that script times through the
// Python module, done with ZorvClient on this program's thread, against the
// hub that the script started in this window session (router 1 of 1000
// destinations). Per item: one crosspoint command (now; nobody is
// registered, so no revertive comes back), directly and
// through ClientThread::call, and router
// revertives from polls of the whole router to one event handler.
#include <benchmark/benchmark.h>
#include <qxplatform.h>

#include "ClientThread.h"
#include "ZorvClient.h"

namespace {

using namespace ZorvClientLibrary;

constexpr uint router = 1;
constexpr uint destinations = 1000;

ZorvClient& client() {
    static ZorvClient* connected = [] {
        auto* c = new ZorvClient;  // lives for the program
        if (c->connect(IpcType::zel)) std::fprintf(stderr, "bench_python_reference: no hub\n");
        return c;
    }();
    return *connected;
}

void BM_Route(benchmark::State& state) {
    ZorvClient& c = client();
    int source = 0;
    for (auto _ : state) c.routerCrosspoint(router, 1, (source++ % 16) + 1, u",---", true);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Route);

// The same through ClientThread::call, as the module does: the hop to the
// client's thread and back, without Python.
void BM_RouteThroughClientThread(benchmark::State& state) {
    ClientThread thread([](ZorvClient& c) { c.connect(IpcType::zel); });
    int source = 0;
    for (auto _ : state) {
        thread.call([&](ZorvClient& c) { c.routerCrosspoint(router, 2, (source++ % 16) + 1, u",---", true); });
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RouteThroughClientThread);

void BM_RevertivesToHandler(benchmark::State& state) {
    ZorvClient& c = client();
    long seen = 0;
    auto count = [&seen](uint, uint, int) { ++seen; };
    c.RouterRevertiveEvent += count;
    c.revertiveRegister(router, 1, destinations);
    long wanted = 0;
    for (auto _ : state) {
        c.routerPoll(router, 1, destinations, true);
        wanted += destinations;
        if (!qxplatform::pumpUntil([&] { return seen >= wanted; }, 5000)) {
            // The hub drops what a client misses its deadline for (a loaded machine).
            state.SkipWithError("revertives missing");
            break;
        }
    }
    c.revertiveDeregister(router);
    c.RouterRevertiveEvent -= count;
    state.SetItemsProcessed(state.iterations() * destinations);
}
BENCHMARK(BM_RevertivesToHandler)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
