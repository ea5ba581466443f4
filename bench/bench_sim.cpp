// Simulator costs: building one status frame, and one bootloader record round trip over loopback.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "SimDevice.h"
#include "ZarnSim.h"

using namespace zsim;

static void BM_StatusFrame(benchmark::State& state)
{
    SimFaults faults;
    SimDeviceConfig cfg;
    cfg.Generation = int(state.range(0));
    SimDevice dev(cfg, faults);
    for (auto _ : state) {
        dev.Tick(0.25);
        Bytes f = BuildFrame(0, dev.StatusPayload());
        benchmark::DoNotOptimize(f.data());
    }
}
BENCHMARK(BM_StatusFrame)->Arg(3)->Arg(6)->Arg(11);

// One MAIN bootloader record sent as bare text and its echo read back.
static void BM_MainRecordRoundTrip(benchmark::State& state)
{
    ZarnSimOptions o;
    o.Address = "127.0.88.1";
    o.Port = 0;
    o.StatusRate = 0;
    o.AlarmRate = 0;
    ZarnSim sim(o);
    if (!sim.Start()) {
        state.SkipWithError("cannot listen");
        return;
    }
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(sim.Port());
    inet_pton(AF_INET, o.Address.c_str(), &a.sin_addr);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        state.SkipWithError("cannot connect");
        return;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    timeval tv{2, 0}; // a reply that never comes ends the run instead of hanging it
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    auto exchange = [&](const std::string& out, size_t replyLen) {
        send(fd, out.data(), out.size(), 0);
        char buf[256];
        size_t got = 0;
        while (got < replyLen) {
            ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                return false;
            got += size_t(n);
        }
        return got == replyLen;
    };
    Bytes start = BuildFrame(10, {});
    if (!exchange(std::string(start.begin(), start.end()), start.size() + 25) || !exchange("U", 1) ||
        !exchange(kStartRecord, 16)) {
        state.SkipWithError("bootloader did not answer");
        close(fd);
        return;
    }
    // 16 data bytes at address 0x0100.
    const std::string rec = ":10010000000102030405060708090A0B0C0D0E0F77";
    for (auto _ : state)
        if (!exchange(rec, rec.size() + 3)) {
            state.SkipWithError("connection lost");
            break;
        }
    state.SetItemsProcessed(state.iterations());
    close(fd);
}
BENCHMARK(BM_MainRecordRoundTrip)->UseRealTime();

BENCHMARK_MAIN();
