#include "KivZarnOpFrame.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "BarMeter.h"
#include "KivZarnStatusTexts.h"
#include "LedIndicator.h"
#include "NumEdit.h"
#include "ZarnColors.h"
#include "ZarnPageKit.h"
#include "ZarnStatusRec.h"

using namespace zpk;

namespace {

// Wide-band level meter ranges in tenths of a dB: version 3 units sit 40 dB higher.
constexpr int WbLevelMinEarly = -1000;
constexpr int WbLevelMaxEarly = -500;
constexpr int WbLevelMinV3 = -600;
constexpr int WbLevelMaxV3 = -200;

bool IsDesktopUnit(int generation)
{
    return generation == 5 || generation == 7 || generation == 9 || generation == 11;
}

// Column geometry of the lamp row: the four middle lamps stand 50 pixels apart.
constexpr int LampPitch = 50;
constexpr int LampLabelWidth = 44;

} // namespace

TZarnOpFrame::TZarnOpFrame(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("OpFrame"));
    ApplyPageFont(this);
    setGeometry(0, 0, 592, 372);
    BuildMainStatus();
    BuildReadings();
    BuildMainFunctions();
    BuildIfStatus();

    // Where the pilot groups stand with all four middle lamps shown, and how far they move
    // when the power-supply lamps are hidden.
    FPilot1Left = gbPilot1->x();
    FPilot2Left = gbPilot2->x();
    FShift = ledWideBand->x() - ledPSA_OK->x();
    rzbtnAlarm->hide();
    ApplyGeneration(0);
    Reset();
}

void TZarnOpFrame::BuildMainStatus()
{
    gbOpStatus = Group(this, "gbOpStatus", QStringLiteral("Main Status "), 4, 2, 440, 182);

    // Pilot groups at the ends of the lamp row, each with its lock and activity lamps.
    auto pilotGroup = [this](const char* name, const QString& title, int x, TLedIndicator*& lock,
                             TLedIndicator*& active, QLabel*& lockLbl, QLabel*& activeLbl,
                             const char* lockName, const char* activeName, const char* lockLblName,
                             const char* activeLblName) {
        QGroupBox* g = Group(gbOpStatus, name, title, x, 18, 106, 60);
        g->setAlignment(Qt::AlignHCenter);
        lock = Led(g, lockName, 22, 20);
        active = Led(g, activeName, 68, 20);
        lockLbl =
            Label(g, lockLblName, QStringLiteral("LOCK"), 8, 38, 44, 15, Qt::AlignHCenter | Qt::AlignTop);
        activeLbl = Label(g, activeLblName, QStringLiteral("ACTIVE"), 54, 38, 44, 15,
                          Qt::AlignHCenter | Qt::AlignTop);
        return g;
    };
    gbPilot1 = pilotGroup("gbPilot1", QStringLiteral("Pilot 1"), 10, ledP1Lock, ledP1Active, lblP1Lock,
                          lblP1Active, "ledP1Lock", "ledP1Active", "lblP1Lock", "lblP1Active");
    gbPilot2 = pilotGroup("gbPilot2", QStringLiteral("Pilot 2"), 324, ledP2Lock, ledP2Active, lblP2Lock,
                          lblP2Active, "ledP2Lock", "ledP2Active", "lblP2Lock", "lblP2Active");

    // The four middle lamps, centred in the row between the groups.
    const int firstCentre = 145;
    auto lamp = [this](int column, const char* ledName, const char* lblName, const QString& text,
                       TLedIndicator*& led, QLabel*& lbl) {
        const int centre = firstCentre + column * LampPitch;
        led = Led(gbOpStatus, ledName, centre - 8, 38);
        lbl = Label(gbOpStatus, lblName, text, centre - LampLabelWidth / 2, 56, LampLabelWidth, 30,
                    Qt::AlignHCenter | Qt::AlignTop);
    };
    lamp(0, "ledPSA_OK", "lblPSA", QStringLiteral("PS A\nOK"), ledPSA_OK, lblPSA);
    lamp(1, "ledWideBand", "lblWideBand", QStringLiteral("WIDE\nBAND"), ledWideBand, lblWideBand);
    lamp(2, "ledAGC", "lblAGC", QStringLiteral("AGC"), ledAGC, lblAGC);
    lamp(3, "ledPSB_OK", "lblPSB", QStringLiteral("PS B\nOK"), ledPSB_OK, lblPSB);

    // "DEMOD ERROR" stands under its pilot group (outside it, so it stays readable on red).
    auto errorLabel = [this](const char* name, QGroupBox* under) {
        QLabel* l = Label(gbOpStatus, name, QStringLiteral("DEMOD ERROR"), under->x(), 80, under->width(), 16,
                          Qt::AlignHCenter | Qt::AlignVCenter);
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
        QPalette pal = l->palette();
        pal.setColor(QPalette::WindowText, clRed);
        l->setPalette(pal);
        l->hide();
        return l;
    };
    lblDemod1Error = errorLabel("lblDemod1Error", gbPilot1);
    lblDemod2Error = errorLabel("lblDemod2Error", gbPilot2);

    // State lines: right-aligned captions, texts beside them.
    auto stateLine = [this](int row, const char* capName, const QString& caption, const char* textName,
                            QLabel*& cap, QLabel*& text) {
        const int y = 100 + row * 19;
        cap = Caption(gbOpStatus, capName, caption, 8, y, 90, 18);
        text = Label(gbOpStatus, textName, QString(), 100, y, 332, 18);
        QFont f = text->font();
        f.setBold(true);
        text->setFont(f);
    };
    stateLine(0, "lblPilotState", QStringLiteral("ZARN State:"), "lblZARN_State", lblPilotState,
              lblZARN_State);
    stateLine(1, "lblIrigOut", QStringLiteral("IRIG Out:"), "lblIrigOutState", lblIrigOut, lblIrigOutState);
    stateLine(2, "lblIrigIn", QStringLiteral("IRIG In:"), "lblIrigInState", lblIrigIn, lblIrigInState);
    stateLine(3, "lblGpsStatus", QStringLiteral("GPS Status:"), "lblGpsState", lblGpsStatus, lblGpsState);
}

