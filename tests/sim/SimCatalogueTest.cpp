// Every message of the catalogue, sent by a raw client over real TCP.
#include <set>

#include "SimTestRig.h"

using namespace simtest;
using zsim::SimFault;

namespace {

std::string Text(const Bytes& b)
{
    return std::string(b.begin(), b.end());
}

// Main states seen from now until `last` shows, consecutive repeats folded, leading
// frames still showing `before` left out.
std::vector<int> StatesUntil(RawClient& c, int before, int last, Ms bound = Ms(8000))
{
    std::vector<int> seen;
    auto end = std::chrono::steady_clock::now() + bound;
    while (std::chrono::steady_clock::now() < end) {
        auto f = c.NextFrame(0, Ms(500));
        if (!f)
            continue;
        int s = f->Payload[0];
        if (seen.empty() && s == before)
            continue;
        if (seen.empty() || seen.back() != s)
            seen.push_back(s);
        if (s == last)
            break;
    }
    return seen;
}

uint8_t StatusBits(const Frame& f)
{
    return f.Payload.size() == 111 ? f.Payload[2] : f.Payload[3];
}

} // namespace

TEST(SimCatalogue, IdentityTextFollowsGenerationOrOverride)
{
    static const char* const texts[] = {
        "",           "ZARN V1.00",         "ZARN V1.10", "ZARN V2.00",
        "ZARN V2.10", "ZARN V2.10 Desktop", "ZARN V2.11", "ZARN V2.11 Desktop",
        "ZARN V3.01", "ZARN V3.01 Desktop", "ZARN V3.04", "ZARN V3.04 Desktop"};
    SimRig rig;
    ASSERT_TRUE(rig.Connect());
    for (int g = 1; g <= 11; ++g) {
        rig.Sim.SetGeneration(g);
        ASSERT_TRUE(rig.Client.SendFrame(14));
        auto f = rig.Client.NextFrame(14);
        ASSERT_TRUE(f) << "generation " << g;
        // A C string: the text and its NUL.
        EXPECT_EQ(Text(f->Payload), std::string(texts[g]) + '\0') << "generation " << g;
        auto s = rig.Client.NextFrame(0);
        ASSERT_TRUE(s);
    }
    rig.Sim.SetIdentity("Unit V1.00 rev A");
    rig.Client.SendFrame(14);
    auto f = rig.Client.NextFrame(14);
    ASSERT_TRUE(f);
    EXPECT_EQ(Text(f->Payload), std::string("Unit V1.00 rev A") + '\0');
    EXPECT_EQ(rig.Sim.Generation(), 11); // the layouts stay the generation's
}

TEST(SimCatalogue, MainFunctionsWalkTheV3StateTable)
{
    SimRig rig(FastOptions(10));
    ASSERT_TRUE(rig.Connect());
    // After power-up the unit searches and locks by itself.
    auto locked = rig.StatusWithState(9);
    ASSERT_TRUE(locked);
    EXPECT_EQ(StatusBits(*locked), 0x77); // both pilots locked, pilot 1 active, supplies OK, AGC

    rig.Client.SendFrame(1);
    EXPECT_EQ(StatesUntil(rig.Client, 9, 1), (std::vector<int>{1}));
    rig.Client.SendFrame(2);
    EXPECT_EQ(StatesUntil(rig.Client, 1, 9), (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9}));
    rig.Client.SendFrame(4);
    EXPECT_EQ(StatesUntil(rig.Client, 9, 9), (std::vector<int>{11, 12, 6, 7, 8, 9}));
    auto swapped = rig.Client.NextFrame(0);
    ASSERT_TRUE(swapped);
    EXPECT_EQ(StatusBits(*swapped), 0xF5); // pilot 2 active now
    EXPECT_EQ(swapped->Payload[36], 3);    // demod 1: monitoring pilot 1
    EXPECT_EQ(swapped->Payload[78], 2);    // demod 2: active on pilot 2

    // Version 3 has no telemetry search: the command changes nothing.
    rig.Client.SendFrame(3);
    rig.Client.SendFrame(14);
    ASSERT_TRUE(rig.Client.NextFrame(14));
    EXPECT_EQ(rig.Sim.MainState(), 9);
    EXPECT_EQ(rig.Sim.CountFrames(3), 1);
}

