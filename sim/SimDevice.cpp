#include "SimDevice.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace zsim {

namespace {

enum Alarm { kRf, kPilot1, kPilot2, kSupply, kIrig };

enum AlarmState : uint8_t { kDisabled, kEnabled, kArmed, kTriggered, kActive, kAcknowledged };

int YearOfCentury()
{
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&t, &tm);
    return (tm.tm_year + 1900) % 100;
}

std::string Fmt(const char* f, double a)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, f, a);
    return buf;
}

std::string PrintableText(const Bytes& p)
{
    std::string s;
    for (uint8_t b : p) {
        if (b == '\r')
            s += "\\r";
        else if (b == '\n')
            s += "\\n";
        else if (b >= 32 && b < 127)
            s += char(b);
        else
            s += '.';
    }
    return s;
}

} // namespace

SimDevice::SimDevice(const SimDeviceConfig& cfg, const SimFaults& faults)
    : m_faults(faults), m_cfg(cfg), m_gen(cfg.Generation), m_rng(cfg.Seed)
{
    if (m_gen < kMinGeneration || m_gen > kMaxGeneration)
        m_gen = kMaxGeneration;
    m_identOverride = !cfg.Identity.empty();
    m_ident = m_identOverride ? cfg.Identity : IdentityFor(m_gen);
    m_setup = DefaultSetup(m_gen, YearOfCentury());
    m_alarmSetup = DefaultAlarmSetup();
    m_calib = DefaultCalib();
    m_dacCal = DefaultVcoCal();
    m_adcCal = DefaultVcoCal();
    PowerUp();
}

void SimDevice::SetGeneration(int generation)
{
    if (generation < kMinGeneration || generation > kMaxGeneration || generation == m_gen)
        return;
    bool layoutChanges = IsV3(generation) != IsV3(m_gen);
    m_gen = generation;
    if (!m_identOverride)
        m_ident = IdentityFor(m_gen);
    if (layoutChanges)
        m_setup = DefaultSetup(m_gen, YearOfCentury());
    // Another firmware means another start-up: the state tables differ.
    PowerUp();
}

void SimDevice::SetIdentity(const std::string& text)
{
    m_identOverride = !text.empty();
    m_ident = m_identOverride ? text : IdentityFor(m_gen);
}

void SimDevice::Log(const std::string& line)
{
    m_log.push_back(line);
}

std::vector<std::string> SimDevice::TakeLog()
{
    std::vector<std::string> out;
    out.swap(m_log);
    return out;
}

// ---------------------------------------------------------------- main function

void SimDevice::PowerUp()
{
    m_uptimeTicks = 0;
    m_uptimeSecs = 0;
    m_alarm.fill(kDisabled);
    m_triggeredFor.fill(0);
    // A powered-up receiver initializes and then goes looking for its pilots by itself.
    Run(Mode::Init, {{0, 0, 8}});
}

void SimDevice::Run(Mode mode, const std::vector<Step>& steps)
{
    m_mode = mode;
    m_steps = steps;
    m_stepIndex = 0;
    m_stepTicks = 0;
}

int SimDevice::MainState() const
{
    return m_steps.empty() ? 0 : m_steps[m_stepIndex].Code;
}

uint8_t SimDevice::Level() const
{
    return m_steps.empty() ? 0 : m_steps[m_stepIndex].Level;
}