void TZarnOpFrame::BuildReadings()
{
    gbPilotGainLevel =
        Group(this, "gbPilotGainLevel", QStringLiteral("VCO, Pilot, && Gain Levels "), 4, 188, 440, 180);
    auto row = [this](int i, const char* pnlName, const QString& caption, const char* lblName,
                      const char* meterName, int min, int max, QLabel*& pnl, QLabel*& lbl,
                      TBarMeter*& meter) {
        const int y = 20 + i * 26;
        pnl = Panel(gbPilotGainLevel, pnlName, caption, 8, y, 236, 22);
        lbl = Reading(pnl, lblName, 84);
        meter = Meter(gbPilotGainLevel, meterName, min, max, 252, y + 4, 178, 14);
    };
    row(0, "pnlVCOFreq", QStringLiteral("  VCO Freq (Hz):"), "lblVCOFreq", "VCOFreqMeter", -5000, 5000,
        pnlVCOFreq, lblVCOFreq, VCOFreqMeter);
    row(1, "pnlVCOVolts", QStringLiteral("  VCO Voltage (V):"), "lblVCOVolts", "VCOVoltsMeter", 0, 5000,
        pnlVCOVolts, lblVCOVolts, VCOVoltsMeter);
    row(2, "pnlWideBandGain", QStringLiteral("  Wide Band Gain:"), "lblWB_Gain", "WBGainMeter", 0, 420,
        pnlWideBandGain, lblWB_Gain, WBGainMeter);
    row(3, "pnlWideBandLevel", QStringLiteral("  WB Level (dBm):"), "lblWB_Level", "WBLevelMeter",
        WbLevelMinEarly, WbLevelMaxEarly, pnlWideBandLevel, lblWB_Level, WBLevelMeter);
    row(4, "pnlActivePilot", QStringLiteral(" Active Pilot Level:"), "lblActPilotLvl", "ActPilotMeter", 440,
        500, pnlActivePilot, lblActPilotLvl, ActPilotMeter);
    row(5, "pnlNoiseFloor", QStringLiteral("  Noise Floor:"), "lblNoiseFloor", "NoiseMeter", 0, 400,
        pnlNoiseFloor, lblNoiseFloor, NoiseMeter);
}

void TZarnOpFrame::BuildMainFunctions()
{
    gbMainFunc = Group(this, "gbMainFunc", QStringLiteral("Main Functions "), 448, 2, 140, 204);
    // Telemetry search last: it is hidden outside maintenance mode and must not leave a hole.
    btnIdle = Button(gbMainFunc, "btnIdle", QStringLiteral("ZARN Idle"), 8, 18, 124, 24);
    btnPilot = Button(gbMainFunc, "btnPilot", QStringLiteral("Pilot Search"), 8, 46, 124, 24);
    btnSwap = Button(gbMainFunc, "btnSwap", QStringLiteral("Swap Pilots"), 8, 74, 124, 24);
    btnTelem = Button(gbMainFunc, "btnTelem", QStringLiteral("Telem Search"), 8, 102, 124, 24);
    rzbtnAlarm = Button(gbMainFunc, "rzbtnAlarm", QStringLiteral("ALARM"), 8, 130, 124, 26);
    QFont f = rzbtnAlarm->font();
    f.setBold(true);
    rzbtnAlarm->setFont(f);
    rzbtnAlarm->setAutoFillBackground(true);
    // The address caption and edit (left 6, tops 160 and 176) are put here by the main frame.
}

