#include "KivZarnSetupFrame.h"

#include <QPushButton>

TZarnSetupFrame::TZarnSetupFrame(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("SetupFrame"));
    btnGetSetup = new QPushButton(QStringLiteral("Get Setup"), this);
    btnGetSetup->setObjectName(QStringLiteral("btnGetSetup"));
    btnGetSetup->setGeometry(8, 320, 90, 25);
    btnSaveSetup = new QPushButton(QStringLiteral("Save Setup"), this);
    btnSaveSetup->setObjectName(QStringLiteral("btnSaveSetup"));
    btnSaveSetup->setGeometry(106, 320, 90, 25);
}

void TZarnSetupFrame::ApplyLayout(int) {}
void TZarnSetupFrame::ShowRecord(const uint8_t*) {}
