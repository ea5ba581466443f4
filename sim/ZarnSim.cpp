#include "ZarnSim.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zsim {

namespace {

using namespace std::chrono;

bool LoopbackAddress(const std::string& text, in_addr& out)
{
    if (inet_pton(AF_INET, text.c_str(), &out) != 1)
        return false;
    return (ntohl(out.s_addr) >> 24) == 127;
}

std::string PeerName(int fd)
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return "?";
    char buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a.sin_addr, buf, sizeof buf);
    return std::string(buf) + ":" + std::to_string(ntohs(a.sin_port));
}

std::chrono::steady_clock::duration Period(double rate, double fallback)
{
    double r = rate > 0 ? rate : fallback;
    return duration_cast<steady_clock::duration>(duration<double>(1.0 / r));
}

} // namespace

ZarnSim::ZarnSim(ZarnSimOptions options) : m_opt(std::move(options))
{
    SimDeviceConfig cfg;
    cfg.Generation = m_opt.Generation;
    cfg.Identity = m_opt.Identity;
    // An identity text alone picks the generation whose layouts the monitor will expect.
    if (!m_opt.Identity.empty() && GenerationOf(m_opt.Identity) != 0 && m_opt.Generation == 0)
        cfg.Generation = GenerationOf(m_opt.Identity);
    cfg.NoTime = m_opt.NoTime;
    cfg.NoTimeLock = m_opt.NoTimeLock;
    cfg.AutoAlarms = m_opt.AutoAlarms;
    cfg.Seed = m_opt.Seed;
    m_device = std::make_unique<SimDevice>(cfg, m_faults);
    m_port = m_opt.Port;
}

ZarnSim::~ZarnSim()
{
    Stop();
}

bool ZarnSim::Start(std::string* error)
{
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_running)
        return true;
    in_addr a{};
    if (!LoopbackAddress(m_opt.Address, a)) {
        if (error)
            *error = "refusing to listen on \"" + m_opt.Address +
                     "\": only loopback addresses (127.x.y.z) are allowed";
        return false;
    }
    m_wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wake < 0) {
        if (error)
            *error = std::string("eventfd: ") + std::strerror(errno);
        return false;
    }
    if (!m_faults[SimFault::Refuse] && !OpenListener(error)) {
        close(m_wake);
        m_wake = -1;
        return false;
    }
    m_stop = false;
    m_running = true;
    auto now = Clock::now();
    m_nextModel = now + Period(m_opt.StatusRate, 4.0);
    m_nextAlarm = now + Period(m_opt.AlarmRate, 1.0);
    m_pendingLog.push_back("ZARN simulator: generation " + std::to_string(m_device->Generation()) + ", \"" +
                           m_device->Identity() + "\", listening on " + m_opt.Address + ":" +
                           std::to_string(m_port));
    m_thread = std::thread([this] { Run(); });
    return true;
}

void ZarnSim::Stop()
{
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        if (!m_running)
            return;
        m_stop = true;
    }
    Wake();
    m_thread.join();
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_client >= 0)
        close(m_client);
    m_client = -1;
    CloseListener();
    close(m_wake);
    m_wake = -1;
    m_running = false;
    m_out.clear();
    m_delayed.clear();
}

bool ZarnSim::IsRunning() const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_running;
}

uint16_t ZarnSim::Port() const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_port;
}

bool ZarnSim::OpenListener(std::string* error)
{
    in_addr a{};
    LoopbackAddress(m_opt.Address, a);
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr = a;
    sa.sin_port = htons(m_port);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd, 4) != 0) {
        if (error)
            *error = "cannot listen on " + m_opt.Address + ":" + std::to_string(m_port) + ": " +
                     std::strerror(errno);
        if (fd >= 0)
            close(fd);
        return false;
    }
    socklen_t len = sizeof sa;
    getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    m_port = ntohs(sa.sin_port);
    m_listen = fd;
    return true;
}

void ZarnSim::CloseListener()
{
    if (m_listen >= 0)
        close(m_listen);
    m_listen = -1;
}

void ZarnSim::Wake() const
{
    uint64_t one = 1;
    if (m_wake >= 0 && write(m_wake, &one, sizeof one) < 0) {
        // the counter is already non-zero: the thread wakes anyway
    }
}

void ZarnSim::LogLine(const std::string& line)
{
    m_pendingLog.push_back(line);
}

// ---------------------------------------------------------------- the thread

