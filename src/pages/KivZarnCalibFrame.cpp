#include "KivZarnCalibFrame.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, int x, int y)
{
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(x, y, 90, 25);
    return b;
}
} // namespace

TZarnCalibFrame::TZarnCalibFrame(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("CalibFrame"));
    btnSwapTest = MakeButton(this, "btnSwapTest", "Swap Pilots", 8, 8);
    btnIdleTest = MakeButton(this, "btnIdleTest", "ZARN Idle", 8, 38);
    btnPilotTest = MakeButton(this, "btnPilotTest", "Pilot Search", 8, 68);
    btnTelemTest = MakeButton(this, "btnTelemTest", "Telem Search", 8, 98);
    lblZARNIpAddr = new QLabel(QStringLiteral("ZARN IP Address"), this);
    lblZARNIpAddr->setObjectName(QStringLiteral("lblZARNIpAddr"));
    lblZARNIpAddr->setGeometry(8, 140, 121, 16);
    editIPAddress = new QLineEdit(this);
    editIPAddress->setObjectName(QStringLiteral("editIPAddress"));
    editIPAddress->setGeometry(8, 156, 121, 21);
}

void TZarnCalibFrame::Reset() {}
void TZarnCalibFrame::ApplyGeneration(int) {}
void TZarnCalibFrame::ShowVcoVolts(float) {}
void TZarnCalibFrame::ShowCalRecord(const uint8_t*) {}
void TZarnCalibFrame::ShowVcoDac(const uint8_t*) {}
void TZarnCalibFrame::ShowVcoAdc(const uint8_t*) {}
