// Cost of the timer pool's work on its owner thread: one Tick over many entries and
// one period computation, the two things that run on every system tick or change.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include "KivTimer.h"

namespace {

class FrozenPool : public TTimerPool {
public:
    uint32_t Now = 1000000;

protected:
    uint32_t CurrentTick() const override { return Now; }
};

void BM_TickNoneDue(benchmark::State& state)
{
    FrozenPool pool;
    for (int i = 0; i < state.range(0); ++i)
        pool.Add(1000 + 10 * static_cast<uint32_t>(i), {}, true, true);
    for (auto _ : state)
        pool.Tick();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_TickNoneDue)->Arg(1)->Arg(16)->Arg(256);

void BM_TickAllDue(benchmark::State& state)
{
    FrozenPool pool;
    int fired = 0;
    for (int i = 0; i < state.range(0); ++i)
        pool.Add(100, [&](TTimerPool*, int32_t, uint32_t, int32_t) { ++fired; });
    for (auto _ : state) {
        pool.Now += 100;
        pool.Tick();
    }
    benchmark::DoNotOptimize(fired);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_TickAllDue)->Arg(1)->Arg(16)->Arg(256);

// Intervals with few common divisors make the reduction take many steps.
void BM_RecomputePeriod(benchmark::State& state)
{
    FrozenPool pool;
    for (int i = 0; i < state.range(0); ++i)
        pool.Add(997 + 13 * static_cast<uint32_t>(i), {}, true, true);
    for (auto _ : state) {
        pool.RecomputePeriod();
        benchmark::DoNotOptimize(pool.Period());
    }
}
BENCHMARK(BM_RecomputePeriod)->Arg(2)->Arg(16)->Arg(256);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv); // the pool's window timer needs an event dispatcher
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
