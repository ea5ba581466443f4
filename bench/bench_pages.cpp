// One display step, offscreen: a status frame decoded into a snapshot and shown on the
// Operation page and both Demod panels. Two records alternate so every label, lamp and meter
// really changes; the second benchmark also lets Qt paint the three visible pages.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <cstring>

#include "KivZarnDmdFrame.h"
#include "KivZarnOpFrame.h"
#include "ZarnAveraging.h"
#include "ZarnFrame.h"
#include "ZarnStatusRec.h"

namespace {

constexpr int Generation = 9;

TZarnFrame StatusFrame(bool variant)
{
    TZarnStatusRec r;
    r.MainState = variant ? 9 : 4;
    r.SynthIrigBits = variant ? 0x3F : 0x14;
    r.GpsState = variant ? 0x85 : 0x01;
    r.StatusBits = variant ? 0x7B : 0xC4;
    r.WideBandGain = variant ? 21.04f : 19.5f;
    r.WideBandLevel = variant ? -45.3f : -52.1f;
    r.VcoVolts = variant ? 2.512f : 2.498f;
    r.VcoFreq = variant ? -123.4f : 88.0f;
    r.IfFreq = variant ? 77.4474f : 77.4475f;
    r.UpSynthFreq = variant ? 1234.5f : 1234.6f;
    r.DownSynthFreq = variant ? 987.25f : 987.5f;
    r.Demod1.State = variant ? 1 : 3;
    r.Demod1.Flags = 0x13;
    r.Demod1.PilotLevel = variant ? 47.2f : 46.8f;
    r.Demod1.ChanNoise = variant ? 12.5f : 13.1f;
    r.Demod1.FreqError = variant ? -12.3f : 8.4f;
    r.Demod2.State = variant ? 7 : 2;
    r.Demod2.Flags = variant ? 0x02 : 0x13;
    r.Demod2.ChanNoise = 14.1f;
    std::memcpy(r.Demod1.TimeText, "24 075 12:34:56", 15);
    TZarnFrame f;
    f.Length = static_cast<uint8_t>(StatusPayloadSize(Generation));
    r.ToBytes(f.Payload);
    return f;
}

TZarnLevelSample Sample(bool variant)
{
    TZarnLevelSample s;
    s.PilotLevelAvg = variant ? 47.23f : 46.9f;
    s.AmpNoiseAvg = variant ? 12.3f : 11.8f;
    s.ChanNoiseAvg = variant ? 18.44f : 17.9f;
    s.PhaseNoiseAvg = variant ? 3.5f : 16.0f;
    return s;
}

struct Pages {
    QWidget OpSheet;
    QWidget DemodSheet;
    TZarnOpFrame* Op;
    TZarnDmdFrame* Demod1;
    TZarnDmdFrame* Demod2;
    Pages()
    {
        OpSheet.resize(592, 372);
        DemodSheet.resize(592, 372);
        Op = new TZarnOpFrame(&OpSheet);
        Demod1 = new TZarnDmdFrame(&DemodSheet);
        Demod2 = new TZarnDmdFrame(&DemodSheet);
        Demod2->move(Demod2->x(), 188);
        Op->ApplyGeneration(Generation);
    }
    void Step(const TZarnFrame& frame, const TZarnLevelSample& s1, const TZarnLevelSample& s2)
    {
        TZarnStatusSnapshot snap;
        snap.Rec = DecodeStatus(frame, Generation);
        snap.Sample1 = s1;
        snap.Sample2 = s2;
        Op->ApplyStatus(snap.Rec);
        Demod1->Apply(snap.Rec.Demod1, snap.Sample1);
        Demod2->Apply(snap.Rec.Demod2, snap.Sample2);
    }
};

void BM_DisplayStep(benchmark::State& state)
{
    Pages pages;
    const TZarnFrame frames[2] = {StatusFrame(false), StatusFrame(true)};
    const TZarnLevelSample samples[2] = {Sample(false), Sample(true)};
    int i = 0;
    for (auto _ : state) {
        pages.Step(frames[i], samples[i], samples[1 - i]);
        i = 1 - i;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DisplayStep);

void BM_DisplayStepAndPaint(benchmark::State& state)
{
    Pages pages;
    pages.OpSheet.show();
    pages.DemodSheet.show();
    QApplication::processEvents();
    const TZarnFrame frames[2] = {StatusFrame(false), StatusFrame(true)};
    const TZarnLevelSample samples[2] = {Sample(false), Sample(true)};
    int i = 0;
    for (auto _ : state) {
        pages.Step(frames[i], samples[i], samples[1 - i]);
        QApplication::processEvents();
        i = 1 - i;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DisplayStepAndPaint)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
