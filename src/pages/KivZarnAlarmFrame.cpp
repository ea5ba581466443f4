#include "KivZarnAlarmFrame.h"

TZarnAlarmFrame::TZarnAlarmFrame(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("AlarmFrame"));
}

void TZarnAlarmFrame::Reset() {}
void TZarnAlarmFrame::ShowSetupRecord(const uint8_t*) {}
void TZarnAlarmFrame::BeeperTick() {}