void SimDevice::MainFunction(uint8_t cmd, bool fromMonitor)
{
    bool v3 = IsV3(m_gen);
    auto Log = [&](const std::string& line) {
        if (fromMonitor)
            m_log.push_back(line);
    };
    switch (cmd) {
    case 1:
        Log("rx  1 ZARN Idle");
        Run(Mode::Idle, {{1, 0, 0}});
        break;
    case 2:
        Log("rx  2 Pilot Search");
        if (v3)
            Run(Mode::Pilot,
                {{2, 1, 2}, {3, 1, 2}, {4, 1, 8}, {5, 2, 4}, {6, 3, 3}, {7, 3, 3}, {8, 3, 3}, {9, 4, 0}});
        else
            Run(Mode::Pilot,
                {{10, 1, 2}, {11, 1, 8}, {12, 2, 4}, {13, 3, 3}, {14, 3, 3}, {15, 3, 3}, {16, 4, 0}});
        break;
    case 3:
        if (v3) {
            // Version 3 firmware has no telemetry search; the command is ignored.
            Log("rx  3 Telem Search (not in this firmware, ignored)");
            break;
        }
        Log("rx  3 Telem Search");
        Run(Mode::Telem, {{3, 1, 2}, {4, 1, 8}, {5, 2, 4}, {6, 3, 3}, {7, 3, 3}, {8, 3, 3}, {9, 4, 0}});
        break;
    case 4:
        Log("rx  4 Swap Pilots");
        m_activePilot = 3 - m_activePilot;
        if (m_mode == Mode::Pilot && v3)
            Run(Mode::Pilot, {{11, 1, 2}, {12, 1, 2}, {6, 3, 2}, {7, 3, 2}, {8, 3, 2}, {9, 4, 0}});
        else if (m_mode == Mode::Pilot)
            Run(Mode::Pilot, {{13, 3, 2}, {14, 3, 2}, {15, 3, 2}, {16, 4, 0}});
        else if (m_mode == Mode::Telem)
            Run(Mode::Telem, {{6, 3, 2}, {7, 3, 2}, {8, 3, 2}, {9, 4, 0}});
        break;
    }
}

void SimDevice::TestControl(const Bytes& p)
{
    if (p.empty()) {
        Log("rx  7 Test control without sub-command (ignored)");
        return;
    }
    auto f32 = [&]() { return p.size() >= 5 ? GetF32(p.data() + 1) : 0.0f; };
    uint8_t v = p.size() >= 2 ? p[1] : 0;
    switch (p[0]) {
    case 0:
        m_pllEnabled = v != 0;
        Log(std::string("rx  7 Test: PLL ") + (m_pllEnabled ? "enabled" : "disabled"));
        break;
    case 1:
        m_feedback = v;
        Log("rx  7 Test: demod feedback " + (v == 0 ? std::string("off") : "demod " + std::to_string(v)));
        break;
    case 2:
        m_gainOverride = f32();
        Log("rx  7 Test: VCO gain override " + Fmt("%.2f", m_gainOverride));
        break;
    case 3:
        m_freqOut = v != 0;
        Log(std::string("rx  7 Test: frequency output ") + (m_freqOut ? "enabled" : "disabled"));
        break;
    case 4:
        m_testVolts = f32();
        Log("rx  7 Test: VCO voltage " + Fmt("%.3f V", m_testVolts));
        // Driving the VCO by hand takes the receiver out of its loops.
        Run(Mode::TestHold, {{uint8_t(IsV3(m_gen) ? 10 : 17), 0, 0}});
        break;
    default:
        Log("rx  7 Test: unknown sub-command " + std::to_string(p[0]) + " (ignored)");
    }
}

// ---------------------------------------------------------------- frames in