void ZarnSim::Run()
{
    for (;;) {
        pollfd fds[3];
        int n = 0;
        int timeout = 100;
        {
            std::lock_guard<std::mutex> lk(m_mutex);
            if (m_stop)
                break;
            if (m_faults[SimFault::Refuse] && m_listen >= 0) {
                CloseListener();
                LogLine("refusing connections (fault)");
            } else if (!m_faults[SimFault::Refuse] && m_listen < 0) {
                std::string err;
                if (OpenListener(&err))
                    LogLine("accepting connections again");
                else
                    LogLine(err);
            }
            if (m_kick && m_client >= 0)
                CloseClient("connection dropped on request");
            m_kick = false;

            auto now = Clock::now();
            auto next = std::min(m_nextModel, m_nextAlarm);
            for (const Delayed& d : m_delayed)
                next = std::min(next, d.Due);
            if (!m_out.empty())
                next = std::min(next, m_out.front().Due);
            auto ms = duration_cast<milliseconds>(next - now).count() + 1;
            timeout = int(std::clamp<long long>(ms, 0, 100));

            fds[n++] = pollfd{m_wake, POLLIN, 0};
            if (m_listen >= 0)
                fds[n++] = pollfd{m_listen, POLLIN, 0};
            if (m_client >= 0) {
                short ev = POLLIN;
                if (!m_out.empty() && m_out.front().Due <= now)
                    ev |= POLLOUT;
                fds[n++] = pollfd{m_client, ev, 0};
            }
        }
        poll(fds, nfds_t(n), timeout);

        std::vector<std::string> lines;
        {
            std::lock_guard<std::mutex> lk(m_mutex);
            uint64_t v;
            while (read(m_wake, &v, sizeof v) > 0) {
            }
            if (!m_stop) {
                AcceptClients();
                if (m_client >= 0)
                    ReadClient();
                auto now = Clock::now();
                RunTimers(now);
                Flush(now);
            }
            for (auto& l : m_device->TakeLog())
                m_pendingLog.push_back(std::move(l));
            lines.swap(m_pendingLog);
        }
        m_cv.notify_all();
        if (m_opt.Log)
            for (const auto& l : lines)
                m_opt.Log(l);
    }
    std::vector<std::string> lines;
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        lines.swap(m_pendingLog);
    }
    if (m_opt.Log)
        for (const auto& l : lines)
            m_opt.Log(l);
}

