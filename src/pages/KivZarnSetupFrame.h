#pragma once
// The Setup page: the device's set-up record with defaults per satellite series.
#include <QWidget>
#include <cstdint>

class QPushButton;

struct TZarnSetupDefaults {
    bool GoesZarn = true;
    float IfGoesN = 77.4474f;
    float IfGoesR = 62.85f;
    float SawGoesN = 160.1f;
    float SawGoesR = 160.1f;
};

class TZarnSetupFrame : public QWidget {
public:
    explicit TZarnSetupFrame(QWidget* parent = nullptr);

    QPushButton* btnGetSetup;
    QPushButton* btnSaveSetup;

    void SetDefaults(const TZarnSetupDefaults& d) { m_defaults = d; }
    const TZarnSetupDefaults& Defaults() const { return m_defaults; }
    void ApplyLayout(int generation);
    void ShowRecord(const uint8_t* record42);

private:
    TZarnSetupDefaults m_defaults;
};
