// Frames per second through the receive path: fill (with parse) and classify for
// bursts of 120-byte status frames, as the link's hidden window runs them.
#include <benchmark/benchmark.h>

#include <vector>

#include "ZarnRxPath.h"

namespace {

std::vector<uint8_t> StatusBurst(int frames)
{
    std::vector<uint8_t> bytes;
    for (int i = 0; i < frames; ++i) {
        TZarnFrame f;
        std::vector<uint8_t> payload(120);
        for (int k = 0; k < 120; ++k)
            payload[k] = static_cast<uint8_t>(i + k);
        ZarnBuildFrame(f, 0, payload.data(), 120);
        auto w = ZarnWireBytes(f);
        bytes.insert(bytes.end(), w.begin(), w.end());
    }
    return bytes;
}

// One block of `frames` status frames per iteration; fill and classify run until
// the burst is through, every status frame delivered.
void BM_FillParseClassify(benchmark::State& state)
{
    const int frames = static_cast<int>(state.range(0));
    const auto burst = StatusBurst(frames);
    TZarnRxPath rx;
    rx.SetAverageFn([](const TZarnFrame&) { return true; });
    for (auto _ : state) {
        rx.BlockQueue().Append(TZarnRxBlock(burst.data(), static_cast<int32_t>(burst.size())));
        while (rx.Fill() || !rx.ParsedQueue().IsEmpty())
            rx.Classify();
        rx.DeliveryQueue().Clear();
    }
    state.SetItemsProcessed(state.iterations() * frames);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(burst.size()));
}
BENCHMARK(BM_FillParseClassify)->Arg(1)->Arg(10)->Arg(30);

// Status frames cut into small blocks, as a slow socket hands them over.
void BM_FillSplitBlocks(benchmark::State& state)
{
    const auto burst = StatusBurst(10);
    const size_t cut = static_cast<size_t>(state.range(0));
    TZarnRxPath rx;
    for (auto _ : state) {
        for (size_t at = 0; at < burst.size(); at += cut) {
            const size_t n = std::min(cut, burst.size() - at);
            rx.BlockQueue().Append(TZarnRxBlock(burst.data() + at, static_cast<int32_t>(n)));
            if (rx.Fill())
                rx.Classify();
        }
        rx.DeliveryQueue().Clear();
    }
    state.SetItemsProcessed(state.iterations() * 10);
}
BENCHMARK(BM_FillSplitBlocks)->Arg(16)->Arg(127);

} // namespace

BENCHMARK_MAIN();
