#include "BarMeter.h"

#include <QPainter>
#include <algorithm>

#include "ZarnColors.h"

TBarMeter::TBarMeter(QWidget* parent) : QWidget(parent), FBack(clGray), FBar(clLime)
{
    setMinimumSize(20, 8);
}

void TBarMeter::SetMin(int min)
{
    SetRange(min, FMax);
}

void TBarMeter::SetMax(int max)
{
    SetRange(FMin, max);
}

void TBarMeter::SetRange(int min, int max)
{
    if (min == FMin && max == FMax)
        return;
    FMin = min;
    FMax = max;
    update();
}

void TBarMeter::SetValue(int value)
{
    if (value == FValue)
        return;
    FValue = value;
    update();
}

void TBarMeter::SetBackColor(const QColor& color)
{
    FBack = color;
    update();
}

void TBarMeter::SetBarColor(const QColor& color)
{
    FBar = color;
    update();
}

double TBarMeter::FillFraction() const
{
    if (FMax <= FMin)
        return 0.0;
    const double f = (double(FValue) - FMin) / (double(FMax) - FMin);
    return std::clamp(f, 0.0, 1.0);
}

void TBarMeter::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect outer = rect();
    p.fillRect(outer, FBack);
    const QRect inner = outer.adjusted(1, 1, -1, -1);
    const int w = int(inner.width() * FillFraction() + 0.5);
    if (w > 0)
        p.fillRect(QRect(inner.left(), inner.top(), w, inner.height()), FBar);

    // Out-of-range marker: a dark wedge at the end the value has run past.
    if (AboveRange() || BelowRange()) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x20, 0x20, 0x20));
        const int h = inner.height();
        const int a = std::max(4, h / 2);
        QPolygon wedge;
        if (AboveRange()) {
            const int x = inner.right() + 1;
            wedge << QPoint(x - a, inner.top()) << QPoint(x, inner.top() + h / 2)
                  << QPoint(x - a, inner.top() + h);
        } else {
            const int x = inner.left();
            wedge << QPoint(x + a, inner.top()) << QPoint(x, inner.top() + h / 2)
                  << QPoint(x + a, inner.top() + h);
        }
        p.drawPolygon(wedge);
    }

    // Sunken edge, as on the other panels.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(0x50, 0x50, 0x50));
    p.drawLine(outer.topLeft(), outer.topRight());
    p.drawLine(outer.topLeft(), outer.bottomLeft());
    p.setPen(QColor(0xF0, 0xF0, 0xF0));
    p.drawLine(outer.bottomLeft(), outer.bottomRight());
    p.drawLine(outer.topRight(), outer.bottomRight());
}