void ZarnSim::AcceptClients()
{
    if (m_listen < 0)
        return;
    for (;;) {
        int fd = accept4(m_listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        if (m_client >= 0) {
            // One monitor at a time: a second connection is closed at once.
            LogLine("refused a second connection from " + PeerName(fd) + " (one is open)");
            close(fd);
            ++m_refused;
            continue;
        }
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        m_client = fd;
        ++m_connections;
        m_connFrames = 0;
        m_closing = false;
        m_out.clear();
        m_outOffset = 0;
        m_parser.Reset();
        LogLine("connection from " + PeerName(fd) +
                (m_device->InMainBoot() ? " (MAIN bootloader running)" : ""));
    }
}

void ZarnSim::CloseClient(const std::string& why)
{
    if (m_client < 0)
        return;
    close(m_client);
    m_client = -1;
    m_out.clear();
    m_outOffset = 0;
    m_delayed.clear();
    m_device->OnConnectionLost();
    LogLine(why);
}

void ZarnSim::ReadClient()
{
    uint8_t buf[4096];
    for (;;) {
        ssize_t n = recv(m_client, buf, sizeof buf, 0);
        if (n == 0) {
            CloseClient("monitor disconnected");
            return;
        }
        if (n < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                CloseClient(std::string("connection lost: ") + std::strerror(errno));
            return;
        }
        std::vector<SimOut> outs;
        for (ssize_t i = 0; i < n; ++i) {
            // The mode may change inside a read: the bytes after "start MAIN bootloader"
            // already belong to the bootloader.
            if (m_device->InMainBoot()) {
                m_device->OnMainBootByte(buf[i], outs);
            } else if (m_parser.Push(buf[i])) {
                m_frames.push_back(m_parser.Frame());
                m_device->OnFrame(m_parser.Frame(), outs);
            } else if (m_parser.Discarded() != m_discardedSeen) {
                m_discardedSeen = m_parser.Discarded();
                LogLine("discarded a malformed frame (marker, length or end byte)");
            }
            Handle(outs);
            outs.clear();
        }
    }
}

void ZarnSim::Handle(std::vector<SimOut>& outs)
{
    for (SimOut& o : outs) {
        if (o.Boot && m_faults[SimFault::BootDelay] > 0)
            m_delayed.push_back(
                Delayed{Clock::now() + milliseconds(m_faults[SimFault::BootDelay]), std::move(o)});
        else
            Emit(o);
    }
}

void ZarnSim::Emit(const SimOut& o)
{
    if (m_client < 0 || m_closing || m_faults[SimFault::Silent])
        return;
    if (!o.IsFrame) {
        Enqueue(o.Data, false, true);
        return;
    }
    Bytes f = BuildFrame(o.Type, o.Data);
    ++m_connFrames;
    auto every = [&](SimFault k) { return m_faults[k] > 0 && m_connFrames % m_faults[k] == 0; };
    bool broken = false;
    if (every(SimFault::BadMarker)) {
        f[2] = 0x0E;
        broken = true;
    }
    if (every(SimFault::BadLength)) {
        f[4] = uint8_t(0x81 + (m_connFrames % 0x7F));
        broken = true;
    }
    if (every(SimFault::BadEnd))
        f.back() = 0x04;
    if (broken) {
        // A parser that drops this frame scans its payload for a start byte; keep the start
        // byte out of it so that a sound parser picks up the very next frame.
        std::replace(f.begin() + 3, f.end(), kStart, uint8_t(0x00));
    }
    if (m_faults[SimFault::Garbage] > 0) {
        m_garbageSeed = m_garbageSeed * 1103515245u + 12345u;
        size_t n = 1 + (m_garbageSeed >> 16) % size_t(m_faults[SimFault::Garbage]);
        Bytes g;
        for (size_t i = 0; i < n; ++i) {
            m_garbageSeed = m_garbageSeed * 1103515245u + 12345u;
            uint8_t b = uint8_t(m_garbageSeed >> 16);
            g.push_back(b == kStart ? uint8_t(0xFF) : b);
        }
        f.insert(f.begin(), g.begin(), g.end());
    }
    bool last = m_faults[SimFault::DropAfter] > 0 && m_connFrames >= m_faults[SimFault::DropAfter];
    Enqueue(f, last, true);
}

void ZarnSim::Enqueue(const Bytes& bytes, bool closeAfter, bool split)
{
    auto due = std::max(Clock::now(), m_lastDue);
    size_t piece = split && m_faults[SimFault::Split] > 0 ? size_t(m_faults[SimFault::Split]) : bytes.size();
    if (piece == 0)
        piece = 1;
    for (size_t at = 0; at < bytes.size(); at += piece) {
        Chunk c;
        c.Data.assign(bytes.begin() + long(at), bytes.begin() + long(std::min(bytes.size(), at + piece)));
        c.Due = due;
        if (piece < bytes.size())
            due += milliseconds(1); // far enough apart to leave as separate segments
        m_out.push_back(std::move(c));
    }
    if (!m_out.empty() && closeAfter) {
        m_out.back().CloseAfter = true;
        m_closing = true;
    }
    m_lastDue = due;
}

void ZarnSim::Flush(Clock::time_point now)
{
    while (m_client >= 0 && !m_out.empty() && m_out.front().Due <= now) {
        Chunk& c = m_out.front();
        ssize_t n = send(m_client, c.Data.data() + m_outOffset, c.Data.size() - m_outOffset, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                CloseClient(std::string("connection lost: ") + std::strerror(errno));
            return;
        }
        m_outOffset += size_t(n);
        if (m_outOffset < c.Data.size())
            return;
        m_outOffset = 0;
        bool close = c.CloseAfter;
        m_out.pop_front();
        if (close) {
            CloseClient("connection dropped after " + std::to_string(m_connFrames) + " frames (fault)");
            return;
        }
    }
}

void ZarnSim::RunTimers(Clock::time_point now)
{
    auto modelPeriod = Period(m_opt.StatusRate, 4.0);
    double modelSecs = duration<double>(modelPeriod).count();
    while (now >= m_nextModel) {
        m_device->Tick(modelSecs);
        if (m_client >= 0 && m_opt.StatusRate > 0 && !m_device->InMainBoot())
            Emit(SimOut{true, 0, m_device->StatusPayload(), false});
        m_nextModel += modelPeriod;
        if (now - m_nextModel > seconds(1))
            m_nextModel = now + modelPeriod; // fell far behind: do not burst
    }
    auto alarmPeriod = Period(m_opt.AlarmRate, 1.0);
    while (now >= m_nextAlarm) {
        auto states = m_device->AlarmStep(duration<double>(alarmPeriod).count());
        if (m_client >= 0 && m_opt.AlarmRate > 0 && m_device->HasAlarms() && !m_device->InMainBoot())
            Emit(SimOut{true, 18, Bytes(states.begin(), states.end()), false});
        m_nextAlarm += alarmPeriod;
        if (now - m_nextAlarm > seconds(1))
            m_nextAlarm = now + alarmPeriod;
    }
    for (size_t i = 0; i < m_delayed.size();) {
        if (m_delayed[i].Due <= now) {
            SimOut o = std::move(m_delayed[i].Out);
            m_delayed.erase(m_delayed.begin() + long(i));
            Emit(o);
        } else {
            ++i;
        }
    }
}

// ---------------------------------------------------------------- API

void ZarnSim::SetGeneration(int generation)
{
    std::lock_guard<std::mutex> lk(m_mutex);
    m_device->SetGeneration(generation);
}

int ZarnSim::Generation() const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_device->Generation();
}

