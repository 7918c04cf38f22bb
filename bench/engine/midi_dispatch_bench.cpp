// Cost of handing one block's host MIDI to its frames: the incoming queue
// filled with n events spread over an n-frame block, in the host's order
// and reversed, dispatched to a sink that only counts. The time must grow
// linearly with n (4096 events in a 4096-frame block is 93 ms of audio at
// 44.1 kHz).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "host/midi_queues.h"

namespace {

void fill(IncomingMidiQueue& q, int n, bool reversed) {
    q.clear();
    for (int i = 0; i < n; ++i) {
        const uint8_t data[3] = {0x90, static_cast<uint8_t>(i & 127), 100};
        q.push(reversed ? n - 1 - i : i, data);
    }
}

void dispatchBlock(benchmark::State& state, bool reversed) {
    const int n = static_cast<int>(state.range(0));
    auto q = std::make_unique<IncomingMidiQueue>();
    long sum = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fill(*q, n, reversed);
        state.ResumeTiming();
        q->runBlock(n, [&](const IncomingMidiQueue::Entry& e, VstInt32 frame) { sum += frame + e.data[1]; });
    }
    benchmark::DoNotOptimize(sum);
    state.SetComplexityN(n);
}

void BM_DispatchInHostOrder(benchmark::State& state) { dispatchBlock(state, false); }
void BM_DispatchReversed(benchmark::State& state) { dispatchBlock(state, true); }

}  // namespace

BENCHMARK(BM_DispatchInHostOrder)->RangeMultiplier(4)->Range(64, 4096)->Complexity()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DispatchReversed)->RangeMultiplier(4)->Range(64, 4096)->Complexity()->Unit(benchmark::kMicrosecond);
