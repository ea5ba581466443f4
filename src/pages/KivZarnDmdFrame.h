#pragma once
// One demodulator panel of the Demod page: the demodulator's state in words, its pilot level,
// amplitude, channel and phase noise (interval averages) and frequency error as readings with
// bar meters, and its synthesizer, IRIG and carrier-detect lamps. The panel keeps no state
// between updates: each update repaints it whole from the record and the sample.
#include <QWidget>

class QGroupBox;
class QLabel;
class TBarMeter;
class TLedIndicator;
struct TZarnDemodRec;
struct TZarnLevelSample;

class TZarnDmdFrame : public QWidget {
    Q_OBJECT
public:
    explicit TZarnDmdFrame(QWidget* parent = nullptr);

    // The group's caption ("Demod 1", "Demod 2").
    void SetCaption(const QString& caption);
    QString Caption() const;

    // "  N/A", meters empty, readings "N/A", lamps silver.
    void Reset();
    // As Reset, with "  ***  ERROR  ***" on red.
    void ShowError();
    // Shows one demodulator's part of a status record and its newest interval sample.
    void Apply(const TZarnDemodRec& d, const TZarnLevelSample& s);

    QGroupBox* gbDemod;
    QLabel* lblDemodStatus;
    QLabel* lblStatus;
    TBarMeter* rzmLevel;
    TBarMeter* rzmNoiseA;
    TBarMeter* rzmNoiseC;
    TBarMeter* rzmPN;
    TBarMeter* rzmFreq;
    QLabel* pnlLevel;
    QLabel* pnlNoiseA;
    QLabel* pnlNoiseC;
    QLabel* pnlPN;
    QLabel* pnlFreq;
    QLabel* lblLevel;
    QLabel* lblNoiseA;
    QLabel* lblNoiseC;
    QLabel* lblPN;
    QLabel* lblFreq;
    TLedIndicator* ledSynth;
    TLedIndicator* ledIrig;
    TLedIndicator* ledCarDet;
    QLabel* lblSynthLock;
    QLabel* lblIrigOk;
    QLabel* lblCarDet;

private:
    void SetStatus(const QString& text, const QColor& background);
    void ClearReadings();
};
