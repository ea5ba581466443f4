#pragma once
// Numeric edit: the value is held as the text the edit shows, formatted by its display
// format, and reading the value parses that text. So a value always goes out rounded to the
// decimals of its format, and an empty edit reads as its minimum.
//
// Display formats use the usual picture characters: '0' a digit always shown, '#' a digit
// shown when significant, '.' the decimal separator, ',' anywhere before it turns on
// thousands grouping. The leftmost '0' before the separator sets the least number of integer
// digits ("0#" shows 8 as 08; "###.00" shows 0.5 as .50). Text before the first and after the
// last picture character is kept as a prefix or suffix. The locale's separators are used.
#include <QLineEdit>
#include <QLocale>
#include <optional>

// Formats `value` by a display format; empty for NaN and infinities.
QString FormatFloat(const QString& format, double value, const QLocale& locale = QLocale());
// Reads a number written in the locale (group separators and a leading '+' allowed).
std::optional<double> ParseNumber(const QString& text, const QLocale& locale = QLocale());

class TNumEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TNumEdit(QWidget* parent = nullptr);

    QString DisplayFormat() const { return FFormat; }
    // Changing the format reformats the value shown.
    void SetDisplayFormat(const QString& format);

    double Min() const { return FMin; }
    double Max() const { return FMax; }
    void SetMin(double min) { FMin = min; }
    void SetMax(double max) { FMax = max; }
    void SetRange(double min, double max)
    {
        FMin = min;
        FMax = max;
    }

    // With range checking on, leaving the edit pulls an out-of-range entry to the nearer limit.
    // A range with Max not above Min means "no limits".
    bool CheckRange() const { return FCheckRange; }
    void SetCheckRange(bool on) { FCheckRange = on; }

    // Integers only: no decimal separator can be typed and entries are rounded on leaving.
    bool IntegersOnly() const { return FIntegersOnly; }
    void SetIntegersOnly(bool on);

    bool ReadOnly() const { return isReadOnly(); }
    void SetReadOnly(bool on) { setReadOnly(on); }

    // The number the text shows; an empty or unreadable text reads as Min.
    double Value() const;
    // Shows `value` through the display format (not range-checked: what the device reports is shown as is).
    void SetValue(double value);
    // Empties the edit.
    void ClearValue() { clear(); }
    // True when the value lies within Min..Max (always true without limits).
    bool InRange() const;

signals:
    // The exit event: the operator has left the edit; the text is already normalised.
    void Exit();

protected:
    void focusOutEvent(QFocusEvent* event) override;

private:
    // Reformats the operator's entry and applies the range check.
    void Normalise();
    void UpdateValidator();

    QString FFormat = "0";
    double FMin = 0.0;
    double FMax = 0.0;
    bool FCheckRange = false;
    bool FIntegersOnly = false;
};
