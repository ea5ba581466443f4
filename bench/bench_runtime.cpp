// Benchmarks of the threaded-action runtime: notification latency from a worker to
// the user-interface thread, the cost of one Notify, the ring queue's push/pop rate
// and the hand-over of a work item to a worker.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "Clock.h"
#include "MqNotifiers.h"
#include "MqQueue.h"
#include "MqRuntime.h"
#include "MqThreads.h"

using namespace std::chrono_literals;

namespace {
using bench::Percentile;
using bench::PumpUntil;

void ReportDistribution(benchmark::State& state, const std::vector<double>& us)
{
    state.counters["median_us"] = Percentile(us, 0.5);
    state.counters["p99_us"] = Percentile(us, 0.99);
    state.counters["min_us"] = Percentile(us, 0.0);
    state.counters["max_us"] = Percentile(us, 1.0);
    state.counters["samples"] = static_cast<double>(us.size());
}

// Worker -> user-interface thread: time from Notify to OnNotify. The worker spaces its
// notifications so that each one meets the notifier thread's 10 ms sweep at a random phase.
void BM_NotifyLatencyWorkerToUi(benchmark::State& state)
{
    const int samples = static_cast<int>(state.range(0));
    const int64_t gapUs = state.range(1);
    for (auto _ : state) {
        TMqNotifier notifier;
        notifier.SetQueueDepth(500);
        std::vector<double> latencies;
        latencies.reserve(static_cast<size_t>(samples));
        notifier.OnNotify = [&](QObject*, const IMqNotifyParamsPtr& params) {
            TVarRecArray args;
            params->GetParams(0, args);
            latencies.push_back(static_cast<double>(plat::Clock::PerfCounter() - args[0].VInt64()) / 1000.0);
        };
        std::thread producer([&] {
            for (int i = 0; i < samples; ++i) {
                notifier.Notify(&notifier, "t", {TVarRec::Int64(plat::Clock::PerfCounter())}, qsWait);
                std::this_thread::sleep_for(std::chrono::microseconds(gapUs));
            }
        });
        PumpUntil([&] { return static_cast<int>(latencies.size()) == samples; });
        producer.join();
        ReportDistribution(state, latencies);
    }
}
BENCHMARK(BM_NotifyLatencyWorkerToUi)->Args({1000, 1700})->Iterations(1)->Unit(benchmark::kMillisecond);

// The producer's cost of one Notify (copy of the arguments, proxy, queue push), on a worker.
void BM_NotifyCost(benchmark::State& state)
{
    TMqNotifier notifier;
    notifier.SetQueueDepth(500);
    std::atomic<int> delivered{0};
    notifier.OnNotify = [&](QObject*, const IMqNotifyParamsPtr&) { ++delivered; };
    std::atomic<bool> done{false};
    std::vector<double> perCallNs;
    int64_t calls = 0;
    // The benchmark loop itself runs on a worker; this thread delivers meanwhile.
    std::thread worker([&] {
        const int batch = 200;
        for (int b = 0; b < 100; ++b) {
            const int64_t t0 = plat::Clock::PerfCounter();
            for (int i = 0; i < batch; ++i)
                notifier.Notify(&notifier, "cost", {i, QString("text")}, qsWait);
            perCallNs.push_back(static_cast<double>(plat::Clock::PerfCounter() - t0) / batch);
            calls += batch;
            while (notifier.QueueFor(CurrentHostThread())->Outstanding() > 0)
                std::this_thread::sleep_for(1ms);
        }
        done = true;
    });
    for (auto _ : state)
        PumpUntil([&] { return done.load(); });
    worker.join();
    state.counters["ns_per_notify_median"] = Percentile(perCallNs, 0.5);
    state.counters["ns_per_notify_p99"] = Percentile(perCallNs, 0.99);
    state.counters["notifies"] = static_cast<double>(calls);
}
BENCHMARK(BM_NotifyCost)->Iterations(1)->Unit(benchmark::kMillisecond);

// The same cost on one thread without delivery in between (the ring grows as needed).
void BM_NotifyCostNoDelivery(benchmark::State& state)
{
    TMqNotifier notifier;
    notifier.SetQueueDepth(500);
    TNotifierThread* nt = GetNotifierThread();
    nt->SetPaused(true);
    int i = 0;
    for (auto _ : state) {
        notifier.Notify(&notifier, "cost", {i++, QString("text")}, qsWait);
        if ((i & 255) == 0) {
            state.PauseTiming();
            nt->Sweep();
            PumpUntil([&] { return notifier.QueueFor(CurrentHostThread())->Outstanding() == 0; });
            state.ResumeTiming();
        }
    }
    nt->SetPaused(false);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NotifyCostNoDelivery);

struct TBenchRec {
    QObject* Sender = nullptr;
    std::shared_ptr<int> Ref;
    bool Flag = false;
};

// Steady traffic through the ring: push a burst, pop it again.
void BM_QueuePushPopOwned(benchmark::State& state)
{
    const int burst = static_cast<int>(state.range(0));
    TMqQueue<TBenchRec> q(10);
    auto ref = std::make_shared<int>(1);
    TBenchRec out;
    for (auto _ : state) {
        for (int i = 0; i < burst; ++i) {
            TBenchRec& slot = q.Push();
            slot.Ref = ref;
            slot.Flag = true;
        }
        for (int i = 0; i < burst; ++i)
            q.Pop(out);
    }
    benchmark::DoNotOptimize(out);
    state.SetItemsProcessed(state.iterations() * burst * 2); // pushes plus pops
}
BENCHMARK(BM_QueuePushPopOwned)->Arg(5)->Arg(50);

void BM_QueuePushPopPlain(benchmark::State& state)
{
    struct TPlain {
        int64_t A, B;
    };
    const int burst = static_cast<int>(state.range(0));
    TMqQueue<TPlain> q(10);
    TPlain out{};
    for (auto _ : state) {
        for (int i = 0; i < burst; ++i)
            q.Push(TPlain{i, i});
        for (int i = 0; i < burst; ++i)
            q.Pop(out);
    }
    benchmark::DoNotOptimize(out);
    state.SetItemsProcessed(state.iterations() * burst * 2);
}
BENCHMARK(BM_QueuePushPopPlain)->Arg(5)->Arg(50);

class TBenchGuest : public IMqThreadGuest {
public:
    bool Prolog() override { return true; }
    void Epilog() override {}
    void Execute(const IMqParamsPtr& Work) override
    {
        auto proxy = std::dynamic_pointer_cast<IMqExecuteProxy>(Work);
        proxy->GetOnExecute()(proxy->GetHost().get(), Work);
    }
};

// From Execute on the submitting thread to the start of OnExecute on an idle worker.
void BM_ExecuteHandOver(benchmark::State& state)
{
    TBenchGuest guest;
    auto worker = TMqHostThread::CreateWorker(&guest, "Bench");
    std::vector<double> us;
    std::atomic<int64_t> started{0};
    for (auto _ : state) {
        for (int i = 0; i < 300; ++i) {
            while (!worker->TryLock())
                std::this_thread::sleep_for(100us);
            started = 0;
            const int64_t t0 = plat::Clock::PerfCounter();
            worker->Execute(
                nullptr, {},
                [&](TMqHostThread*, const IMqParamsPtr&) { started = plat::Clock::PerfCounter(); }, {}, {});
            worker->Unlock();
            while (started.load() == 0)
                std::this_thread::yield();
            us.push_back(static_cast<double>(started.load() - t0) / 1000.0);
            std::this_thread::sleep_for(2ms); // let the worker go back to its poll
        }
    }
    worker->Stop();
    ReportDistribution(state, us);
}
BENCHMARK(BM_ExecuteHandOver)->Iterations(1)->Unit(benchmark::kMillisecond);

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
