// zarn-sim: a simulated ZARN on a loopback address, for trying the monitor without a device.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>
#include <string>
#include <sys/time.h>

#include "ZarnSim.h"

using namespace zsim;

namespace {

const char* const kHelp = R"(Usage: zarn-sim [options]

A simulated ZARN satellite ground-station receiver. It listens on a loopback address,
accepts one monitor at a time, sends status frames and alarm reports, answers every
request of the monitor, keeps its set-up, alarm set-up and calibration records, and
emulates the MAIN and IRIG bootloaders. It logs connections and every command it
receives. Stop it with Ctrl+C (SIGINT) or SIGTERM.

Device:
  --address ADDR        loopback address to listen on (default 127.0.0.1); any other
                        address is refused
  --port N              TCP port (default 4001)
  --generation N        firmware generation 1..11 (default 11, or the one the --ident
                        text names); selects the status layout (111 bytes for 1-5,
                        112 for 6-7, 120 for 8-11), the set-up layout and the state table
  --ident TEXT          identity text sent for message 14 (default: the generation's
                        own, e.g. "ZARN V3.04 Desktop" for 11)
  --rate N              status frames per second (default 4; 0 sends none)
  --alarm-rate N        alarm reports per second (default 1; 0 sends none)
  --no-time             send no IRIG time text in the status frames
  --no-time-lock        GPS and IRIG input never lock: the time text carries day 000
  --no-auto-alarms      no alarm conditions of their own (by default one comes every
                        45 alarm periods and lasts 15)
  --seed N              seed for the readings' noise (default 4001)
  --flash-out FILE      on exit write the flash images (64 KiB each, erased bytes FF)
                        to FILE.main.bin and FILE.irig.bin

Faults (N = 0 switches one off):
  --garbage N           up to N random bytes (never 0x02) before every frame
  --split N             send frames in pieces of at most N bytes, about 1 ms apart
  --bad-marker N        every N-th frame has a wrong marker byte (0x0E)
  --bad-length N        every N-th frame has a length byte above 128
  --bad-end N           every N-th frame has a wrong end byte (0x04)
  --silent              accept connections but send nothing at all
  --drop-after N        close the connection after N frames
  --boot-delay MS       every bootloader reply goes out MS milliseconds late
  --boot-mute           the bootloaders never answer (no sync, no record replies)
  --boot-drop-at N      the reply to record N after the start record is never sent
  --boot-error-at N     record N after the start record gets an error reply (no ".")
  --boot-no-restart     the restart record is not answered; the bootloader keeps running
  --refuse              refuse every connection

  --help                show this text
)";

std::mutex g_out;

void Print(const std::string& line)
{
    timeval tv{};
    gettimeofday(&tv, nullptr);
    std::tm tm{};
    localtime_r(&tv.tv_sec, &tm);
    std::lock_guard<std::mutex> lk(g_out);
    std::printf("%02d:%02d:%02d.%03ld %s\n", tm.tm_hour, tm.tm_min, tm.tm_sec, long(tv.tv_usec / 1000),
                line.c_str());
    std::fflush(stdout);
}