void TZarnOpFrame::BuildIfStatus()
{
    gbIF_Status = Group(this, "gbIF_Status", QStringLiteral("IF Status "), 448, 210, 140, 158);
    lblFreqMHz = Label(gbIF_Status, "lblFreqMHz", QStringLiteral("Frequency (MHz)"), 8, 16, 124, 16);
    rzneIF_Frequency =
        NumDisplay(gbIF_Status, "rzneIF_Frequency", QStringLiteral("###.00000"), 8, 32, 124, 22);

    // Before version 3 one synthesizer lamp; version 3 units have up and down synthesizers
    // with their frequencies, in the same place.
    ledSynLock = Led(gbIF_Status, "ledSynLock", 8, 64);
    lblSynLock = Label(gbIF_Status, "lblSynLock", QStringLiteral("SYN LOCK"), 30, 62, 102, 20);
    ledUpSynLock = Led(gbIF_Status, "ledUpSynLock", 8, 64);
    lblUpSynLock = Label(gbIF_Status, "lblUpSynLock", QStringLiteral("UP SYN LOCK"), 30, 62, 102, 20);
    rneUpSynFreq = NumDisplay(gbIF_Status, "rneUpSynFreq", QStringLiteral("###.0000"), 8, 82, 124, 22);
    ledDnSynLock = Led(gbIF_Status, "ledDnSynLock", 8, 112);
    lblDnSynLock = Label(gbIF_Status, "lblDnSynLock", QStringLiteral("DN SYN LOCK"), 30, 110, 102, 20);
    rneDnSynFreq = NumDisplay(gbIF_Status, "rneDnSynFreq", QStringLiteral("###.0000"), 8, 130, 124, 22);
}

void TZarnOpFrame::PlacePilotGroups(int shift)
{
    gbPilot1->move(FPilot1Left + shift, gbPilot1->y());
    gbPilot2->move(FPilot2Left - shift, gbPilot2->y());
    lblDemod1Error->move(gbPilot1->x(), lblDemod1Error->y());
    lblDemod2Error->move(gbPilot2->x(), lblDemod2Error->y());
}

void TZarnOpFrame::ShowDemodError(QGroupBox* group, QLabel* label, bool error)
{
    SetFaceColor(group, error ? clRed : clBtnFace());
    label->setVisible(error);
}

void TZarnOpFrame::Reset()
{
    lblZARN_State->setText(QStringLiteral("   No Communication"));
    lblIrigOutState->clear();
    lblIrigInState->clear();
    lblGpsState->clear();

    for (TLedIndicator* led : {ledP1Lock, ledP1Active, ledPSA_OK, ledWideBand, ledAGC, ledPSB_OK, ledP2Lock,
                               ledP2Active, ledSynLock, ledUpSynLock, ledDnSynLock})
        ClearLed(led);

    ShowNotAvailable(lblVCOFreq, VCOFreqMeter);
    ShowNotAvailable(lblVCOVolts, VCOVoltsMeter);
    ShowNotAvailable(lblWB_Gain, WBGainMeter);
    ShowNotAvailable(lblWB_Level, WBLevelMeter);
    ShowNotAvailable(lblActPilotLvl, ActPilotMeter);
    ShowNotAvailable(lblNoiseFloor, NoiseMeter);

    rzneIF_Frequency->ClearValue();
    rneUpSynFreq->ClearValue();
    rneDnSynFreq->ClearValue();

    QPalette pal = rzbtnAlarm->palette();
    pal.setColor(QPalette::Button, QApplication::palette().color(QPalette::Button));
    rzbtnAlarm->setPalette(pal);
    rzbtnAlarm->hide();

    ShowDemodError(gbPilot1, lblDemod1Error, false);
    ShowDemodError(gbPilot2, lblDemod2Error, false);
}