void SimDevice::OnFrame(const SimRxFrame& f, std::vector<SimOut>& out)
{
    const Bytes& p = f.Payload;
    auto reply = [&](uint8_t type, Bytes data) { out.push_back(SimOut{true, type, std::move(data), false}); };
    auto lenIs = [&](size_t n, const char* what) {
        if (p.size() == n)
            return true;
        Log("rx " + std::to_string(f.Type) + " " + what + " with " + std::to_string(p.size()) +
            " bytes instead of " + std::to_string(n) + " (ignored)");
        return false;
    };
    // Generation 1 has no alarms and no separate set-up; VCO calibration came with generation 3.
    bool hasSetup = m_gen >= 2, hasVcoCal = m_gen >= 3;

    switch (f.Type) {
    case 1:
    case 2:
    case 3:
    case 4:
        MainFunction(f.Type);
        break;
    case 5:
        if (p.size() >= 4) {
            m_synthMHz = GetF32(p.data());
            Log("rx  5 Set synthesizer frequency " + Fmt("%.6f MHz", m_synthMHz));
        } else {
            Log("rx  5 Set synthesizer frequency, short payload (ignored)");
        }
        break;
    case 7:
        TestControl(p);
        break;
    case 10:
        BootFrame(f, out);
        break;
    case 14: {
        Log("rx 14 Identification request -> \"" + m_ident + "\"");
        Bytes text(m_ident.begin(), m_ident.end());
        text.push_back(0);
        reply(14, text);
        break;
    }
    case 16:
        Log("rx 16 Calibration request");
        {
            Bytes rec = m_calib;
            // From generation 2 on the IF frequency lives in the set-up record.
            if (hasSetup) {
                std::copy(m_setup.begin() + 2, m_setup.begin() + 6, rec.begin());
                if (!IsV3(m_gen))
                    std::copy(m_setup.begin() + 6, m_setup.begin() + 10, rec.begin() + 4);
            }
            reply(16, rec);
        }
        break;
    case 17:
        if (lenIs(kCalibLength, "Store calibration")) {
            m_calib = p;
            char sn[17] = {};
            std::memcpy(sn, p.data() + 10, 16);
            Log("rx 17 Store calibration: S/N \"" + std::string(sn) + "\", IF " +
                Fmt("%.6f MHz", GetF32(p.data())) + ", telemetry offset " +
                Fmt("%.3f kHz", GetF32(p.data() + 4)));
            if (hasSetup) {
                std::copy(p.begin(), p.begin() + 4, m_setup.begin() + 2);
                if (!IsV3(m_gen))
                    std::copy(p.begin() + 4, p.begin() + 8, m_setup.begin() + 6);
            }
            reply(17, {});
        }
        break;
    case 18:
        if (!HasAlarms()) {
            Log("rx 18 Acknowledge alarms (no alarms in this firmware, ignored)");
            break;
        }
        Log("rx 18 Acknowledge alarms");
        for (auto& a : m_alarm)
            if (a == kActive)
                a = kAcknowledged;
        break;
    case 19:
        if (!HasAlarms()) {
            Log("rx 19 Alarm set-up request (no alarms in this firmware, ignored)");
            break;
        }
        Log("rx 19 Alarm set-up request");
        reply(19, m_alarmSetup);
        break;
    case 20:
        if (HasAlarms() && lenIs(kAlarmSetupLength, "Write alarm set-up")) {
            m_alarmSetup = p;
            Log("rx 20 Write alarm set-up: " + HexBytes(p.data(), p.size()));
        } else if (!HasAlarms()) {
            Log("rx 20 Write alarm set-up (no alarms in this firmware, ignored)");
        }
        break;
    case 21:
        if (!hasSetup) {
            Log("rx 21 Set-up request (no set-up record in this firmware, ignored)");
            break;
        }
        Log(std::string("rx 21 Set-up request (") + (IsV3(m_gen) ? "V3" : "early") + " layout)");
        reply(21, m_setup);
        break;
    case 22:
        if (!hasSetup) {
            Log("rx 22 Store set-up (no set-up record in this firmware, ignored)");
        } else if (lenIs(kSetupLength, "Store set-up")) {
            m_setup = p;
            Log("rx 22 Store set-up: IF " + Fmt("%.4f MHz", GetF32(p.data() + 2)) + ", pilot 1 " +
                std::to_string(GetI32(p.data() + 20)) + " Hz, pilot 2 " +
                std::to_string(GetI32(p.data() + 28)) + " Hz, LNA " + ((p[0] & 2) ? "on" : "off"));
        }
        break;
    case 23:
    case 25: {
        const char* what = f.Type == 23 ? "VCO DAC" : "VCO ADC";
        if (!hasVcoCal) {
            Log("rx " + std::to_string(f.Type) + " " + what +
                " calibration request (not in this firmware, ignored)");
            break;
        }
        Log("rx " + std::to_string(f.Type) + " " + what + " calibration request");
        reply(f.Type, f.Type == 23 ? m_dacCal : m_adcCal);
        break;
    }
    case 24:
    case 26: {
        const char* what = f.Type == 24 ? "VCO DAC" : "VCO ADC";
        if (!hasVcoCal) {
            Log("rx " + std::to_string(f.Type) + " Set " + what +
                " calibration (not in this firmware, ignored)");
        } else if (lenIs(kVcoCalLength, "Set VCO calibration")) {
            (f.Type == 24 ? m_dacCal : m_adcCal) = p;
            Log("rx " + std::to_string(f.Type) + " Set " + what + " calibration: slope " +
                Fmt("%.5f", GetF32(p.data())) + ", offset " + Fmt("%.5f", GetF32(p.data() + 4)));
        }
        break;
    }
    default:
        Log("rx " + std::to_string(f.Type) + " unknown message, " + std::to_string(p.size()) +
            " bytes (ignored): " + HexBytes(p.data(), p.size()));
    }
}

