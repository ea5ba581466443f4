// Scenario bench: the monitor's receive path against the simulator over loopback TCP.
//  1. Throughput: bytes per second from the socket to the delivery queue, with the link's
//     normal 100 ms tick and with the 10 ms tick used while programming.
//  2. Latency: from the simulator's send to the main frame's dispatcher (median, 99th percentile).
#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "BenchSupport.h"
#include "KivZarnClSk.h"
#include "KivsZarnFrame.h"
#include "ZarnSim.h"

namespace {
using namespace std::chrono;

bool Pump(const std::function<bool()>& pred, milliseconds bound)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > bound.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QThread::usleep(200);
    }
    return true;
}

zsim::ZarnSimOptions Quiet(const char* address)
{
    zsim::ZarnSimOptions o;
    o.Address = address;
    o.StatusRate = 0;
    o.AlarmRate = 0;
    return o;
}

void Throughput(int intervalMs)
{
    zsim::ZarnSim sim(Quiet("127.0.0.91"));
    sim.Start();
    TZarnSckObj link(nullptr, {}, 3);
    link.CreateClient();
    link.SetAddress("127.0.0.91");
    Pump([&] { return link.IsLinkUp(); }, seconds(10));
    link.SetInterval(intervalMs);

    const int frames = intervalMs == 100 ? 300 : 2000;
    const zsim::Bytes payload(120, 0x55); // a status-sized frame, 127 bytes on the wire
    int delivered = 0;
    auto drain = [&] {
        auto& q = link.RxPath().DeliveryQueue();
        while (q.RemoveHead())
            ++delivered;
        return delivered >= frames;
    };
    QElapsedTimer t;
    t.start();
    long long lastReport = -1;
    // Feed at the rate the path can take it, so nothing is lost to a full ring.
    for (int sent = 0; sent < frames;) {
        const int backlog = sent - delivered;
        if (backlog < 20) {
            sim.InjectFrame(99, payload);
            ++sent;
        } else {
            Pump(drain, milliseconds(1));
        }
        drain();
        if (getenv("ZARN_BENCH_TRACE") && t.elapsed() / 1000 != lastReport) {
            lastReport = t.elapsed() / 1000;
            std::printf("t=%llds sent=%d delivered=%d unread=%d parsed=%d blocks=%d\n", lastReport, sent,
                        delivered, link.RxPath().Unread(), link.RxPath().ParsedQueue().Count(),
                        link.RxPath().BlockQueue().Count());
        }
    }
    Pump(drain, seconds(60));
    const double secs = t.nsecsElapsed() / 1e9;
    std::printf("receive path, %3d ms tick: %6d frames in %6.2f s = %8.0f frames/s, %9.0f bytes/s (lost ring "
                "bytes: %llu)\n",
                intervalMs, delivered, secs, delivered / secs, delivered * 127.0 / secs,
                static_cast<unsigned long long>(link.RxPath().OverrunBytes()));
}

void Latency()
{
    zsim::ZarnSim sim(Quiet("127.0.0.92"));
    sim.Start();
    TZarnSckObj* link = nullptr;
    TfrmKivsZarn frame(nullptr, [&](TZarnLinkNotifyFn notify) {
        auto l = std::make_unique<TZarnSckObj>(nullptr, std::move(notify), 3);
        link = l.get();
        return l;
    });
    std::vector<double> ms;
    steady_clock::time_point sentAt;
    bool seen = false;
    frame.OnFrameDispatched = [&](const TZarnFrame& f) {
        if (f.MsgType == 99) {
            ms.push_back(duration<double, std::milli>(steady_clock::now() - sentAt).count());
            seen = true;
        }
    };
    frame.SetDeviceAddress("127.0.0.92");
    frame.StartMonitoring();
    Pump([&] { return frame.Connected(); }, seconds(10));
    for (int i = 0; i < 200; ++i) {
        seen = false;
        sentAt = steady_clock::now();
        sim.InjectFrame(99, {uint8_t(i)});
        Pump([&] { return seen; }, seconds(2));
        // Send at a random phase of both 100 ms ticks.
        Pump([] { return false; }, milliseconds(7 + (i * 37) % 90));
    }
    if (!ms.empty())
        std::printf("send to dispatcher latency over %zu frames: median %.1f ms, p99 %.1f ms, max %.1f ms\n",
                    ms.size(), bench::Percentile(ms, 0.5), bench::Percentile(ms, 0.99),
                    bench::Percentile(ms, 1.0));
    frame.BeginShutdown();
    Pump([&] { return !frame.ShutdownInProgress(); }, seconds(5));
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QApplication app(argc, argv);
    Throughput(100);
    Throughput(10);
    Latency();
    return 0;
}
