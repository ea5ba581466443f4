#include "KivZarnDmdFrame.h"

#include <QGroupBox>
#include <QLabel>

#include "BarMeter.h"
#include "KivZarnStatusTexts.h"
#include "LedIndicator.h"
#include "ZarnAveraging.h"
#include "ZarnColors.h"
#include "ZarnPageKit.h"
#include "ZarnStatusRec.h"

using namespace zpk;

namespace {

constexpr uint8_t FlagIrigOk = 0x01;
constexpr uint8_t FlagSynthLock = 0x02;
constexpr uint8_t FlagCarrier = 0x10;

const char* const OnlineTexts[4] = {
    "  Online - Active on Pilot 1",
    "  Online - Active on Pilot 2",
    "  Online - Monitoring Pilot 1",
    "  Online - Monitoring Pilot 2",
};

} // namespace

TZarnDmdFrame::TZarnDmdFrame(QWidget* parent) : QWidget(parent)
{
    ApplyPageFont(this);
    setGeometry(4, 0, 584, 176);
    gbDemod = Group(this, "gbDemod", QStringLiteral("Demod X"), 0, 0, 584, 174);

    lblDemodStatus = zpk::Caption(gbDemod, "lblDemodStatus", QStringLiteral("Demod Status:"), 8, 20, 112, 22);
    QFont bold = lblDemodStatus->font();
    bold.setBold(true);
    lblDemodStatus->setFont(bold);
    lblStatus = Label(gbDemod, "lblStatus", QString(), 126, 20, 300, 22);
    lblStatus->setFont(bold);
    lblStatus->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    lblStatus->setAutoFillBackground(true);

    auto row = [this](int i, const char* pnlName, const QString& caption, const char* lblName,
                      const char* meterName, int min, int max, QLabel*& pnl, QLabel*& lbl,
                      TBarMeter*& meter) {
        const int y = 50 + i * 24;
        pnl = Panel(gbDemod, pnlName, caption, 8, y, 260, 21);
        lbl = Reading(pnl, lblName, 72);
        meter = Meter(gbDemod, meterName, min, max, 276, y + 4, 184, 13);
    };
    // The level and noise meters count tenths of a dB, phase noise hundredths, frequency tenths of a hertz.
    row(0, "pnlLevel", QStringLiteral("  Pilot Level (dBm EIRP):"), "lblLevel", "rzmLevel", 0, 570, pnlLevel,
        lblLevel, rzmLevel);
    row(1, "pnlNoiseA", QStringLiteral(" Amp Noise (dBm EIRP):"), "lblNoiseA", "rzmNoiseA", 0, 400, pnlNoiseA,
        lblNoiseA, rzmNoiseA);
    row(2, "pnlNoiseC", QStringLiteral("  Chan Noise (dBm EIRP):"), "lblNoiseC", "rzmNoiseC", 0, 400,
        pnlNoiseC, lblNoiseC, rzmNoiseC);
    row(3, "pnlPN", QStringLiteral("  Phase Noise:"), "lblPN", "rzmPN", 0, 1500, pnlPN, lblPN, rzmPN);
    row(4, "pnlFreq", QStringLiteral(" Frequency Error (Hz):"), "lblFreq", "rzmFreq", -500, 500, pnlFreq,
        lblFreq, rzmFreq);

    // Lamps in a column at the right, captions beside them.
    auto lamp = [this](int i, const char* ledName, const char* lblName, const QString& text,
                       TLedIndicator*& led, QLabel*& lbl) {
        const int y = 52 + i * 40;
        led = Led(gbDemod, ledName, 480, y + 6);
        lbl = Label(gbDemod, lblName, text, 502, y, 76, 30);
    };
    lamp(0, "ledSynth", "lblSynthLock", QStringLiteral("SYNTH\nLOCK"), ledSynth, lblSynthLock);
    lamp(1, "ledIrig", "lblIrigOk", QStringLiteral("IRIG\nOK"), ledIrig, lblIrigOk);
    lamp(2, "ledCarDet", "lblCarDet", QStringLiteral("CAR\nDET"), ledCarDet, lblCarDet);

    Reset();
}

void TZarnDmdFrame::SetCaption(const QString& caption)
{
    gbDemod->setTitle(caption);
}

QString TZarnDmdFrame::Caption() const
{
    return gbDemod->title();
}

void TZarnDmdFrame::SetStatus(const QString& text, const QColor& background)
{
    lblStatus->setText(text);
    SetFaceColor(lblStatus, background);
}

void TZarnDmdFrame::ClearReadings()
{
    ShowNotAvailable(lblLevel, rzmLevel);
    ShowNotAvailable(lblNoiseA, rzmNoiseA);
    ShowNotAvailable(lblNoiseC, rzmNoiseC);
    ShowNotAvailable(lblPN, rzmPN);
    ShowNotAvailable(lblFreq, rzmFreq);
}

void TZarnDmdFrame::Reset()
{
    SetStatus(QStringLiteral("  N/A"), clHighlightText());
    ClearReadings();
    ClearLed(ledIrig);
    ClearLed(ledSynth);
    ClearLed(ledCarDet);
}

void TZarnDmdFrame::ShowError()
{
    Reset();
    SetStatus(QStringLiteral("  ***  ERROR  ***"), clRed);
}

void TZarnDmdFrame::Apply(const TZarnDemodRec& d, const TZarnLevelSample& s)
{
    try {
        if (d.State >= 1 && d.State <= 4 && (d.Flags & FlagCarrier)) {
            SetStatus(QString::fromLatin1(OnlineTexts[d.State - 1]), clHighlightText());
            ShowMeterReading(lblLevel, rzmLevel, 1, s.PilotLevelAvg);
            ShowMeterReading(lblPN, rzmPN, 2, s.PhaseNoiseAvg);
            ShowMeterReading(lblNoiseA, rzmNoiseA, 1, s.AmpNoiseAvg);
            ShowMeterReading(lblNoiseC, rzmNoiseC, 1, s.ChanNoiseAvg);
            ShowMeterReading(lblFreq, rzmFreq, 1, d.FreqError);
            uint8_t flags = d.Flags;
            ShiftLed(ledIrig, flags);
            ShiftLed(ledSynth, flags);
            flags = static_cast<uint8_t>(flags >> 2);
            ShiftLed(ledCarDet, flags);
        } else if (d.State == 0 || d.State == 5 || d.State == 6) {
            SetStatus(d.State == 0 ? QStringLiteral("  Demod Idle")
                                   : QStringLiteral("  Online - Searching for Carrier"),
                      clHighlightText());
            ClearReadings();
            uint8_t flags = d.Flags;
            ShiftLed(ledIrig, flags);
            ShiftLed(ledSynth, flags);
            ClearLed(ledCarDet);
        } else if (d.State == 7) {
            ShowError();
        } else {
            // States 1 to 4 without a carrier, and states the panel does not know.
            Reset();
        }
    } catch (...) {
    }
}