// ---------------------------------------------------------------- bootloaders

void SimDevice::BootFrame(const SimRxFrame& f, std::vector<SimOut>& out)
{
    const Bytes& p = f.Payload;
    auto text = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
    if (p.empty()) {
        Log("rx 10 Start MAIN bootloader: the line now carries the bootloader's text");
        // The application answers before it hands the line over to the bootloader.
        out.push_back(SimOut{true, 10, text("MAIN Bootloader Started\r\n"), false});
        m_mainBoot = true;
        m_mainLine.clear();
        return;
    }
    if (p.size() == 1 && (p[0] == 'I' || p[0] == 'B')) {
        Log(std::string("rx 10 Start IRIG bootloader (\"") + char(p[0]) + "\")");
        m_irigBoot = true;
        if (!m_faults[SimFault::BootMute])
            out.push_back(SimOut{true, 10, text("IRIG Bootloader Ready\r\n"), true});
        return;
    }
    std::string rec(p.begin(), p.end());
    if (p[0] != ':' || !m_irigBoot) {
        Log("rx 10 \"" + PrintableText(p) + "\" (" +
            (m_irigBoot ? "not a record" : "IRIG bootloader not running") + ", ignored)");
        return;
    }
    std::string reply;
    if (BootRecord(SimProcessor::Irig, rec, reply))
        out.push_back(SimOut{true, 10, text(reply + "\r\n"), true});
}

void SimDevice::OnMainBootByte(uint8_t b, std::vector<SimOut>& out)
{
    auto send = [&](const std::string& s) {
        out.push_back(SimOut{false, 0, Bytes(s.begin(), s.end()), true});
    };
    if (m_mainLine.empty()) {
        if (b == 'U') {
            Log("boot MAIN rx \"U\" (sync)");
            if (!m_faults[SimFault::BootMute])
                send("U");
        } else if (b == ':') {
            m_mainLine = ":";
        }
        // Anything else between records (line ends, stray bytes) is skipped.
        return;
    }
    bool hex = (b >= '0' && b <= '9') || (b >= 'A' && b <= 'F') || (b >= 'a' && b <= 'f');
    if (!hex) {
        // A record broken off: the bootloader answers what it got, without the full stop.
        Log("boot MAIN rx broken record \"" + m_mainLine + "\"");
        if (!m_faults[SimFault::BootMute])
            send(m_mainLine + "\r\n");
        m_mainLine = b == ':' ? ":" : "";
        return;
    }
    m_mainLine += char(b);
    if (m_mainLine.size() >= 3) {
        int count = std::stoi(m_mainLine.substr(1, 2), nullptr, 16);
        if (m_mainLine.size() == HexRecordLength(uint8_t(count))) {
            std::string rec;
            rec.swap(m_mainLine);
            std::string reply;
            if (BootRecord(SimProcessor::Main, rec, reply))
                send(reply + "\r\n");
        }
    }
}

void SimDevice::OnConnectionLost()
{
    m_mainLine.clear();
}