void TZarnOpFrame::ApplyGeneration(int generation)
{
    // Power supplies: the early rack units report no supply state (a dark lamp means nothing),
    // the later rack units do (a dark lamp is a fault), the desktop units have none to show.
    if (generation == 1 || generation == 2) {
        ledPSA_OK->SetFaultBit(false);
        ledPSB_OK->SetFaultBit(false);
    } else if (generation == 3 || generation == 4 || generation == 6 || generation == 8 || generation == 10) {
        ledPSA_OK->SetFaultBit(true);
        ledPSB_OK->SetFaultBit(true);
    }
    const bool desktop = IsDesktopUnit(generation);
    for (QWidget* w : std::initializer_list<QWidget*>{ledPSA_OK, ledPSB_OK, lblPSA, lblPSB})
        w->setVisible(!desktop);
    PlacePilotGroups(desktop ? FShift : 0);

    FV3 = generation >= 8 && generation <= 11;
    ledSynLock->setVisible(!FV3);
    lblSynLock->setVisible(!FV3);
    for (QWidget* w : std::initializer_list<QWidget*>{ledUpSynLock, lblUpSynLock, rneUpSynFreq, ledDnSynLock,
                                                      lblDnSynLock, rneDnSynFreq})
        w->setVisible(FV3);

    // A range change empties the bar once; the same range again leaves the reading alone.
    const int min = FV3 ? WbLevelMinV3 : WbLevelMinEarly;
    const int max = FV3 ? WbLevelMaxV3 : WbLevelMaxEarly;
    if (WBLevelMeter->Min() != min || WBLevelMeter->Max() != max) {
        WBLevelMeter->SetRange(min, max);
        WBLevelMeter->SetValue(min);
    }

    ShowDemodError(gbPilot1, lblDemod1Error, false);
    ShowDemodError(gbPilot2, lblDemod2Error, false);
}

void TZarnOpFrame::ApplyStatus(const TZarnStatusRec& r)
{
    lblZARN_State->setText(MainStateLine(r.MainState, FV3));

    uint8_t synth = r.SynthIrigBits;
    if (FV3) {
        ShiftLed(ledUpSynLock, synth);
        ShiftLed(ledDnSynLock, synth);
    } else {
        ShiftLed(ledSynLock, synth);
    }
    lblIrigOutState->setText(IrigOutLine(r.SynthIrigBits));
    lblIrigInState->setText(IrigInLine(r.SynthIrigBits));
    lblGpsState->setText(GpsStateLine(r.GpsState));

    uint8_t bits = r.StatusBits;
    for (TLedIndicator* led :
         {ledP1Lock, ledP1Active, ledPSA_OK, ledWideBand, ledAGC, ledPSB_OK, ledP2Lock, ledP2Active})
        ShiftLed(led, bits);

    // A failure in the readings ends the update; the texts and lamps above stay.
    try {
        ShowMeterReading(lblVCOFreq, VCOFreqMeter, 1, 0, r.VcoFreq);
        ShowMeterReading(lblVCOVolts, VCOVoltsMeter, 3, r.VcoVolts);
        ShowMeterReading(lblWB_Gain, WBGainMeter, 1, r.WideBandGain);
        ShowMeterReading(lblWB_Level, WBLevelMeter, 1, r.WideBandLevel);

        rzneIF_Frequency->SetValue(r.IfFreq);
        rneUpSynFreq->SetValue(r.UpSynthFreq);
        rneDnSynFreq->SetValue(r.DownSynthFreq);

        const bool p1Lock = r.StatusBits & 0x01;
        const bool p1Active = r.StatusBits & 0x02;
        const bool p2Lock = r.StatusBits & 0x40;
        const bool p2Active = r.StatusBits & 0x80;

        if (p1Active)
            ShowMeterReading(lblActPilotLvl, ActPilotMeter, 1, r.Demod1.PilotLevel);
        else if (p2Active)
            ShowMeterReading(lblActPilotLvl, ActPilotMeter, 1, r.Demod2.PilotLevel);
        else
            ShowNotAvailable(lblActPilotLvl, ActPilotMeter);

        float noise = 0.0f;
        if (p1Lock && p2Lock)
            noise = (r.Demod1.ChanNoise + r.Demod2.ChanNoise) / 2.0f;
        else if (p1Lock)
            noise = r.Demod1.ChanNoise;
        else if (p2Lock)
            noise = r.Demod2.ChanNoise;
        if (noise == 0.0f)
            ShowNotAvailable(lblNoiseFloor, NoiseMeter);
        else
            ShowMeterReading(lblNoiseFloor, NoiseMeter, 1, noise);

        ShowDemodError(gbPilot1, lblDemod1Error, r.Demod1.State == 7);
        ShowDemodError(gbPilot2, lblDemod2Error, r.Demod2.State == 7);
    } catch (...) {
    }
}
