#pragma once
// The Setup/Cal page: calibration record, VCO DAC/ADC calibration and test controls.
#include <QWidget>
#include <cstdint>

class QLabel;
class QLineEdit;
class QPushButton;

class TZarnCalibFrame : public QWidget {
public:
    explicit TZarnCalibFrame(QWidget* parent = nullptr);

    QPushButton* btnSwapTest;
    QPushButton* btnIdleTest;
    QPushButton* btnPilotTest;
    QPushButton* btnTelemTest;
    QLabel* lblZARNIpAddr;
    QLineEdit* editIPAddress;

    void Reset();
    void ApplyGeneration(int generation);
    void ShowVcoVolts(float volts);
    void ShowCalRecord(const uint8_t* record64);
    void ShowVcoDac(const uint8_t* data8);
    void ShowVcoAdc(const uint8_t* data8);
};
