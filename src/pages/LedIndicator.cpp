#include "LedIndicator.h"

#include <QPainter>

#include "ZarnColors.h"

const QColor& LedColor(int index)
{
    static const QColor colors[4] = {clSilver, clGreen, clRed, clGreen};
    return colors[index & 3];
}

TLedIndicator::TLedIndicator(QWidget* parent) : QWidget(parent), FColor(clSilver)
{
    setFixedSize(16, 16);
}

void TLedIndicator::SetFaultBit(bool on)
{
    FTag = on ? (FTag | LedFaultBit) : (FTag & ~LedFaultBit);
}

void TLedIndicator::SetFillColor(const QColor& color)
{
    if (color == FColor)
        return;
    FColor = color;
    ++FRepaints;
    update();
}

void TLedIndicator::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
    p.setBrush(FColor);
    p.drawRoundedRect(r, 3.5, 3.5);
    // A soft highlight in the upper half gives the lamp some depth.
    QColor shine(255, 255, 255, 70);
    p.setPen(Qt::NoPen);
    p.setBrush(shine);
    p.drawRoundedRect(r.adjusted(2.5, 2, -2.5, -r.height() / 2), 2, 2);
}

void PaintLed(TLedIndicator* led, uint32_t tag)
{
    const int index = ((tag & LedFaultBit) ? 2 : 0) + ((tag & LedOnBit) ? 1 : 0);
    led->SetFillColor(LedColor(index));
}

void ShiftLed(TLedIndicator* led, uint8_t& bits)
{
    const uint32_t tag = (bits & 1u) | (led->Tag() & 0xFF00u);
    led->SetTag(tag);
    PaintLed(led, tag);
    bits = static_cast<uint8_t>(bits >> 1);
}

void ClearLed(TLedIndicator* led)
{
    led->SetTag(led->Tag() & ~0xFFu);
    led->SetFillColor(clSilver);
}