bool SimDevice::BootRecord(SimProcessor proc, const std::string& text, std::string& reply)
{
    const char* name = proc == SimProcessor::Main ? "MAIN" : "IRIG";
    int& no = m_recordNo[int(proc)];
    m_bootRecords.push_back(std::string(name) + " " + text);
    bool mute = m_faults[SimFault::BootMute] != 0;

    HexRecord r;
    if (!ParseHexRecord(text, r)) {
        Log(std::string("boot ") + name + " rx \"" + text + "\": bad record or checksum -> error reply");
        reply = text;
        return !mute;
    }
    bool isRestart = r.Type == 3 && r.Data.size() == 2 && r.Data[0] == 3 && r.Data[1] == 0;
    if (isRestart && m_faults[SimFault::BootNoRestart]) {
        Log(std::string("boot ") + name + " rx restart record: not answered (fault)");
        return false;
    }
    bool isStart = r.Type == 3 && r.Data.size() == 1 && r.Data[0] == 7;
    if (!isStart && no >= 0)
        ++no;
    if (!isStart && no > 0 && no == m_faults[SimFault::BootErrorAt]) {
        Log(std::string("boot ") + name + " rx \"" + text + "\": record " + std::to_string(no) +
            " refused (fault) -> error reply");
        reply = text;
        return !mute;
    }
    SimFlash::Outcome o = m_flash[int(proc)].Apply(r);
    switch (o) {
    case SimFlash::Outcome::Error:
        Log(std::string("boot ") + name + " rx \"" + text + "\": not accepted -> error reply");
        reply = text;
        return !mute;
    case SimFlash::Outcome::Start:
        no = 0;
        Log(std::string("boot ") + name + " rx start record: flash erased, programming");
        break;
    case SimFlash::Outcome::Restart:
        Log(std::string("boot ") + name + " rx restart record: processor restarts");
        no = -1;
        if (proc == SimProcessor::Main) {
            m_mainBoot = false;
            m_mainLine.clear();
            PowerUp();
        } else {
            m_irigBoot = false;
        }
        break;
    case SimFlash::Outcome::Ack:
        Log(std::string("boot ") + name + " rx \"" + text + "\"" + (r.Type == 0 ? " written" : " ok"));
        break;
    }
    if (!isStart && !isRestart && no > 0 && no == m_faults[SimFault::BootDropAt]) {
        Log(std::string("boot ") + name + " reply to record " + std::to_string(no) + " dropped (fault)");
        return false;
    }
    reply = text + ".";
    return !mute;
}

// ---------------------------------------------------------------- status

float SimDevice::Walk(float& v, float target, float pull, float sigma)
{
    std::normal_distribution<float> n(0.0f, sigma);
    v += (target - v) * pull + n(m_rng);
    return v;
}

float SimDevice::IfMHz() const
{
    return m_gen >= 2 ? GetF32(m_setup.data() + 2) : GetF32(m_calib.data());
}

void SimDevice::Tick(double dt)
{
    ++m_uptimeTicks;
    m_uptimeSecs += dt;
    if (m_steps.empty())
        return;
    const Step& s = m_steps[m_stepIndex];
    if (s.Ticks > 0 && ++m_stepTicks >= s.Ticks) {
        m_stepTicks = 0;
        if (m_stepIndex + 1 < m_steps.size()) {
            ++m_stepIndex;
        } else if (m_mode == Mode::Init) {
            MainFunction(2, false);
        }
    }
}

std::string SimDevice::TimeText()
{
    if (m_cfg.NoTime)
        return "";
    bool gps = m_gen >= 6;
    bool irigIn = !m_cfg.NoTimeLock && !m_condApi[kIrig] && !m_condAuto[kIrig] && m_uptimeTicks >= 6;
    bool gpsLock = gps && !m_cfg.NoTimeLock && m_uptimeTicks >= 14;
    bool valid = !m_irigBoot && (gpsLock || irigIn);
    char buf[32];
    if (!valid) {
        // Without time the clock runs from zero and the day of year reads 000.
        long secs = long(m_uptimeSecs);
        std::snprintf(buf, sizeof buf, "00 000 %02ld:%02ld:%02ld", (secs / 3600) % 24, (secs / 60) % 60,
                      secs % 60);
        return buf;
    }
    std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm tm{};
    gmtime_r(&t, &tm);
    std::snprintf(buf, sizeof buf, "%02d %03d %02d:%02d:%02d", tm.tm_year % 100, tm.tm_yday + 1, tm.tm_hour,
                  tm.tm_min, tm.tm_sec);
    return buf;
}

