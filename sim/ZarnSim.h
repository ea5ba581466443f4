#pragma once
// ZarnSim: a simulated ZARN listening on a loopback address, for tests (in-process, on its
// own thread) and for the zarn-sim program. Every public member is thread-safe.
#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "SimDevice.h"

namespace zsim {

struct ZarnSimOptions {
    std::string Address = "127.0.0.1";           // must be a 127.x.y.z address
    uint16_t Port = 4001;                        // 0: any free port, see ZarnSim::Port()
    int Generation = 11;                         // firmware generation 1..11
    std::string Identity;                        // identity text; empty: the generation's own
    double StatusRate = 4.0;                     // status frames per second; 0: none
    double AlarmRate = 1.0;                      // alarm reports per second; 0: none
    bool NoTime = false;                         // no IRIG time text in the status
    bool NoTimeLock = false;                     // GPS/IRIG never lock: the time text carries day "000"
    bool AutoAlarms = true;                      // alarm conditions come and go by themselves now and then
    unsigned Seed = 4001;                        // for the readings' noise
    std::function<void(const std::string&)> Log; // readable log lines, called on the simulator's thread
};

class ZarnSim {
public:
    explicit ZarnSim(ZarnSimOptions options = {});
    ~ZarnSim();
    ZarnSim(const ZarnSim&) = delete;
    ZarnSim& operator=(const ZarnSim&) = delete;

    // Opens the listening socket and starts the thread. False (with a reason) when the address
    // is not loopback or the socket cannot be opened.
    bool Start(std::string* error = nullptr);
    void Stop();
    bool IsRunning() const;
    std::string Address() const { return m_opt.Address; }
    uint16_t Port() const; // the port listened on (the chosen one when the option was 0)

    void SetGeneration(int generation); // also the identity, unless one was given
    int Generation() const;
    void SetIdentity(const std::string& text); // empty: the generation's own text
    std::string Identity() const;

    void SetFault(SimFault f, int value = 1); // value 0 clears it
    void ClearFault(SimFault f) { SetFault(f, 0); }
    void ClearFaults();
    int Fault(SimFault f) const;

    // Frames received from the monitor, oldest first.
    std::vector<SimRxFrame> Frames() const;
    int CountFrames(int type) const; // -1: all types
    void ClearFrames();

    int Connections() const; // accepted since start
    int Refused() const;     // second connections turned away while one was open
    bool IsConnected() const;
    bool IsListening() const; // false while connections are refused
    void Disconnect();        // drops the current connection, as a device reset would

    Bytes Flash(SimProcessor p) const;
    std::vector<std::string> BootRecords() const; // "MAIN :10..." / "IRIG :10...", as received
    bool InMainBootloader() const;
    bool InIrigBootloader() const;

    // Sends bytes or a frame to the monitor as they are (no fault applies).
    void InjectRaw(const Bytes& bytes);
    void InjectFrame(uint8_t type, const Bytes& payload);

    int MainState() const;
    SimStatus CurrentStatus() const;            // what the next status frame would carry (readings vary)
    void SetAlarmCondition(int alarm, bool on); // 0 RF, 1 Pilot 1, 2 Pilot 2, 3 Power Supply, 4 IRIG
    std::array<uint8_t, 5> AlarmStates() const;
    Bytes SetupRecord() const;
    Bytes AlarmSetup() const;
    Bytes CalibRecord() const;

    // Polls pred until it holds or the bound passes; returns pred's last answer.
    bool WaitFor(const std::function<bool()>& pred,
                 std::chrono::milliseconds bound = std::chrono::milliseconds(5000)) const;

private:
    using Clock = std::chrono::steady_clock;
    struct Chunk {
        Bytes Data;
        Clock::time_point Due;
        bool CloseAfter = false;
    };
    struct Delayed {
        Clock::time_point Due;
        SimOut Out;
    };

    void Run();
    bool OpenListener(std::string* error);
    void CloseListener();
    void AcceptClients();
    void ReadClient();
    void CloseClient(const std::string& why);
    void Handle(std::vector<SimOut>& outs);
    void Emit(const SimOut& o);
    void Enqueue(const Bytes& bytes, bool closeAfter, bool split);
    void Flush(Clock::time_point now);
    void RunTimers(Clock::time_point now);
    void Wake() const;
    void LogLine(const std::string& line);

    ZarnSimOptions m_opt;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cv;
    std::thread m_thread;
    bool m_running = false;
    bool m_stop = false;
    bool m_kick = false;

    SimFaults m_faults;
    std::unique_ptr<SimDevice> m_device;
    SimFrameParser m_parser;
    int m_discardedSeen = 0;
    std::vector<SimRxFrame> m_frames;
    std::vector<std::string> m_pendingLog;

    int m_listen = -1, m_client = -1, m_wake = -1;
    uint16_t m_port = 0;
    int m_connections = 0, m_refused = 0;
    long m_connFrames = 0;
    bool m_closing = false;
    std::deque<Chunk> m_out;
    size_t m_outOffset = 0;
    std::vector<Delayed> m_delayed;
    Clock::time_point m_lastDue{};
    Clock::time_point m_nextModel{}, m_nextAlarm{};
    unsigned m_garbageSeed = 1;
};

} // namespace zsim
