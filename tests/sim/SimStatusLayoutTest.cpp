// The status frame of every generation, byte for byte at its offsets, and its time text.
#include <cctype>
#include <ctime>

#include "SimTestRig.h"

using namespace simtest;

namespace {

struct Layout {
    int Generation;
    size_t Length;
    int GpsAt; // -1: the layout has no GPS byte
    size_t BitsAt, FloatsAt;
    int SynthAt; // -1: no synthesizer frequencies
    size_t Demod1At, Demod2At;
    int Locked;       // the main state of a locked unit in this generation's table
    uint8_t Irig;     // synthesizer and IRIG bits of a locked unit
    float WbLo, WbHi; // the wide-band level meter of the generation
};

const Layout kLayouts[] = {
    {1, 111, -1, 2, 3, -1, 27, 69, 16, 0x29, -100, -50}, {2, 111, -1, 2, 3, -1, 27, 69, 16, 0x29, -100, -50},
    {3, 111, -1, 2, 3, -1, 27, 69, 16, 0x29, -100, -50}, {4, 111, -1, 2, 3, -1, 27, 69, 16, 0x29, -100, -50},
    {5, 111, -1, 2, 3, -1, 27, 69, 16, 0x29, -100, -50}, {6, 112, 2, 3, 4, -1, 28, 70, 16, 0x2D, -100, -50},
    {7, 112, 2, 3, 4, -1, 28, 70, 16, 0x2D, -100, -50},  {8, 120, 2, 3, 4, 28, 36, 78, 9, 0x2F, -60, -20},
    {9, 120, 2, 3, 4, 28, 36, 78, 9, 0x2F, -60, -20},    {10, 120, 2, 3, 4, 28, 36, 78, 9, 0x2F, -60, -20},
    {11, 120, 2, 3, 4, 28, 36, 78, 9, 0x2F, -60, -20},
};

void PrintTo(const Layout& l, std::ostream* os)
{
    *os << "generation " << l.Generation;
}

std::string TimeAt(const Bytes& p, size_t demodAt)
{
    const char* t = reinterpret_cast<const char*>(p.data() + demodAt + 22);
    return std::string(t, strnlen(t, 20));
}

} // namespace

class SimStatusLayout : public ::testing::TestWithParam<Layout> {};

TEST_P(SimStatusLayout, LockedUnitAtTheLayoutsOffsets)
{
    const Layout& l = GetParam();
    SimRig rig(FastOptions(l.Generation));
    ASSERT_TRUE(rig.Connect());
    auto f = rig.StatusWhere([&](const Bytes& p) {
        return p[0] == l.Locked && (l.GpsAt < 0 || p[size_t(l.GpsAt)] == 1) && (p[1] & 0x30) == 0x20;
    });
    ASSERT_TRUE(f);
    for (int settle = 0; f && settle < 10; ++settle) // let the pilot AGC settle after the lock
        f = rig.Client.NextFrame(0);
    ASSERT_TRUE(f);
    const Bytes& p = f->Payload;
    ASSERT_EQ(p.size(), l.Length);
    ASSERT_EQ(p[0], l.Locked);
    EXPECT_EQ(p[1], l.Irig);
    EXPECT_EQ(p[l.BitsAt], 0x77);
    size_t fl = l.FloatsAt;
    EXPECT_GE(ReadF32(p, fl + 0), 20.0f); // wide-band gain
    EXPECT_LE(ReadF32(p, fl + 0), 35.0f);
    EXPECT_GE(ReadF32(p, fl + 4), l.WbLo); // wide-band level, inside the generation's meter
    EXPECT_LE(ReadF32(p, fl + 4), l.WbHi);
    EXPECT_NEAR(ReadF32(p, fl + 8), 2.25f, 0.25f);  // VCO voltage of a tracking loop
    EXPECT_EQ(ReadF32(p, fl + 12), 0.0f);           // reserved
    EXPECT_NEAR(ReadF32(p, fl + 16), 0.0f, 600.0f); // VCO frequency, Hz
    // The first generation keeps its IF frequency in the calibration record, later ones in the set-up.
    EXPECT_NEAR(ReadF32(p, fl + 20), l.Generation == 1 ? 77.45f : 77.4474f, 0.001f);
    if (l.SynthAt >= 0) {
        EXPECT_FLOAT_EQ(ReadF32(p, size_t(l.SynthAt)), 81.9f);
        EXPECT_NEAR(ReadF32(p, size_t(l.SynthAt) + 4), 160.1f - 77.4474f, 0.001f);
    }
    for (size_t at : {l.Demod1At, l.Demod2At}) {
        SCOPED_TRACE(at);
        EXPECT_EQ(p[at + 1], 0x13); // IRIG OK, synthesizer lock, carrier
        EXPECT_NEAR(ReadF32(p, at + 2), 47.0f, 1.5f);
        for (size_t noise : {6u, 10u}) {
            EXPECT_GT(ReadF32(p, at + noise), 10.0f);
            EXPECT_LT(ReadF32(p, at + noise), 30.0f);
        }
        EXPECT_GT(ReadF32(p, at + 14), 0.0f);
        EXPECT_LT(ReadF32(p, at + 14), 15.0f);
        EXPECT_LE(std::abs(ReadF32(p, at + 18)), 50.0f);
        EXPECT_EQ(TimeAt(p, at).size(), 15u);
        EXPECT_EQ(p[at + 22 + 15], 0);
    }
    EXPECT_EQ(p[l.Demod1At], 1); // active on pilot 1
    EXPECT_EQ(p[l.Demod2At], 4); // monitoring pilot 2
    EXPECT_EQ(l.Demod2At + 42, l.Length);
}