TEST(SimCatalogue, MainFunctionsWalkTheEarlyStateTable)
{
    SimRig rig(FastOptions(4));
    ASSERT_TRUE(rig.Connect());
    ASSERT_TRUE(rig.StatusWithState(16));
    rig.Client.SendFrame(3);
    EXPECT_EQ(StatesUntil(rig.Client, 16, 9), (std::vector<int>{3, 4, 5, 6, 7, 8, 9}));
    rig.Client.SendFrame(2);
    EXPECT_EQ(StatesUntil(rig.Client, 9, 16), (std::vector<int>{10, 11, 12, 13, 14, 15, 16}));
    rig.Client.SendFrame(4);
    EXPECT_EQ(StatesUntil(rig.Client, 16, 16), (std::vector<int>{13, 14, 15, 16}));
    rig.Client.SendFrame(1);
    EXPECT_EQ(StatesUntil(rig.Client, 16, 1), (std::vector<int>{1}));
    auto idle = rig.Client.NextFrame(0);
    ASSERT_TRUE(idle);
    EXPECT_EQ(StatusBits(*idle), 0x24); // only the supplies
}

TEST(SimCatalogue, SetupRecordIsKeptInTheGenerationsLayout)
{
    struct Case {
        int Generation;
        size_t FloatAt6Or10;
        float Expected;
    };
    // Early layout: telemetry offset (kHz) at 6; V3 layout: SAW filter (MHz) at 10.
    for (Case c : {Case{4, 6, 450.0f}, Case{10, 10, 160.1f}}) {
        SCOPED_TRACE(c.Generation);
        SimRig rig(FastOptions(c.Generation));
        ASSERT_TRUE(rig.Connect());
        rig.Client.SendFrame(21);
        auto f = rig.Client.NextFrame(21);
        ASSERT_TRUE(f);
        ASSERT_EQ(f->Payload.size(), 42u);
        EXPECT_FLOAT_EQ(ReadF32(f->Payload, 2), 77.4474f);
        EXPECT_FLOAT_EQ(ReadF32(f->Payload, c.FloatAt6Or10), c.Expected);
        EXPECT_EQ(ReadI32(f->Payload, 20), 401850000);
        EXPECT_EQ(ReadI32(f->Payload, 28), 401700000);
        if (c.Generation >= 8) {
            EXPECT_EQ(ReadI32(f->Payload, 6), 401850000); // uplink reference
        }

        Bytes rec = f->Payload;
        rec[0] = 2; // LNA power on
        auto if75 = F32(75.125f);
        std::copy(if75.begin(), if75.end(), rec.begin() + 2);
        rec[19] = 0xF1; // -15 dB pre-amp in V3, max steps early
        rig.Client.SendFrame(22, rec);
        rig.Client.SendFrame(22, Bytes(41, 0xAA)); // wrong length: not taken
        rig.Client.SendFrame(21);
        auto back = rig.Client.NextFrame(21);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->Payload, rec);
        EXPECT_EQ(rig.Sim.SetupRecord(), rec);

        // The calibration record shows the set-up's IF frequency, and the status reports it.
        rig.Client.SendFrame(16);
        auto cal = rig.Client.NextFrame(16);
        ASSERT_TRUE(cal);
        EXPECT_FLOAT_EQ(ReadF32(cal->Payload, 0), 75.125f);
        auto s = rig.Client.NextFrame(0);
        ASSERT_TRUE(s);
        EXPECT_NEAR(ReadF32(s->Payload, s->Payload.size() == 111 ? 23 : 24), 75.125f, 0.01f);
    }
}

TEST(SimCatalogue, GenerationOneHasNoSetupAlarmsOrVcoCalibration)
{
    SimRig rig(FastOptions(1));
    ASSERT_TRUE(rig.Connect());
    for (uint8_t t : {19, 21, 23, 25})
        rig.Client.SendFrame(t);
    rig.Client.SendFrame(14); // answered after the others were handled
    std::set<int> types;
    for (auto f = rig.Client.NextFrame(); f && f->Type != 14; f = rig.Client.NextFrame())
        types.insert(f->Type);
    auto end = std::chrono::steady_clock::now() + Ms(300);
    while (std::chrono::steady_clock::now() < end)
        if (auto f = rig.Client.NextFrame(-1, Ms(100)))
            types.insert(f->Type);
    EXPECT_EQ(types, (std::set<int>{0})); // no alarm reports either
    EXPECT_EQ(rig.Sim.CountFrames(-1), 5);
}

