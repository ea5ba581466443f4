// The zarn-sim program: its help, its refusals, its log, signals and the flash images it writes.
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>

#include "SimTestRig.h"

extern char** environ;

using namespace simtest;

namespace {

struct TempDir {
    TempDir()
    {
        char tmpl[] = "/tmp/zarn-sim-prog-XXXXXX";
        Path = mkdtemp(tmpl);
    }
    ~TempDir() { std::filesystem::remove_all(Path); }
    std::string Path;
};

std::string Slurp(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// Starts zarn-sim with stdout and stderr going to files; with ignoreInt, SIGINT is ignored as it
// is in a background job of a shell script.
pid_t Spawn(const std::vector<std::string>& args, const std::string& out, const std::string& err,
            bool ignoreInt = false)
{
    std::vector<std::string> all{ZARN_SIM_EXE};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    struct sigaction ign {
    }, old{};
    ign.sa_handler = SIG_IGN;
    if (ignoreInt)
        sigaction(SIGINT, &ign, &old);
    if (posix_spawn(&pid, ZARN_SIM_EXE, &fa, nullptr, argv.data(), environ) != 0)
        pid = -1;
    if (ignoreInt)
        sigaction(SIGINT, &old, nullptr);
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

// Waits for the process to end, with a bound; its exit code, or -1.
int Reap(pid_t pid, Ms bound = Ms(10000))
{
    auto end = std::chrono::steady_clock::now() + bound;
    int status = 0;
    while (std::chrono::steady_clock::now() < end) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        poll(nullptr, 0, 10);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

int RunSim(const std::vector<std::string>& args, std::string& out, std::string& err)
{
    TempDir d;
    pid_t pid = Spawn(args, d.Path + "/out", d.Path + "/err");
    if (pid < 0)
        return -1;
    int code = Reap(pid);
    out = Slurp(d.Path + "/out");
    err = Slurp(d.Path + "/err");
    return code;
}

} // namespace

TEST(SimProgram, HelpDocumentsEveryOption)
{
    std::string out, err;
    ASSERT_EQ(RunSim({"--help"}, out, err), 0);
    std::vector<std::string> options{"--address",        "--port",       "--generation", "--ident",
                                     "--rate",           "--alarm-rate", "--no-time",    "--no-time-lock",
                                     "--no-auto-alarms", "--seed",       "--flash-out",  "--help"};
    for (int k = 0; k < zsim::kFaultCount; ++k)
        options.push_back(std::string("--") + zsim::FaultName(zsim::SimFault(k)));
    for (const auto& o : options)
        EXPECT_NE(out.find("  " + o + " "), std::string::npos) << o;
}

TEST(SimProgram, RefusesNonLoopbackAddressesAndBadOptions)
{
    struct Case {
        std::vector<std::string> Args;
        int Code;
        const char* Says;
    };
    for (const Case& c :
         {Case{{"--address", "192.0.2.1"}, 1, "only loopback addresses"},
          Case{{"--address=0.0.0.0"}, 1, "only loopback addresses"},
          Case{{"--generation", "12"}, 2, "--generation needs a number 1..11"},
          Case{{"--rate", "fast"}, 2, "--rate needs a rate"}, Case{{"--split"}, 2, "--split needs a number"},
          Case{{"--colour"}, 2, "unknown option '--colour'"}}) {
        SCOPED_TRACE(c.Args.front());
        std::string out, err;
        EXPECT_EQ(RunSim(c.Args, out, err), c.Code);
        EXPECT_NE(err.find(c.Says), std::string::npos) << err;
    }
}

class SimProgramSignal : public ::testing::TestWithParam<int> {};

TEST_P(SimProgramSignal, LogsCommandsStopsCleanlyAndWritesFlash)
{
    TempDir d;
    std::string address = TestAddress();
    pid_t pid = Spawn({"--address", address, "--port", "4001", "--generation", "8", "--rate=50",
                       "--flash-out", d.Path + "/fw"},
                      d.Path + "/out", d.Path + "/err", GetParam() == SIGINT);
    ASSERT_GT(pid, 0);
    RawClient c;
    bool connected = c.Connect(address, 4001, Ms(5000));
    if (connected) {
        c.SendFrame(14);
        EXPECT_TRUE(c.NextFrame(14));
        c.SendFrame(1);
        c.SendFrameText(10, "I");
        EXPECT_TRUE(c.NextFrame(10));
        for (std::string rec : {":0100000307F5", ":02004000BEEF11", ":020000030300F8"}) {
            c.SendFrameText(10, rec);
            auto r = c.NextFrame(10);
            ASSERT_TRUE(r);
            EXPECT_EQ(std::string(r->Payload.begin(), r->Payload.end()), rec + ".\r\n");
        }
        EXPECT_TRUE(c.NextFrame(0));
        c.Close();
    }
    auto logged = [&] { return Slurp(d.Path + "/out").find("monitor disconnected") != std::string::npos; };
    auto end = std::chrono::steady_clock::now() + Ms(5000);
    while (connected && !logged() && std::chrono::steady_clock::now() < end)
        poll(nullptr, 0, 10);
    kill(pid, GetParam());
    EXPECT_EQ(Reap(pid), 0);
    ASSERT_TRUE(connected) << Slurp(d.Path + "/err");

    std::string log = Slurp(d.Path + "/out");
    for (const char* line :
         {"listening on", "connection from", "rx 14 Identification request -> \"ZARN V3.01\"",
          "rx  1 ZARN Idle", "rx 10 Start IRIG bootloader", "boot IRIG rx \":02004000BEEF11\" written",
          "monitor disconnected", "stopping", "flash images written"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    std::string irig = Slurp(d.Path + "/fw.irig.bin");
    EXPECT_EQ(Slurp(d.Path + "/fw.main.bin"), std::string(0x10000, '\xFF'));
    ASSERT_EQ(irig.size(), 0x10000u);
    EXPECT_EQ(uint8_t(irig[0x40]), 0xBE);
    EXPECT_EQ(uint8_t(irig[0x41]), 0xEF);
}

INSTANTIATE_TEST_SUITE_P(Signals, SimProgramSignal, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& info) { return info.param == SIGINT ? "Sigint" : "Sigterm"; });
