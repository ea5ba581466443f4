// Per-frame cost of decoding a status frame and of the averaging step.
#include <benchmark/benchmark.h>

#include <cstring>

#include "ZarnAveraging.h"
#include "ZarnFrame.h"
#include "ZarnStatusRec.h"

namespace {

TZarnFrame StatusFrame(int second, int generation)
{
    TZarnStatusRec r;
    r.Demod1.PilotLevel = -40.5f;
    r.Demod1.AmpNoise = -70.25f;
    r.Demod1.ChanNoise = -80.0f;
    r.Demod1.PhaseNoise = 1.5f;
    r.Demod2 = r.Demod1;
    char time[21];
    std::snprintf(time, sizeof time, "24 075 12:34:%02d", second % 60);
    std::memcpy(r.Demod1.TimeText, time, std::strlen(time));
    TZarnFrame f;
    f.Length = static_cast<uint8_t>(StatusPayloadSize(generation));
    uint8_t bytes[120];
    r.ToBytes(bytes);
    std::memcpy(f.Payload, bytes, f.Length);
    return f;
}

void BM_DecodeStatus(benchmark::State& state)
{
    const int generation = static_cast<int>(state.range(0));
    const TZarnFrame f = StatusFrame(0, generation);
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodeStatus(f, generation));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeStatus)->Arg(3)->Arg(6)->Arg(8);

// Four frames per second, as a device sends them: every fourth frame closes an
// interval (one sample per ring and one snapshot), which the display step takes.
void BM_AveragingStep(benchmark::State& state)
{
    TZarnFrame frames[8];
    for (int i = 0; i < 8; ++i)
        frames[i] = StatusFrame(i / 4, 8);
    TZarnAveraging avg;
    int i = 0;
    for (auto _ : state) {
        if (avg.Average(frames[i++ & 7], 8).Deliver)
            benchmark::DoNotOptimize(avg.TakeNewestSnapshot());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AveragingStep);

} // namespace

BENCHMARK_MAIN();