TEST(SimCatalogue, CalibrationRecordStoreAndVcoCalibrations)
{
    SimRig rig(FastOptions(3));
    ASSERT_TRUE(rig.Connect());
    rig.Client.SendFrame(16);
    auto f = rig.Client.NextFrame(16);
    ASSERT_TRUE(f);
    ASSERT_EQ(f->Payload.size(), 64u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(f->Payload.data() + 10)), "ZR-20417");
    EXPECT_EQ(int16_t(f->Payload[30] | f->Payload[31] << 8), 4012);

    Bytes rec = f->Payload;
    std::fill(rec.begin() + 10, rec.begin() + 26, 0);
    std::memcpy(rec.data() + 10, "SN-000000000015", 15);
    auto e = F32(-1.25f);
    std::copy(e.begin(), e.end(), rec.begin() + 26);
    rig.Client.SendFrame(17, rec);
    auto stored = rig.Client.NextFrame(17);
    ASSERT_TRUE(stored);
    rig.Client.SendFrame(17, Bytes(63, 0)); // wrong length: neither stored nor answered
    rig.Client.SendFrame(16);
    auto back = rig.Client.NextFrame(); // the very next non-status frame must be the 16
    while (back && (back->Type == 0 || back->Type == 18))
        back = rig.Client.NextFrame();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Type, 16);
    EXPECT_EQ(back->Payload, rec);

    for (uint8_t get : {23, 25}) {
        SCOPED_TRACE(int(get));
        rig.Client.SendFrame(get);
        auto cal = rig.Client.NextFrame(get);
        ASSERT_TRUE(cal);
        ASSERT_EQ(cal->Payload.size(), 8u);
        EXPECT_FLOAT_EQ(ReadF32(cal->Payload, 0), 1.0f);
        Bytes set = F32(1.05f);
        auto off = F32(-0.02f);
        set.insert(set.end(), off.begin(), off.end());
        rig.Client.SendFrame(uint8_t(get + 1), set);
        rig.Client.SendFrame(get);
        auto again = rig.Client.NextFrame(get);
        ASSERT_TRUE(again);
        EXPECT_EQ(again->Payload, set);
    }
}

TEST(SimCatalogue, TestControlsShowInTheStatus)
{
    SimRig rig(FastOptions(11));
    ASSERT_TRUE(rig.Connect());
    ASSERT_TRUE(rig.StatusWithState(9));
    Bytes volts{4};
    auto v = F32(3.5f);
    volts.insert(volts.end(), v.begin(), v.end());
    rig.Client.SendFrame(7, volts);
    auto hold = rig.StatusWithState(10); // Test Hold State
    ASSERT_TRUE(hold);
    EXPECT_FLOAT_EQ(ReadF32(hold->Payload, 12), 3.5f);
    EXPECT_NEAR(ReadF32(hold->Payload, 20), -2511.0f, 1.0f); // the VCO table's entry for 3.5 V

    // The DAC calibration sits between the command and the voltage.
    Bytes dac = F32(1.1f);
    auto zero = F32(0.0f);
    dac.insert(dac.end(), zero.begin(), zero.end());
    rig.Client.SendFrame(24, dac);
    auto synth = F32(85.5f);
    rig.Client.SendFrame(5, synth);
    auto s = rig.StatusWhere([](const Bytes& p) { return ReadF32(p, 28) == 85.5f; });
    ASSERT_TRUE(s);
    EXPECT_NEAR(ReadF32(s->Payload, 12), 3.85f, 1e-4f);
    EXPECT_FLOAT_EQ(ReadF32(s->Payload, 28), 85.5f); // up-converter synthesizer

    for (Bytes p : {Bytes{0, 1}, Bytes{1, 2}, Bytes{3, 1}}) // PLL, feedback, frequency output
        rig.Client.SendFrame(7, p);
    auto gain = F32(2.5f);
    Bytes g{2};
    g.insert(g.end(), gain.begin(), gain.end());
    rig.Client.SendFrame(7, g);
    rig.Client.SendFrame(2);
    ASSERT_TRUE(rig.StatusWithState(9)); // a main function leaves the test hold
    auto frames = rig.Sim.Frames();
    std::vector<Bytes> sevens;
    for (auto& f : frames)
        if (f.Type == 7)
            sevens.push_back(f.Payload);
    ASSERT_EQ(sevens.size(), 5u);
    EXPECT_EQ(sevens[4], g);
}

