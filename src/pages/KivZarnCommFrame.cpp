#include "KivZarnCommFrame.h"

#include <QPlainTextEdit>

TZarnCommFrame::TZarnCommFrame(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("CommFrame"));
    MemoComm = new QPlainTextEdit(this);
    MemoComm->setObjectName(QStringLiteral("MemoComm"));
    MemoComm->setReadOnly(true);
    MemoComm->setGeometry(4, 4, 584, 330);
}

void TZarnCommFrame::Clear()
{
    MemoComm->clear();
}
void TZarnCommFrame::LogFrame(bool, const TZarnFrame&) {}