void ZarnSim::SetIdentity(const std::string& text)
{
    std::lock_guard<std::mutex> lk(m_mutex);
    m_device->SetIdentity(text);
}

std::string ZarnSim::Identity() const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_device->Identity();
}

void ZarnSim::SetFault(SimFault f, int value)
{
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        m_faults[f] = value < 0 ? 0 : value;
    }
    Wake();
}

void ZarnSim::ClearFaults()
{
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        m_faults = SimFaults{};
    }
    Wake();
}

int ZarnSim::Fault(SimFault f) const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_faults[f];
}

std::vector<SimRxFrame> ZarnSim::Frames() const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_frames;
}

int ZarnSim::CountFrames(int type) const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return int(std::count_if(m_frames.begin(), m_frames.end(),
                             [&](const SimRxFrame& f) { return type < 0 || f.Type == type; }));
}

void ZarnSim::ClearFrames()
{
    std::lock_guard<std::mutex> lk(m_mutex);
    m_frames.clear();
}

int ZarnSim::Connections() const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_connections;
}

int ZarnSim::Refused() const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_refused;
}

bool ZarnSim::IsConnected() const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_client >= 0;
}

bool ZarnSim::IsListening() const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_listen >= 0;
}

void ZarnSim::Disconnect()
{
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        m_kick = true;
    }
    Wake();
}

Bytes ZarnSim::Flash(SimProcessor p) const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_device->Flash(p);
}

std::vector<std::string> ZarnSim::BootRecords() const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_device->BootRecords();
}

bool ZarnSim::InMainBootloader() const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_device->InMainBoot();
}

bool ZarnSim::InIrigBootloader() const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_device->InIrigBoot();
}

void ZarnSim::InjectRaw(const Bytes& bytes)
{
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        if (m_client < 0)
            return;
        Enqueue(bytes, false, false);
    }
    Wake();
}

void ZarnSim::InjectFrame(uint8_t type, const Bytes& payload)
{
    InjectRaw(BuildFrame(type, payload));
}

int ZarnSim::MainState() const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_device->MainState();
}

SimStatus ZarnSim::CurrentStatus() const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_device->Status();
}

void ZarnSim::SetAlarmCondition(int alarm, bool on)
{
    std::lock_guard<std::mutex> lk(m_mutex);
    m_device->SetAlarmCondition(alarm, on);
}

std::array<uint8_t, 5> ZarnSim::AlarmStates() const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_device->AlarmStates();
}

Bytes ZarnSim::SetupRecord() const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_device->SetupRecord();
}

Bytes ZarnSim::AlarmSetup() const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_device->AlarmSetup();
}

Bytes ZarnSim::CalibRecord() const
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_device->CalibRecord();
}

bool ZarnSim::WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds bound) const
{
    auto end = Clock::now() + bound;
    for (;;) {
        if (pred())
            return true;
        auto now = Clock::now();
        if (now >= end)
            return pred();
        std::unique_lock<std::mutex> lk(m_mutex);
        m_cv.wait_for(lk, std::min<Clock::duration>(end - now, milliseconds(20)));
    }
}

} // namespace zsim
