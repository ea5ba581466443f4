#pragma once
// The Operation page: the device's front panel on the PC. Main state, pilot lock and activity,
// power supplies, wide band and AGC, IRIG and GPS state, the VCO, gain, level, pilot and noise
// readings with bar meters, the IF and synthesizer frequencies, the main-function buttons and
// the ALARM button (whose actions the main frame binds).
#include <QWidget>

class QGroupBox;
class QLabel;
class QPushButton;
class TBarMeter;
class TLedIndicator;
class TNumEdit;
struct TZarnStatusRec;

class TZarnOpFrame : public QWidget {
    Q_OBJECT
public:
    explicit TZarnOpFrame(QWidget* parent = nullptr);

    // Back to the "no communication" look: no state texts, LEDs silver, meters empty, readings "N/A".
    void Reset();
    // Lays the page out for a firmware generation code (0 to 11; 0 when identification failed).
    void ApplyGeneration(int generation);
    // Shows one released status record.
    void ApplyStatus(const TZarnStatusRec& r);

    // The identified generation is a version 3 one (8 to 11).
    bool IsV3() const { return FV3; }
    // Distance the pilot groups move into the space the hidden power supplies leave.
    int PilotShift() const { return FShift; }

    // Main status.
    QGroupBox* gbOpStatus;
    QGroupBox* gbPilot1;
    QGroupBox* gbPilot2;
    TLedIndicator* ledP1Lock;
    TLedIndicator* ledP1Active;
    TLedIndicator* ledP2Lock;
    TLedIndicator* ledP2Active;
    QLabel* lblP1Lock;
    QLabel* lblP1Active;
    QLabel* lblP2Lock;
    QLabel* lblP2Active;
    TLedIndicator* ledPSA_OK;
    TLedIndicator* ledWideBand;
    TLedIndicator* ledAGC;
    TLedIndicator* ledPSB_OK;
    QLabel* lblPSA;
    QLabel* lblWideBand;
    QLabel* lblAGC;
    QLabel* lblPSB;
    QLabel* lblDemod1Error;
    QLabel* lblDemod2Error;
    QLabel* lblPilotState;
    QLabel* lblZARN_State;
    QLabel* lblIrigOut;
    QLabel* lblIrigOutState;
    QLabel* lblIrigIn;
    QLabel* lblIrigInState;
    QLabel* lblGpsStatus;
    QLabel* lblGpsState;

    // Readings: each a captioned panel holding its right-aligned reading, and a meter.
    QGroupBox* gbPilotGainLevel;
    TBarMeter* VCOFreqMeter;
    TBarMeter* VCOVoltsMeter;
    TBarMeter* WBGainMeter;
    TBarMeter* WBLevelMeter;
    TBarMeter* ActPilotMeter;
    TBarMeter* NoiseMeter;
    QLabel* pnlVCOFreq;
    QLabel* pnlVCOVolts;
    QLabel* pnlWideBandGain;
    QLabel* pnlWideBandLevel;
    QLabel* pnlActivePilot;
    QLabel* pnlNoiseFloor;
    QLabel* lblVCOFreq;
    QLabel* lblVCOVolts;
    QLabel* lblWB_Gain;
    QLabel* lblWB_Level;
    QLabel* lblActPilotLvl;
    QLabel* lblNoiseFloor;

    // Main functions (handlers and the address edit come from the main frame).
    QGroupBox* gbMainFunc;
    QPushButton* btnSwap;
    QPushButton* btnIdle;
    QPushButton* btnPilot;
    QPushButton* btnTelem;
    QPushButton* rzbtnAlarm;

    // IF and synthesizers.
    QGroupBox* gbIF_Status;
    QLabel* lblFreqMHz;
    TNumEdit* rzneIF_Frequency;
    TLedIndicator* ledSynLock;
    QLabel* lblSynLock;
    TLedIndicator* ledUpSynLock;
    QLabel* lblUpSynLock;
    TNumEdit* rneUpSynFreq;
    TLedIndicator* ledDnSynLock;
    QLabel* lblDnSynLock;
    TNumEdit* rneDnSynFreq;

private:
    void BuildMainStatus();
    void BuildReadings();
    void BuildMainFunctions();
    void BuildIfStatus();
    // Places both pilot groups (and their error labels under them) shifted towards each other by `shift`.
    void PlacePilotGroups(int shift);
    void ShowDemodError(QGroupBox* group, QLabel* label, bool error);

    bool FV3 = false;
    int FPilot1Left = 0;
    int FPilot2Left = 0;
    int FShift = 0;
};
