#include "ZarnStatusLine.h"

#include <QLabel>

TZarnStatusLine::TZarnStatusLine(int sections, QWidget* parent) : QWidget(parent)
{
    for (int i = 0; i < sections; ++i) {
        auto* l = new QLabel(this);
        l->setObjectName(QStringLiteral("StatusLineSection%1").arg(i));
        l->setFrameShape(QFrame::Panel);
        l->setFrameShadow(QFrame::Sunken);
        l->setContentsMargins(3, 0, 3, 0);
        l->setTextFormat(Qt::PlainText);
        m_sections.push_back(l);
    }
    Relayout();
}

void TZarnStatusLine::SetSection(int index, const QString& text)
{
    if (index >= 0 && index < SectionCount())
        m_sections[index]->setText(text);
}

void TZarnStatusLine::SetSectionWidth(int index, int width)
{
    if (index >= 0 && index < SectionCount()) {
        m_sections[index]->setFixedWidth(width);
        Relayout();
    }
}

QString TZarnStatusLine::SectionText(int index) const
{
    return index >= 0 && index < SectionCount() ? m_sections[index]->text() : QString();
}

int TZarnStatusLine::SectionWidth(int index) const
{
    return index >= 0 && index < SectionCount() ? m_sections[index]->width() : 0;
}

void TZarnStatusLine::Relayout()
{
    int x = 0;
    for (auto* l : m_sections) {
        l->setGeometry(x, 0, l->width(), height() > 0 ? height() : 20);
        x += l->width();
    }
}
