// The periodic worker's tick period at 100 ms and at 10 ms: the loop sleeps 25 ms
// between due tests, so a period is the interval rounded up to the loop's step.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <mutex>
#include <vector>

#include "BenchSupport.h"
#include "Clock.h"
#include "KivThd.h"
#include "MqRuntime.h"

namespace {
using bench::Percentile;
using bench::PumpUntil;

// The periodic worker's tick period: the loop sleeps 25 ms between due tests, so a
// period is the interval rounded up to the loop's step.
void BM_ThdTickPeriod(benchmark::State& state)
{
    const int interval = static_cast<int>(state.range(0));
    const int ticks = static_cast<int>(state.range(1));
    for (auto _ : state) {
        std::mutex lock;
        std::vector<int64_t> stamps;
        TThd thd;
        thd.SetInterval(interval);
        thd.SetOnTick([&](QObject*, const IMqParamsPtr&) {
            std::lock_guard guard(lock);
            stamps.push_back(plat::Clock::PerfCounter());
        });
        PumpUntil([&] {
            std::lock_guard guard(lock);
            return static_cast<int>(stamps.size()) > ticks;
        });
        thd.SetOnTick({});
        std::vector<double> periods;
        {
            std::lock_guard guard(lock);
            for (size_t i = 1; i < stamps.size(); ++i)
                periods.push_back(static_cast<double>(stamps[i] - stamps[i - 1]) / 1e6);
        }
        state.counters["median_ms"] = Percentile(periods, 0.5);
        state.counters["p10_ms"] = Percentile(periods, 0.1);
        state.counters["p90_ms"] = Percentile(periods, 0.9);
        state.counters["p99_ms"] = Percentile(periods, 0.99);
        state.counters["min_ms"] = Percentile(periods, 0.0);
        state.counters["max_ms"] = Percentile(periods, 1.0);
        state.counters["ticks"] = static_cast<double>(periods.size());
    }
}
BENCHMARK(BM_ThdTickPeriod)->Args({100, 300})->Args({10, 300})->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    MqRuntimeStart();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    MqRuntimeStop();
    return 0;
}