SimStatus SimDevice::Status()
{
    SimStatus s;
    bool v3 = IsV3(m_gen);
    uint8_t lvl = Level();
    bool init = m_mode == Mode::Init;
    bool rf = m_condApi[kRf] || m_condAuto[kRf];
    bool p1Fail = m_condApi[kPilot1] || m_condAuto[kPilot1];
    bool p2Fail = m_condApi[kPilot2] || m_condAuto[kPilot2];
    bool supply = m_condApi[kSupply] || m_condAuto[kSupply];
    bool irigCond = m_condApi[kIrig] || m_condAuto[kIrig];

    s.MainState = uint8_t(MainState());

    // IRIG and GPS
    bool irigIn = !m_cfg.NoTimeLock && !irigCond && m_uptimeTicks >= 6;
    uint8_t gps = 0;
    if (m_gen >= 6) {
        static const uint8_t seq[] = {3, 3, 3, 3, 6, 6, 6, 6, 8, 8, 9, 9, 5, 5}; // then 1: time lock
        if (m_cfg.NoTimeLock)
            gps = m_uptimeTicks < 4 ? 3 : 6;
        else
            gps = m_uptimeTicks < long(sizeof seq) ? seq[m_uptimeTicks] : 1;
    }
    uint8_t irigOut = gps == 1 ? 3 : irigIn ? 2 : 1;
    uint8_t irigInCode = irigIn ? 2 : 1;
    if (m_irigBoot)
        irigOut = irigInCode = 0; // the IRIG processor sits in its bootloader
    s.SynthIrigBits = uint8_t((init ? 0 : 1) | (v3 && !init ? 2 : 0) | irigOut << 2 | irigInCode << 4);
    s.GpsState = gps;

    bool p1Lock = lvl >= 3 && !p1Fail, p2Lock = lvl >= 3 && !p2Fail;
    bool p1Active = lvl >= 2 && m_activePilot == 1 && !p1Fail;
    bool p2Active = lvl >= 2 && m_activePilot == 2 && !p2Fail;
    s.StatusBits = uint8_t((p1Lock ? 0x01 : 0) | (p1Active ? 0x02 : 0) | 0x04 | (lvl == 1 ? 0x08 : 0) |
                           (lvl >= 3 && !rf ? 0x10 : 0) | (supply ? 0 : 0x20) | (p2Lock ? 0x40 : 0) |
                           (p2Active ? 0x80 : 0));

    // Readings: wide band
    float gainTarget = rf ? 41.0f : lvl >= 3 ? 27.0f : lvl >= 1 ? 31.0f : 24.0f;
    s.WideBandGain = Walk(m_wbGain, gainTarget, 0.15f, 0.08f);
    float levelTarget = (v3 ? -38.0f : -72.0f) - (rf ? 19.0f : 0.0f);
    s.WideBandLevel = Walk(m_wbLevel, levelTarget, 0.2f, 0.12f);

    // VCO: tracking when locked, sweeping while searching, held by hand in test hold
    if (m_mode == Mode::TestHold) {
        float dacSlope = GetF32(m_dacCal.data()), dacOff = GetF32(m_dacCal.data() + 4);
        float adcSlope = GetF32(m_adcCal.data()), adcOff = GetF32(m_adcCal.data() + 4);
        m_vco = (m_testVolts * dacSlope + dacOff) * adcSlope + adcOff;
    } else if (!m_pllEnabled) {
        // loop open: the voltage stays where it was
    } else if (lvl == 1) {
        m_sweep += 0.16f;
        m_vco = 2.25f + 1.25f * std::sin(m_sweep);
    } else if (lvl >= 2) {
        Walk(m_vco, 2.25f, lvl >= 4 ? 0.3f : 0.15f, lvl >= 4 ? 0.004f : 0.02f);
    } else {
        Walk(m_vco, 2.0f, 0.3f, 0.002f);
    }
    s.VcoVolts = m_vco;
    s.Reserved = 0;
    s.VcoFreq = VcoFreqAt(m_calib, m_vco);
    s.IfFreq = IfMHz() + s.VcoFreq * 1e-6f;
    if (v3) {
        s.UpSynthFreq = m_synthMHz;
        s.DownSynthFreq = GetF32(m_setup.data() + 10) - IfMHz();
    }

    // Demodulators: demod 1 follows pilot 1, demod 2 pilot 2
    std::string time = TimeText();
    bool irigOk = irigIn && !m_irigBoot;
    for (int d = 0; d < 2; ++d) {
        SimDemod& dm = d == 0 ? s.Demod1 : s.Demod2;
        DemodWalk& w = m_dw[d];
        bool fail = d == 0 ? p1Fail : p2Fail;
        bool online = lvl >= 3 && !fail;
        uint8_t synth = init ? 0 : 0x02;
        if (init)
            dm.State = 0;
        else if (online)
            dm.State = uint8_t(m_activePilot == d + 1 ? d + 1 : d + 3);
        else if (lvl == 0)
            dm.State = 0;
        else
            dm.State = lvl >= 2 && !fail ? 6 : 5;
        dm.Flags = uint8_t(synth | (irigOk ? 0x01 : 0) | (online ? 0x10 : 0));
        float agc = GetF32(m_setup.data() + (d == 0 ? 24 : 32));
        if (m_gen < 2 || !(agc > 30 && agc < 60))
            agc = 47.0f;
        dm.PilotLevel = Walk(w.Pilot, online ? agc : 12.0f, 0.35f, 0.1f);
        dm.AmpNoise = Walk(w.Amp, 17.5f, 0.1f, 0.25f);
        dm.ChanNoise = Walk(w.Chan, rf ? 31.0f : 21.0f, 0.1f, 0.25f);
        dm.PhaseNoise = Walk(w.Phase, lvl >= 4 ? 3.2f : 6.0f, 0.15f, 0.1f);
        dm.FreqError = Walk(w.Freq, 0.0f, lvl >= 4 ? 0.3f : 0.05f, lvl >= 4 ? 1.2f : 6.0f);
        if (dm.FreqError > 45)
            w.Freq = dm.FreqError = 45;
        if (dm.FreqError < -45)
            w.Freq = dm.FreqError = -45;
        dm.TimeText = time;
    }
    return s;
}

