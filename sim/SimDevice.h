#pragma once
// The simulated ZARN itself, without any socket: it takes the monitor's frames and
// bootloader text, advances its state on ticks and says what to send back.
// Not thread-safe on its own; ZarnSim calls it under its lock.
#include <array>
#include <random>
#include <string>
#include <vector>

#include "SimFaults.h"
#include "SimHex.h"
#include "SimRecords.h"

namespace zsim {

enum class SimProcessor { Main = 0, Irig = 1 };

// Something the device sends: a frame, or bare text while the MAIN bootloader has the line.
struct SimOut {
    bool IsFrame = true;
    uint8_t Type = 0;
    Bytes Data;
    bool Boot = false; // a bootloader reply (the boot delay applies)
};

struct SimDeviceConfig {
    int Generation = 11;
    std::string Identity;    // empty: the generation's own text
    bool NoTime = false;     // send no IRIG time text at all
    bool NoTimeLock = false; // GPS and IRIG input never lock: the time text carries day "000"
    bool AutoAlarms = true;  // now and then an alarm condition comes and goes by itself
    unsigned Seed = 4001;
};

class SimDevice {
public:
    SimDevice(const SimDeviceConfig& cfg, const SimFaults& faults);

    void SetGeneration(int generation);
    void SetIdentity(const std::string& text); // empty: back to the generation's own
    int Generation() const { return m_gen; }
    const std::string& Identity() const { return m_ident; }

    // Input from the monitor.
    void OnFrame(const SimRxFrame& f, std::vector<SimOut>& out);
    void OnMainBootByte(uint8_t b, std::vector<SimOut>& out);
    void OnConnectionLost();
    bool InMainBoot() const { return m_mainBoot; }
    bool InIrigBoot() const { return m_irigBoot; }

    // One model step (one status period): advances the main-state sequence and the readings.
    void Tick(double dtSeconds);
    Bytes StatusPayload();
    SimStatus Status();

    // One alarm period of dtSeconds; returns the five alarm states to report.
    std::array<uint8_t, 5> AlarmStep(double dtSeconds);
    bool HasAlarms() const { return m_gen >= 2; }
    std::array<uint8_t, 5> AlarmStates() const { return m_alarm; }
    void SetAlarmCondition(int alarm, bool on);

    int MainState() const;
    const Bytes& Flash(SimProcessor p) const { return m_flash[int(p)].Image(); }
    const std::vector<std::string>& BootRecords() const { return m_bootRecords; }
    const Bytes& SetupRecord() const { return m_setup; }
    const Bytes& AlarmSetup() const { return m_alarmSetup; }
    const Bytes& CalibRecord() const { return m_calib; }

    // Readable log lines produced since the last call.
    std::vector<std::string> TakeLog();

private:
    struct Step {
        uint8_t Code;
        uint8_t Level; // 0 idle, 1 searching, 2 verifying, 3 stabilizing, 4 locked
        int Ticks;     // 0: hold here
    };
    enum class Mode { Init, Idle, Pilot, Telem, TestHold };

    void PowerUp();
    void Run(Mode mode, const std::vector<Step>& steps);
    void MainFunction(uint8_t cmd, bool fromMonitor = true);
    void TestControl(const Bytes& p);
    void BootFrame(const SimRxFrame& f, std::vector<SimOut>& out);
    // Handles a record for a bootloader; returns the reply text (without CR LF), or
    // false when no reply goes out.
    bool BootRecord(SimProcessor p, const std::string& text, std::string& reply);
    void Log(const std::string& line);
    float Walk(float& v, float target, float pull, float sigma);
    uint8_t Level() const;
    std::string TimeText();
    float IfMHz() const;

    const SimFaults& m_faults;
    SimDeviceConfig m_cfg;
    int m_gen;
    std::string m_ident;
    bool m_identOverride = false;
    std::mt19937 m_rng;

    // main function
    Mode m_mode = Mode::Init;
    std::vector<Step> m_steps;
    size_t m_stepIndex = 0;
    int m_stepTicks = 0;
    int m_activePilot = 1;
    long m_uptimeTicks = 0;
    double m_uptimeSecs = 0;

    // test controls
    bool m_pllEnabled = true;
    int m_feedback = 0;
    float m_gainOverride = 1.2f;
    bool m_freqOut = false;
    float m_testVolts = 2.0f;
    float m_synthMHz = 81.9f;

    // readings that wander
    float m_vco = 2.0f, m_wbGain = 24, m_wbLevel = -72, m_sweep = 0;
    struct DemodWalk {
        float Pilot = 12, Amp = 17.5f, Chan = 21, Phase = 4, Freq = 0;
    } m_dw[2];

    // records
    Bytes m_setup, m_alarmSetup, m_calib, m_dacCal, m_adcCal;

    // alarms
    std::array<uint8_t, 5> m_alarm{};
    std::array<bool, 5> m_condApi{}, m_condAuto{};
    std::array<double, 5> m_triggeredFor{};
    long m_alarmSteps = 0;
    int m_autoNext = 0;
    long m_autoUntil = -1;

    // bootloaders
    bool m_mainBoot = false, m_irigBoot = false;
    std::string m_mainLine;
    SimFlash m_flash[2];
    int m_recordNo[2] = {-1, -1}; // records since the start record; -1 before it
    std::vector<std::string> m_bootRecords;

    std::vector<std::string> m_log;
};

} // namespace zsim
