// Cross-thread messaging: send round trip (to a thread waiting in each kind
// of loop), the WM_COPYDATA request/reply exchange, post throughput, and a
// condition-variable ping-pong as the floor; the same between processes.
// Times are wall-clock: the work is spread over two threads.
#include <benchmark/benchmark.h>

#include "crossprocess_workloads.h"
#include "messaging_workloads.h"

namespace {

using msgbench::Loop;

// To a thread waiting in each kind of loop: GetMessageA is the reference.
void BM_SendRoundTrip(benchmark::State& state, Loop loop) {
    msgbench::SendRoundTrip workload(loop);
    for (auto _ : state)
        if (!workload.run()) state.SkipWithError("wrong answer");
}
BENCHMARK_CAPTURE(BM_SendRoundTrip, GetMessage, Loop::getMessage)->UseRealTime();
BENCHMARK_CAPTURE(BM_SendRoundTrip, MsgWait, Loop::msgWait)->UseRealTime();
BENCHMARK_CAPTURE(BM_SendRoundTrip, MsgWaitInputAvailable, Loop::msgWaitInputAvailable)->UseRealTime();
BENCHMARK_CAPTURE(BM_SendRoundTrip, WaitMessage, Loop::waitMessage)->UseRealTime();
BENCHMARK_CAPTURE(BM_SendRoundTrip, InOwnSend, Loop::inOwnSend)->UseRealTime();

void BM_CopyDataExchange(benchmark::State& state) {
    msgbench::CopyDataExchange workload;
    for (auto _ : state)
        if (!workload.run()) state.SkipWithError("no reply");
}
BENCHMARK(BM_CopyDataExchange)->UseRealTime();

void BM_PostThroughput(benchmark::State& state) {
    const auto burst = static_cast<std::uint64_t>(state.range(0));
    msgbench::PostBurst workload;
    for (auto _ : state)
        if (!workload.run(burst)) state.SkipWithError("post failed");
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * burst));
}
BENCHMARK(BM_PostThroughput)->Arg(1000)->UseRealTime();

void BM_ConditionVariablePingPong(benchmark::State& state) {
    msgbench::ConditionPingPong workload;
    for (auto _ : state) workload.run();
}
BENCHMARK(BM_ConditionVariablePingPong)->UseRealTime();

// Between two processes: the peer is msgbench --peer, its thread waiting in
// each kind of loop.
void BM_CrossProcessSendRoundTrip(benchmark::State& state, Loop loop) {
    msgbench::CrossProcessSend workload(loop);
    for (auto _ : state)
        if (!workload.run()) state.SkipWithError("wrong answer");
}
BENCHMARK_CAPTURE(BM_CrossProcessSendRoundTrip, GetMessage, Loop::getMessage)->UseRealTime();
BENCHMARK_CAPTURE(BM_CrossProcessSendRoundTrip, MsgWait, Loop::msgWait)->UseRealTime();
BENCHMARK_CAPTURE(BM_CrossProcessSendRoundTrip, MsgWaitInputAvailable, Loop::msgWaitInputAvailable)->UseRealTime();
BENCHMARK_CAPTURE(BM_CrossProcessSendRoundTrip, WaitMessage, Loop::waitMessage)->UseRealTime();
BENCHMARK_CAPTURE(BM_CrossProcessSendRoundTrip, InOwnSend, Loop::inOwnSend)->UseRealTime();

void BM_CrossProcessCopyDataExchange(benchmark::State& state) {
    msgbench::CrossProcessCopyData workload;
    for (auto _ : state)
        if (!workload.run()) state.SkipWithError("no reply");
}
BENCHMARK(BM_CrossProcessCopyDataExchange)->UseRealTime();

void BM_CrossProcessCopyDataSend(benchmark::State& state) {
    msgbench::CrossProcessCopyDataSend workload;
    for (auto _ : state)
        if (!workload.run()) state.SkipWithError("wrong answer");
}
BENCHMARK(BM_CrossProcessCopyDataSend)->UseRealTime();

void BM_CrossProcessPostThroughput(benchmark::State& state) {
    const auto burst = static_cast<std::uint64_t>(state.range(0));
    msgbench::CrossProcessPosts workload;
    for (auto _ : state)
        if (!workload.run(burst)) state.SkipWithError("post failed");
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * burst));
}
BENCHMARK(BM_CrossProcessPostThroughput)->Arg(1000)->UseRealTime();

// The reference: a Unix-domain socket ping-pong with the same peer process,
// of (bytes, round trips): one round trip for a send, two for the exchange
// (the request, and the reply sent back during it).
void BM_UnixSocketPingPong(benchmark::State& state) {
    msgbench::SocketPingPong workload(static_cast<std::size_t>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state)
        if (!workload.run()) state.SkipWithError("socket failed");
}
BENCHMARK(BM_UnixSocketPingPong)->Args({8, 1})->Args({512, 1})->Args({512, 2})->UseRealTime();

}  // namespace