INSTANTIATE_TEST_SUITE_P(Generations, SimStatusLayout, ::testing::ValuesIn(kLayouts), [](const auto& info) {
    return "Generation" + std::to_string(info.param.Generation);
});

TEST(SimStatus, ReadingsStayInsideTheMonitorsMeters)
{
    // Meters as the monitor scales them; the plausible window is each widened by half its span.
    struct Meter {
        const char* Name;
        size_t At; // offset in the 120-byte layout
        float Lo, Hi;
    };
    const Meter meters[] = {
        {"VCO freq", 20, -5000, 5000},
        {"VCO volts", 12, 0, 5},
        {"WB gain", 4, 0, 42},
        {"WB level (V3)", 8, -60, -20},
        {"demod 1 pilot", 38, 44, 50},
        {"demod 1 amp noise", 42, 0, 40},
        {"demod 1 chan noise", 46, 0, 40},
        {"demod 1 phase noise", 50, 0, 15},
        {"demod 1 freq error", 54, -50, 50},
        {"demod 2 pilot", 80, 0, 57},
        {"demod 2 chan noise", 88, 0, 40},
    };
    SimRig rig(FastOptions(11));
    rig.Sim.SetFault(zsim::SimFault::Silent, 0);
    ASSERT_TRUE(rig.Connect());
    ASSERT_TRUE(rig.StatusWithState(9));
    std::vector<int> inside(std::size(meters)), plausible(std::size(meters));
    const int frames = 150;
    for (int n = 0; n < frames; ++n) {
        auto f = rig.Client.NextFrame(0);
        ASSERT_TRUE(f);
        for (size_t m = 0; m < std::size(meters); ++m) {
            float v = ReadF32(f->Payload, meters[m].At), span = meters[m].Hi - meters[m].Lo;
            inside[m] += v >= meters[m].Lo && v <= meters[m].Hi;
            plausible[m] += v >= meters[m].Lo - span / 2 && v <= meters[m].Hi + span / 2;
        }
    }
    for (size_t m = 0; m < std::size(meters); ++m) {
        EXPECT_EQ(plausible[m], frames) << meters[m].Name;
        EXPECT_GE(inside[m], frames * 95 / 100) << meters[m].Name;
    }
}

TEST(SimStatus, TimeTextIsUtcWithTheDayOfTheYear)
{
    SimRig rig(FastOptions(11));
    ASSERT_TRUE(rig.Connect());
    auto f = rig.StatusWhere([](const Bytes& p) { return p[2] == 1; }); // GPS time lock
    ASSERT_TRUE(f);
    std::string t = TimeAt(f->Payload, 36);
    const std::string shape = "99 999 99:99:99";
    ASSERT_EQ(t.size(), shape.size()) << t;
    for (size_t i = 0; i < t.size(); ++i)
        ASSERT_TRUE(shape[i] == '9' ? std::isdigit(uint8_t(t[i])) != 0 : t[i] == shape[i]) << t;
    EXPECT_EQ(TimeAt(f->Payload, 78), t);
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    int yy = std::stoi(t.substr(0, 2)), day = std::stoi(t.substr(3, 3));
    long secs =
        std::stoi(t.substr(7, 2)) * 3600 + std::stoi(t.substr(10, 2)) * 60 + std::stoi(t.substr(13, 2));
    long nowSecs = tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
    EXPECT_EQ(yy, tm.tm_year % 100);
    EXPECT_EQ(day, tm.tm_yday + 1);
    EXPECT_LE(std::abs(nowSecs - secs), 3) << t;
}

TEST(SimStatus, WithoutTimeLockTheDayReads000)
{
    auto o = FastOptions(11);
    o.NoTimeLock = true;
    SimRig rig(o);
    ASSERT_TRUE(rig.Connect());
    auto f = rig.StatusWhere([](const Bytes& p) { return p[0] == 9; });
    ASSERT_TRUE(f);
    std::string t = TimeAt(f->Payload, 36);
    ASSERT_EQ(t.size(), 15u);
    EXPECT_EQ(t.substr(3, 3), "000");
    EXPECT_EQ(f->Payload[2], 6);         // GPS: No Sats
    EXPECT_EQ(f->Payload[1] >> 2, 0x05); // IRIG in not present, IRIG out not active
    EXPECT_EQ(f->Payload[37] & 0x01, 0); // demod: IRIG not OK
}

TEST(SimStatus, NoTimeSendsEmptyTimeTexts)
{
    auto o = FastOptions(3);
    o.NoTime = true;
    SimRig rig(o);
    ASSERT_TRUE(rig.Connect());
    auto f = rig.StatusWithState(16);
    ASSERT_TRUE(f);
    EXPECT_EQ(Bytes(f->Payload.begin() + 27 + 22, f->Payload.begin() + 27 + 42), Bytes(20, 0));
    EXPECT_EQ(Bytes(f->Payload.begin() + 69 + 22, f->Payload.end()), Bytes(20, 0));
}

TEST(SimStatus, RateZeroSendsNoStatusButAnswers)
{
    auto o = FastOptions(11);
    o.StatusRate = 0;
    o.AlarmRate = 0;
    SimRig rig(o);
    ASSERT_TRUE(rig.Connect());
    EXPECT_TRUE(rig.Client.QuietFor(Ms(200)));
    rig.Client.SendFrame(14);
    EXPECT_TRUE(rig.Client.NextFrame(14));
}
