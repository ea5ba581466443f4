// Both bootloader exchanges, byte by byte as the monitor drives them, and the flash they program,
// cross-checked against HEX files made and read back by real tools.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "SimTestRig.h"

using namespace simtest;
using zsim::SimFault;
using zsim::SimProcessor;

namespace {

const std::string kStart = ":0100000307F5";
const std::string kRestart = ":020000030300F8";

// A data record for `data` at `address`, with its checksum.
std::string Record(uint16_t address, const Bytes& data, uint8_t type = 0)
{
    Bytes raw{uint8_t(data.size()), uint8_t(address >> 8), uint8_t(address), type};
    raw.insert(raw.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (uint8_t b : raw)
        sum = uint8_t(sum + b);
    raw.push_back(uint8_t(-sum));
    std::string s = ":";
    char buf[3];
    for (uint8_t b : raw) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        s += buf;
    }
    return s;
}

// The MAIN exchange up to "ready for records": start request, "U" sync, start record.
void EnterMain(SimRig& rig)
{
    ASSERT_TRUE(rig.Client.SendFrame(10));
    auto started = rig.Client.NextFrame(10);
    ASSERT_TRUE(started);
    ASSERT_TRUE(rig.Sim.InMainBootloader());
    ASSERT_TRUE(rig.Client.SendText("U"));
    EXPECT_EQ(rig.Client.ReadUntil("U"), "U");
    ASSERT_TRUE(rig.Client.SendText(kStart));
    EXPECT_EQ(rig.Client.ReadUntil("\r\n"), kStart + ".\r\n");
}

// One record through the MAIN bootloader; its reply line without the line end.
std::string MainRecord(SimRig& rig, const std::string& rec, Ms bound = Ms(3000))
{
    rig.Client.SendText(rec);
    auto line = rig.Client.ReadUntil("\r\n", bound);
    return line ? line->substr(0, line->size() - 2) : "<no reply>";
}

// One record through the IRIG bootloader; the reply text up to its CR LF.
std::string IrigRecord(SimRig& rig, const std::string& rec, Ms bound = Ms(3000))
{
    rig.Client.SendFrameText(10, rec.substr(0, 100));
    auto f = rig.Client.NextFrame(10, bound);
    if (!f)
        return "<no reply>";
    std::string s(f->Payload.begin(), f->Payload.end());
    return s.substr(0, s.find("\r\n"));
}

void EnterIrig(SimRig& rig, char how = 'I')
{
    ASSERT_TRUE(rig.Client.SendFrameText(10, std::string(1, how)));
    auto sync = rig.Client.NextFrame(10);
    ASSERT_TRUE(sync);
    ASSERT_TRUE(rig.Sim.InIrigBootloader());
    EXPECT_EQ(IrigRecord(rig, kStart), kStart + ".");
}

struct TempDir {
    TempDir()
    {
        char tmpl[] = "/tmp/zarn-sim-test-XXXXXX";
        Path = mkdtemp(tmpl);
    }
    ~TempDir() { std::filesystem::remove_all(Path); }
    std::string Path;
};

bool Tool(const char* name)
{
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

std::vector<std::string> Lines(const std::string& path)
{
    std::ifstream f(path);
    std::vector<std::string> out;
    for (std::string l; std::getline(f, l);) {
        while (!l.empty() && (l.back() == '\r' || l.back() == '\n'))
            l.pop_back();
        if (!l.empty())
            out.push_back(l);
    }
    return out;
}

} // namespace

TEST(SimBoot, MainExchangeProgramsFlashAndRestarts)
{
    SimRig rig;
    ASSERT_TRUE(rig.Connect());
    EnterMain(rig);
    // While the bootloader has the line nothing else comes: the replies above were exact.
    EXPECT_EQ(MainRecord(rig, Record(0x0100, {1, 2, 3, 4})), Record(0x0100, {1, 2, 3, 4}) + ".");
    EXPECT_EQ(MainRecord(rig, Record(0xBFF0, {0xAA, 0xBB})), Record(0xBFF0, {0xAA, 0xBB}) + ".");
    std::string bad = Record(0x0200, {9, 9});
    bad.back() = bad.back() == '0' ? '1' : '0'; // checksum off by one
    EXPECT_EQ(MainRecord(rig, bad), bad);       // answered without the full stop
    EXPECT_EQ(MainRecord(rig, ":00000001FF"), ":00000001FF.");
    EXPECT_EQ(MainRecord(rig, kRestart), kRestart + ".");
    EXPECT_FALSE(rig.Sim.InMainBootloader());
    // Back to framed mode: status frames again.
    EXPECT_TRUE(rig.Client.NextFrame(0));

    Bytes flash = rig.Sim.Flash(SimProcessor::Main);
    ASSERT_EQ(flash.size(), 0x10000u);
    EXPECT_EQ(Bytes(flash.begin() + 0x100, flash.begin() + 0x104), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(flash[0xBFF0], 0xAA);
    EXPECT_EQ(flash[0xBFF1], 0xBB);
    EXPECT_EQ(flash[0x200], 0xFF); // the bad record was not written
    EXPECT_EQ(std::count(flash.begin(), flash.end(), 0xFF), 0x10000 - 6);
    EXPECT_EQ(rig.Sim.Flash(SimProcessor::Irig), Bytes(0x10000, 0xFF));
    auto records = rig.Sim.BootRecords();
    ASSERT_EQ(records.size(), 6u);
    EXPECT_EQ(records.front(), "MAIN " + kStart);
}

TEST(SimBoot, MainBootloaderEchoesUAndSkipsLineEnds)
{
    SimRig rig;
    ASSERT_TRUE(rig.Connect());
    rig.Client.SendFrame(10);
    auto started = rig.Client.NextFrame(10);
    ASSERT_TRUE(started);
    EXPECT_EQ(std::string(started->Payload.begin(), started->Payload.end()), "MAIN Bootloader Started\r\n");
    // "U" again and again, line ends and stray bytes between records are all harmless.
    rig.Client.SendText("U");
    EXPECT_EQ(rig.Client.ReadUntil("U"), "U");
    rig.Client.SendText("\r\nU");
    EXPECT_EQ(rig.Client.ReadUntil("U"), "U");
    rig.Client.SendText(kStart + "\r\n");
    EXPECT_EQ(rig.Client.ReadUntil("\r\n"), kStart + ".\r\n");
    // A record broken off by a non-hex character is answered as it stood, without the full stop.
    rig.Client.SendText(":0400");
    rig.Client.SendText(":00000001FF");
    EXPECT_EQ(rig.Client.ReadUntil("\r\n"), ":0400\r\n");
    EXPECT_EQ(rig.Client.ReadUntil("\r\n"), ":00000001FF.\r\n");
}

TEST(SimBoot, MainBootloaderOutlivesTheConnection)
{
    SimRig rig;
    ASSERT_TRUE(rig.Connect());
    EnterMain(rig);
    EXPECT_EQ(MainRecord(rig, Record(0x10, {7})), Record(0x10, {7}) + ".");
    rig.Client.Close();
    ASSERT_TRUE(rig.Sim.WaitFor([&] { return !rig.Sim.IsConnected(); }));
    // A monitor coming back finds the bootloader still running ("BL Recover"): no frames, only text.
    ASSERT_TRUE(rig.Connect());
    EXPECT_TRUE(rig.Client.QuietFor(Ms(150)));
    rig.Client.SendText("U");
    EXPECT_EQ(rig.Client.ReadUntil("U"), "U");
    EXPECT_EQ(MainRecord(rig, kRestart), kRestart + ".");
    EXPECT_TRUE(rig.Client.NextFrame(0));
    EXPECT_EQ(rig.Sim.Flash(SimProcessor::Main)[0x10], 7);
}

TEST(SimBoot, IrigExchangeInFramesWhileMonitoringGoesOn)
{
    SimRig rig(FastOptions(11));
    ASSERT_TRUE(rig.Connect());
    EnterIrig(rig);
    // Status keeps coming; the IRIG states read Unknown while its processor is in the bootloader.
    auto s = rig.Client.NextFrame(0);
    ASSERT_TRUE(s);
    s = rig.Client.NextFrame(0);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->Payload[1] & 0x3C, 0);
    EXPECT_EQ(IrigRecord(rig, Record(0x2000, {0x10, 0x20, 0x30})), Record(0x2000, {0x10, 0x20, 0x30}) + ".");
    // A record cut to 100 characters no longer adds up.
    std::string longRec = Record(0x3000, Bytes(55, 0x5A)); // 121 characters
    EXPECT_EQ(IrigRecord(rig, longRec), longRec.substr(0, 100));
    EXPECT_EQ(IrigRecord(rig, kRestart), kRestart + ".");
    EXPECT_FALSE(rig.Sim.InIrigBootloader());
    Bytes irig = rig.Sim.Flash(SimProcessor::Irig);
    EXPECT_EQ(Bytes(irig.begin() + 0x2000, irig.begin() + 0x2003), (Bytes{0x10, 0x20, 0x30}));
    EXPECT_EQ(irig[0x3000], 0xFF);
    EXPECT_EQ(rig.Sim.Flash(SimProcessor::Main), Bytes(0x10000, 0xFF));
}

TEST(SimBoot, IrigRecoverStartAndStrayRecords)
{
    SimRig rig;
    ASSERT_TRUE(rig.Connect());
    // Records while the IRIG bootloader is not running are not answered.
    rig.Client.SendFrameText(10, Record(0x0, {1}));
    rig.Client.SendFrame(14);
    for (auto f = rig.Client.NextFrame(); f && f->Type != 14; f = rig.Client.NextFrame())
        EXPECT_NE(f->Type, 10);
    EnterIrig(rig, 'B');
    EXPECT_EQ(IrigRecord(rig, Record(0x0, {1})), Record(0x0, {1}) + ".");
}

// HEX files made by real tools, programmed through both exchanges, give the flash the tool reads.
class SimBootTool : public ::testing::TestWithParam<SimProcessor> {};

TEST_P(SimBootTool, SrecCatFileProgramsTheSameFlash)
{
    if (!Tool("srec_cat"))
        GTEST_SKIP() << "srec_cat (srecord) is not installed";
    TempDir dir;
    std::mt19937 rng(7);
    Bytes data(3000);
    for (auto& b : data)
        b = uint8_t(rng());
    std::fill(data.begin() + 64, data.begin() + 96, 0xFF); // erased stretches are skipped by the monitor
    {
        std::ofstream f(dir.Path + "/in.bin", std::ios::binary);
        f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    }
    std::string d = dir.Path;
    ASSERT_EQ(
        std::system(("srec_cat " + d + "/in.bin -binary -offset 0x0400 -o " + d + "/fw.hex -intel").c_str()),
        0);
    ASSERT_EQ(std::system(("srec_cat " + d + "/fw.hex -intel -fill 0xFF 0x0000 0x10000 -o " + d +
                           "/expected.bin -binary")
                              .c_str()),
              0);
    Bytes expected = ReadFile(d + "/expected.bin");
    ASSERT_EQ(expected.size(), 0x10000u);

    SimRig rig;
    ASSERT_TRUE(rig.Connect());
    bool main = GetParam() == SimProcessor::Main;
    if (main)
        EnterMain(rig);
    else
        EnterIrig(rig);
    int sent = 0;
    for (const std::string& line : Lines(d + "/fw.hex")) {
        // The monitor leaves out records of nothing but erased flash; do the same.
        bool erased = line.size() > 11 && line.substr(7, 2) == "00" &&
                      line.find_first_not_of('F', 9) == line.size() - 2;
        if (erased)
            continue;
        std::string reply = main ? MainRecord(rig, line) : IrigRecord(rig, line);
        ASSERT_EQ(reply, line + ".");
        ++sent;
    }
    EXPECT_GT(sent, 90);
    EXPECT_EQ(main ? MainRecord(rig, kRestart) : IrigRecord(rig, kRestart), kRestart + ".");
    EXPECT_EQ(rig.Sim.Flash(GetParam()), expected);
}

TEST_P(SimBootTool, ObjcopyFileProgramsTheSameFlash)
{
    if (!Tool("objcopy"))
        GTEST_SKIP() << "objcopy (binutils) is not installed";
    TempDir dir;
    std::string d = dir.Path;
    Bytes data(1500);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 7 + 3);
    {
        std::ofstream f(d + "/in.bin", std::ios::binary);
        f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    }
    ASSERT_EQ(
        std::system(("objcopy -I binary -O ihex --change-addresses 0x1200 " + d + "/in.bin " + d + "/fw.hex")
                        .c_str()),
        0);
    // objcopy's own reading of the file, from its lowest address on.
    ASSERT_EQ(std::system(("objcopy -I ihex -O binary " + d + "/fw.hex " + d + "/back.bin").c_str()), 0);
    Bytes back = ReadFile(d + "/back.bin");
    ASSERT_EQ(back.size(), data.size());

    SimRig rig;
    ASSERT_TRUE(rig.Connect());
    bool main = GetParam() == SimProcessor::Main;
    if (main)
        EnterMain(rig);
    else
        EnterIrig(rig);
    for (const std::string& line : Lines(d + "/fw.hex"))
        ASSERT_EQ(main ? MainRecord(rig, line) : IrigRecord(rig, line), line + ".");
    EXPECT_EQ(main ? MainRecord(rig, kRestart) : IrigRecord(rig, kRestart), kRestart + ".");
    Bytes flash = rig.Sim.Flash(GetParam());
    EXPECT_EQ(Bytes(flash.begin() + 0x1200, flash.begin() + 0x1200 + long(back.size())), back);
    flash.erase(flash.begin() + 0x1200, flash.begin() + 0x1200 + long(back.size()));
    EXPECT_EQ(flash, Bytes(0x10000 - back.size(), 0xFF)); // nothing written elsewhere
}

INSTANTIATE_TEST_SUITE_P(Processors, SimBootTool, ::testing::Values(SimProcessor::Main, SimProcessor::Irig),
                         [](const auto& info) { return info.param == SimProcessor::Main ? "Main" : "Irig"; });