bool ToInt(const std::string& s, long lo, long hi, long& out)
{
    if (s.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(s.c_str(), &end, 10);
    if (errno || *end || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

bool ToRate(const std::string& s, double& out)
{
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    if (s.empty() || *end || !(v >= 0) || v > 1000)
        return false;
    out = v;
    return true;
}

bool WriteFile(const std::string& path, const Bytes& b)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    return bool(f);
}

int Usage(const std::string& msg)
{
    std::fprintf(stderr, "zarn-sim: %s\nTry 'zarn-sim --help'.\n", msg.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    ZarnSimOptions opt;
    SimFaults faults;
    std::string flashOut;
    bool generationGiven = false;

    struct FaultOption {
        SimFault Fault;
        bool TakesValue;
    };
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i], value;
        bool hasValue = false;
        if (auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasValue = true;
        }
        auto need = [&]() -> bool {
            if (hasValue)
                return true;
            if (i + 1 >= argc)
                return false;
            value = argv[++i];
            return true;
        };
        long n = 0;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (arg == "--address") {
            if (!need())
                return Usage("--address needs an address");
            opt.Address = value;
        } else if (arg == "--port") {
            if (!need() || !ToInt(value, 1, 65535, n))
                return Usage("--port needs a port number 1..65535");
            opt.Port = uint16_t(n);
        } else if (arg == "--generation") {
            if (!need() || !ToInt(value, 1, 11, n))
                return Usage("--generation needs a number 1..11");
            opt.Generation = int(n);
            generationGiven = true;
        } else if (arg == "--ident") {
            if (!need())
                return Usage("--ident needs a text");
            opt.Identity = value;
        } else if (arg == "--rate" || arg == "--alarm-rate") {
            double r = 0;
            if (!need() || !ToRate(value, r))
                return Usage(arg + " needs a rate 0..1000 per second");
            (arg == "--rate" ? opt.StatusRate : opt.AlarmRate) = r;
        } else if (arg == "--no-time") {
            opt.NoTime = true;
        } else if (arg == "--no-time-lock") {
            opt.NoTimeLock = true;
        } else if (arg == "--no-auto-alarms") {
            opt.AutoAlarms = false;
        } else if (arg == "--seed") {
            if (!need() || !ToInt(value, 0, 0x7FFFFFFF, n))
                return Usage("--seed needs a number");
            opt.Seed = unsigned(n);
        } else if (arg == "--flash-out") {
            if (!need() || value.empty())
                return Usage("--flash-out needs a file name");
            flashOut = value;
        } else {
            bool found = false;
            for (int k = 0; k < kFaultCount; ++k) {
                SimFault f = SimFault(k);
                if (arg != std::string("--") + FaultName(f))
                    continue;
                found = true;
                bool flag = f == SimFault::Silent || f == SimFault::BootMute ||
                            f == SimFault::BootNoRestart || f == SimFault::Refuse;
                if (flag && !hasValue) {
                    faults[f] = 1;
                } else if (!need() || !ToInt(value, 0, 1000000, n)) {
                    return Usage(arg + " needs a number");
                } else {
                    faults[f] = int(n);
                }
            }
            if (!found)
                return Usage("unknown option '" + arg + "'");
        }
    }
    if (!generationGiven && !opt.Identity.empty())
        opt.Generation = GenerationOf(opt.Identity) ? GenerationOf(opt.Identity) : 11;

    // A shell starts background jobs with SIGINT ignored, and whether an ignored signal still
    // reaches sigwait is left open by POSIX: take the default action back first. The simulator's
    // thread inherits the mask, so only sigwait below sees the signals.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    opt.Log = Print;
    ZarnSim sim(opt);
    for (int k = 0; k < kFaultCount; ++k)
        if (faults.Value[size_t(k)]) {
            sim.SetFault(SimFault(k), faults.Value[size_t(k)]);
            Print(std::string("fault ") + FaultName(SimFault(k)) + " = " +
                  std::to_string(faults.Value[size_t(k)]));
        }
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "zarn-sim: %s\n", error.c_str());
        return 1;
    }
    int sig = 0;
    sigwait(&stopSignals, &sig);
    Print(std::string("stopping (") + (sig == SIGINT ? "SIGINT" : "SIGTERM") + ")");
    sim.Stop();
    if (!flashOut.empty()) {
        bool ok = WriteFile(flashOut + ".main.bin", sim.Flash(SimProcessor::Main)) &&
                  WriteFile(flashOut + ".irig.bin", sim.Flash(SimProcessor::Irig));
        if (!ok) {
            std::fprintf(stderr, "zarn-sim: cannot write the flash images to %s.*.bin\n", flashOut.c_str());
            return 1;
        }
        Print("flash images written to " + flashOut + ".main.bin and " + flashOut + ".irig.bin");
    }
    return 0;
}
