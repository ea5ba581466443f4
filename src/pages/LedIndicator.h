#pragma once
// The lamp-like indicator of the status pages: a small rounded square whose fill colour
// shows a condition, and the tag word that says which colour it gets.
#include <QColor>
#include <QWidget>
#include <cstdint>

// Tag word: bit 0 is the condition (1 = on); the fault bit makes an LED that is off show red.
constexpr uint32_t LedOnBit = 0x001;
constexpr uint32_t LedFaultBit = 0x100;

// Fill colours indexed by fault bit * 2 + on bit: silver, green, red, green.
const QColor& LedColor(int index);

class TLedIndicator : public QWidget {
    Q_OBJECT
public:
    explicit TLedIndicator(QWidget* parent = nullptr);

    uint32_t Tag() const { return FTag; }
    void SetTag(uint32_t tag) { FTag = tag; }
    // Sets or clears the fault bit, leaving the condition bit alone; the colour follows at the next paint.
    void SetFaultBit(bool on);
    bool FaultBit() const { return (FTag & LedFaultBit) != 0; }

    QColor FillColor() const { return FColor; }
    // Repaints only when the colour actually changes: the pages set every LED on every status record.
    void SetFillColor(const QColor& color);
    // Number of repaints asked for since creation.
    int RepaintRequests() const { return FRepaints; }

    QSize sizeHint() const override { return {16, 16}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    uint32_t FTag = 0;
    QColor FColor;
    int FRepaints = 0;
};

// Fills the LED with the colour its tag word selects (bit 8 * 2 + bit 0).
void PaintLed(TLedIndicator* led, uint32_t tag);
// Puts bit 0 of `bits` into the LED's tag (keeping bits 8 to 15), paints it and shifts `bits`
// right by one, so a row of LEDs fed the same byte in turn shows bit 0, bit 1, ...
void ShiftLed(TLedIndicator* led, uint8_t& bits);
// Clears the condition byte (the fault bit stays) and shows silver whatever the fault bit says.
void ClearLed(TLedIndicator* led);