TEST(SimCatalogue, AlarmsTriggerActivateAndAcknowledge)
{
    SimRig rig(FastOptions(8));
    ASSERT_TRUE(rig.Connect());
    rig.Client.SendFrame(19);
    auto setup = rig.Client.NextFrame(19);
    ASSERT_TRUE(setup);
    EXPECT_EQ(setup->Payload, (Bytes{1, 0x81, 5, 0, 0,  0,  0x81, 5,  3, 2,  0,  0x81, 5,
                                     5, 5,    0, 1, 50, 10, 40,   12, 1, 50, 10, 90,   6}));
    // IRIG made non-latching with no delay, Pilot 2 disabled.
    Bytes rec = setup->Payload;
    rec[21] = 1;
    rec[22] = 0;
    rec[11] = 0;
    rig.Client.SendFrame(20, rec);
    rig.Client.SendFrame(20, Bytes(25, 0)); // wrong length: not taken
    rig.Client.SendFrame(19);
    auto back = rig.Client.NextFrame(19);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Payload, rec);

    auto report = [&](auto pred) {
        auto end = std::chrono::steady_clock::now() + Ms(5000);
        while (std::chrono::steady_clock::now() < end)
            if (auto f = rig.Client.NextFrame(18, Ms(500)); f && f->Payload.size() == 5 && pred(f->Payload))
                return true;
        return false;
    };
    ASSERT_TRUE(report([](const Bytes& p) { return p == Bytes{2, 2, 0, 2, 2}; })); // armed, pilot 2 disabled

    rig.Sim.SetAlarmCondition(1, true);                            // pilot 1 lost
    EXPECT_TRUE(report([](const Bytes& p) { return p[1] == 3; })); // Triggered
    EXPECT_TRUE(report([](const Bytes& p) { return p[1] == 4; })); // then Active after its delay
    auto s = rig.Client.NextFrame(0);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->Payload[3] & 0x03, 0); // pilot 1 neither locked nor active
    rig.Client.SendFrame(18);           // acknowledge
    EXPECT_TRUE(report([](const Bytes& p) { return p[1] == 5; }));
    rig.Sim.SetAlarmCondition(1, false);
    EXPECT_TRUE(report([](const Bytes& p) { return p[1] == 2; })); // condition gone: armed again

    // A latched alarm stays Active after its condition goes, until acknowledged.
    rig.Sim.SetAlarmCondition(0, true);
    EXPECT_TRUE(report([](const Bytes& p) { return p[0] == 4; }));
    rig.Sim.SetAlarmCondition(0, false);
    EXPECT_TRUE(report([](const Bytes& p) { return p[0] == 4; }));
    // A non-latching one goes back to Armed by itself.
    rig.Sim.SetAlarmCondition(4, true);
    EXPECT_TRUE(report([](const Bytes& p) { return p[4] == 4; }));
    rig.Sim.SetAlarmCondition(4, false);
    EXPECT_TRUE(report([](const Bytes& p) { return p[4] == 2 && p[0] == 4; }));
}

TEST(SimCatalogue, ReceivedFramesAreRecordedAsSent)
{
    SimRig rig;
    ASSERT_TRUE(rig.Connect());
    Bytes stream = {0x55, 0x03, 0x0D}; // garbage first
    auto add = [&](const Bytes& b) { stream.insert(stream.end(), b.begin(), b.end()); };
    add(FrameBytes(99, {1, 2, 3}, 0x7E, 0x5A));      // unknown type, odd spare and check
    add({0x02, 0x00, 0x0E, 0x14, 0x00, 0x00, 0x03}); // wrong marker
    add(FrameBytes(20, Bytes(128, 0x11)));           // the longest payload
    Bytes tooLong{0x02, 0x00, 0x0D, 0x16, 0x81};     // length above 128
    add(tooLong);
    add({0x02, 0x00, 0x0D, 0x15, 0x00, 0x00, 0x04}); // wrong end byte
    add(FrameBytes(14));
    // One byte at a time, as a slow link would deliver it.
    for (uint8_t b : stream)
        ASSERT_TRUE(rig.Client.Send({b}));
    ASSERT_TRUE(rig.Client.NextFrame(14));
    auto frames = rig.Sim.Frames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].Type, 99);
    EXPECT_EQ(frames[0].Spare, 0x7E);
    EXPECT_EQ(frames[0].Check, 0x5A);
    EXPECT_EQ(frames[0].Payload, (Bytes{1, 2, 3}));
    EXPECT_EQ(frames[1].Type, 20);
    EXPECT_EQ(frames[1].Payload.size(), 128u);
    EXPECT_EQ(frames[2].Type, 14);
    rig.Sim.ClearFrames();
    EXPECT_EQ(rig.Sim.CountFrames(-1), 0);
}

TEST(SimCatalogue, InjectedBytesAndFramesReachTheClient)
{
    SimRig rig;
    ASSERT_TRUE(rig.Connect());
    rig.Sim.InjectRaw({0xAA, 0xBB});
    rig.Sim.InjectFrame(42, {9, 8, 7});
    auto f = rig.Client.NextFrame(42);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Payload, (Bytes{9, 8, 7}));
    const Bytes expected{0xAA, 0xBB, 0x02, 0x00, 0x0D, 0x2A, 0x03, 0x09, 0x08, 0x07, 0x00, 0x03};
    auto& all = rig.Client.Received;
    EXPECT_NE(std::search(all.begin(), all.end(), expected.begin(), expected.end()), all.end());
}