Bytes SimDevice::StatusPayload()
{
    return EncodeStatus(Status(), m_gen);
}

// ---------------------------------------------------------------- alarms

void SimDevice::SetAlarmCondition(int alarm, bool on)
{
    if (alarm >= 0 && alarm < 5)
        m_condApi[size_t(alarm)] = on;
}

std::array<uint8_t, 5> SimDevice::AlarmStep(double dt)
{
    ++m_alarmSteps;
    // The demonstration cycle: every 45 periods one enabled alarm has its condition for 15.
    if (m_cfg.AutoAlarms) {
        if (m_autoUntil >= 0 && m_alarmSteps >= m_autoUntil) {
            m_condAuto.fill(false);
            m_autoUntil = -1;
        }
        if (m_alarmSteps % 45 == 0) {
            for (int k = 0; k < 5; ++k) {
                int i = (m_autoNext + k) % 5;
                uint8_t type = m_alarmSetup[size_t(1 + 5 * i)];
                if (type == 1 || type == 0x81) {
                    m_condAuto[size_t(i)] = true;
                    m_autoUntil = m_alarmSteps + 15;
                    m_autoNext = i + 1;
                    break;
                }
            }
        }
    }
    bool up = m_mode != Mode::Init;
    for (size_t i = 0; i < 5; ++i) {
        uint8_t type = m_alarmSetup[1 + 5 * i];
        bool latched = type == 0x81;
        bool cond = m_condApi[i] || m_condAuto[i];
        uint8_t& a = m_alarm[i];
        uint8_t before = a;
        if (type != 1 && type != 0x81) {
            a = kDisabled;
        } else {
            switch (a) {
            case kDisabled:
                a = kEnabled;
                break;
            case kEnabled:
                if (up)
                    a = kArmed;
                break;
            case kArmed:
                if (cond) {
                    a = kTriggered;
                    m_triggeredFor[i] = 0;
                }
                break;
            case kTriggered:
                m_triggeredFor[i] += dt;
                if (!cond)
                    a = kArmed;
                else if (m_triggeredFor[i] >= m_alarmSetup[2 + 5 * i] * 0.1)
                    a = kActive;
                break;
            case kActive:
                if (!cond && !latched)
                    a = kArmed;
                break;
            case kAcknowledged:
                if (!cond)
                    a = kArmed;
                break;
            default:
                a = kArmed;
            }
        }
        if (a != before) {
            static const char* const names[] = {"RF", "Pilot 1", "Pilot 2", "Power Supply", "IRIG"};
            static const char* const states[] = {"Disabled",  "Enabled", "Armed",
                                                 "Triggered", "Active",  "Acknowledged"};
            Log(std::string("alarm ") + names[i] + ": " + states[before] + " -> " + states[a]);
        }
    }
    return m_alarm;
}

} // namespace zsim
