#include "KivZarnProgFrame.h"

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QRadioButton>

TZarnProgFrame::TZarnProgFrame(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ProgFrame"));
    ProgramMemo = new QPlainTextEdit(this);
    ProgramMemo->setObjectName(QStringLiteral("ProgramMemo"));
    ProgramMemo->setReadOnly(true);
    ProgramMemo->setGeometry(4, 100, 584, 240);
    cbBL = new QCheckBox(QStringLiteral("BL Recover"), this);
    cbBL->setObjectName(QStringLiteral("cbBL"));
    cbBL->setGeometry(8, 8, 100, 20);
    rbProgMain = new QRadioButton(QStringLiteral("MAIN"), this);
    rbProgMain->setObjectName(QStringLiteral("rbProgMain"));
    rbProgMain->setGeometry(120, 8, 70, 20);
    rbProgMain->setChecked(true);
    rbProgIRIG = new QRadioButton(QStringLiteral("IRIG"), this);
    rbProgIRIG->setObjectName(QStringLiteral("rbProgIRIG"));
    rbProgIRIG->setGeometry(200, 8, 70, 20);
}

void TZarnProgFrame::Tick() {}
void TZarnProgFrame::FrameStep(const TZarnFrame*) {}
