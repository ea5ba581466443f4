#include "ZarnPageKit.h"

#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "BarMeter.h"
#include "LedIndicator.h"
#include "NumEdit.h"
#include "ZarnColors.h"

namespace zpk {

void ApplyPageFont(QWidget* page)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(12);
    page->setFont(f);
}

QGroupBox* Group(QWidget* parent, const char* name, const QString& title, int x, int y, int w, int h)
{
    auto* g = new QGroupBox(title, parent);
    g->setObjectName(QString::fromLatin1(name));
    g->setGeometry(x, y, w, h);
    return g;
}

QLabel* Label(QWidget* parent, const char* name, const QString& text, int x, int y, int w, int h,
              Qt::Alignment align)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(x, y, w, h);
    l->setAlignment(align);
    l->setTextFormat(Qt::PlainText);
    return l;
}

QLabel* Caption(QWidget* parent, const char* name, const QString& text, int x, int y, int w, int h)
{
    return Label(parent, name, text, x, y, w, h, Qt::AlignRight | Qt::AlignVCenter);
}

TLedIndicator* Led(QWidget* parent, const char* name, int x, int y)
{
    auto* l = new TLedIndicator(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->move(x, y);
    return l;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& text, int x, int y, int w, int h)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(x, y, w, h);
    // Reached by mouse, not by the Tab key.
    b->setFocusPolicy(Qt::ClickFocus);
    return b;
}

TBarMeter* Meter(QWidget* parent, const char* name, int min, int max, int x, int y, int w, int h)
{
    auto* m = new TBarMeter(parent);
    m->setObjectName(QString::fromLatin1(name));
    m->setGeometry(x, y, w, h);
    m->SetRange(min, max);
    m->SetValue(min);
    return m;
}

QLabel* Panel(QWidget* parent, const char* name, const QString& caption, int x, int y, int w, int h)
{
    QLabel* p = Label(parent, name, caption, x, y, w, h);
    p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    p->setLineWidth(1);
    return p;
}

QLabel* Reading(QLabel* panel, const char* name, int readingWidth)
{
    const int h = panel->height() - 4;
    QLabel* r = Label(panel, name, QStringLiteral("N/A"), panel->width() - readingWidth - 6, 2, readingWidth,
                      h, Qt::AlignRight | Qt::AlignVCenter);
    QFont f = r->font();
    f.setBold(true);
    r->setFont(f);
    return r;
}

TNumEdit* NumDisplay(QWidget* parent, const char* name, const QString& format, int x, int y, int w, int h)
{
    auto* e = new TNumEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setGeometry(x, y, w, h);
    e->SetDisplayFormat(format);
    e->SetReadOnly(true);
    e->setFocusPolicy(Qt::NoFocus);
    return e;
}

void SetFaceColor(QWidget* w, const QColor& color)
{
    // The ordinary face is left to the style (which shades group interiors itself); only a
    // signal colour is filled in.
    const bool fill = color != clBtnFace();
    QPalette pal = w->palette();
    if (pal.color(QPalette::Window) == color && w->autoFillBackground() == fill)
        return;
    pal.setColor(QPalette::Window, color);
    w->setPalette(pal);
    w->setAutoFillBackground(fill);
}

QColor FaceColor(const QWidget* w)
{
    return w->palette().color(QPalette::Window);
}

} // namespace zpk
