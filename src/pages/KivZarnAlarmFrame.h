#pragma once
// The Alarms page: alarm indicators, the alarm set-up record and the PC alarm.
// For now it holds what the main frame hands it; the controls come with the page's own work.
#include <QWidget>
#include <cstdint>

class QPushButton;

class TZarnAlarmFrame : public QWidget {
public:
    explicit TZarnAlarmFrame(QWidget* parent = nullptr);

    void SetAlarmButton(QPushButton* button) { m_alarmButton = button; }
    QPushButton* AlarmButton() const { return m_alarmButton; }

    void Reset();
    void ShowSetupRecord(const uint8_t* record26);
    void BeeperTick();

    // PC alarm value: magnitude = repeat interval in tenths of a second, 1 or more = enabled.
    void SetPCAlarm(int value) { m_pcAlarm = value; }
    int PCAlarm() const { return m_pcAlarm; }

private:
    QPushButton* m_alarmButton = nullptr;
    int m_pcAlarm = -20;
};
