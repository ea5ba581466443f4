#pragma once
// Horizontal bar meter with integer Min, Max and Value: a lime bar on grey, filled from the left.
// A Value beyond the range is kept as given; the bar is drawn full (or empty) with a marker at
// that end, so an over-range reading does not look like a full-scale one.
#include <QColor>
#include <QWidget>

class TBarMeter : public QWidget {
    Q_OBJECT
public:
    explicit TBarMeter(QWidget* parent = nullptr);

    int Min() const { return FMin; }
    int Max() const { return FMax; }
    int Value() const { return FValue; }
    void SetMin(int min);
    void SetMax(int max);
    // Sets both ends at once (avoids a passing state with Min above Max).
    void SetRange(int min, int max);
    void SetValue(int value);

    QColor BackColor() const { return FBack; }
    QColor BarColor() const { return FBar; }
    void SetBackColor(const QColor& color);
    void SetBarColor(const QColor& color);

    // Share of the bar that is lit, 0 to 1 (a Value beyond the range counts as the nearer end).
    double FillFraction() const;
    bool AboveRange() const { return FValue > FMax; }
    bool BelowRange() const { return FValue < FMin; }

    QSize sizeHint() const override { return {200, 16}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int FMin = 0;
    int FMax = 100;
    int FValue = 0;
    QColor FBack;
    QColor FBar;
};
