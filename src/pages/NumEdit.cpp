#include "NumEdit.h"

#include <QFocusEvent>
#include <QValidator>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

struct PictureSpec {
    QString Prefix;
    QString Suffix;
    int MinInt = 0;
    int MinDec = 0;
    int MaxDec = 0;
    bool Grouping = false;
};

bool IsPicture(QChar c)
{
    return c == '0' || c == '#' || c == '.' || c == ',';
}

PictureSpec ParsePicture(const QString& format)
{
    PictureSpec s;
    // Only the first of ';'-separated sections is used: the pages use single-section formats.
    const QString f = format.section(';', 0, 0);
    int first = -1;
    int last = -1;
    for (int i = 0; i < f.size(); ++i)
        if (IsPicture(f[i])) {
            if (first < 0)
                first = i;
            last = i;
        }
    if (first < 0) {
        s.Prefix = f;
        return s;
    }
    s.Prefix = f.left(first);
    s.Suffix = f.mid(last + 1);
    bool afterPoint = false;
    int intPlaces = 0;
    int firstZero = -1;
    for (int i = first; i <= last; ++i) {
        const QChar c = f[i];
        if (c == '.') {
            afterPoint = true;
        } else if (c == ',') {
            if (!afterPoint)
                s.Grouping = true;
        } else if (!afterPoint) {
            if (c == '0' && firstZero < 0)
                firstZero = intPlaces;
            if (c == '0' || c == '#')
                ++intPlaces;
        } else if (c == '0') {
            s.MaxDec++;
            s.MinDec = s.MaxDec;
        } else if (c == '#') {
            s.MaxDec++;
        }
    }
    s.MinInt = firstZero < 0 ? 0 : intPlaces - firstZero;
    return s;
}

} // namespace

QString FormatFloat(const QString& format, double value, const QLocale& locale)
{
    if (!std::isfinite(value))
        return {};
    const PictureSpec s = ParsePicture(format);
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", s.MaxDec, std::fabs(value));
    const QString fixed = QString::fromLatin1(buf);
    const int dot = fixed.indexOf('.');
    QString intDigits = dot < 0 ? fixed : fixed.left(dot);
    QString decDigits = dot < 0 ? QString() : fixed.mid(dot + 1);
    const bool zero = std::none_of(fixed.begin(), fixed.end(), [](QChar c) { return c >= '1' && c <= '9'; });

    while (decDigits.size() > s.MinDec && decDigits.endsWith('0'))
        decDigits.chop(1);
    if (intDigits == "0")
        intDigits.clear();
    while (intDigits.size() < s.MinInt)
        intDigits.prepend('0');
    if (s.Grouping && intDigits.size() > 3) {
        const QString sep = locale.groupSeparator();
        for (int i = intDigits.size() - 3; i > 0; i -= 3)
            intDigits.insert(i, sep);
    }
    QString out = intDigits;
    if (!decDigits.isEmpty())
        out += locale.decimalPoint() + decDigits;
    // A value that rounds to zero shows no sign.
    if (value < 0 && !zero)
        out.prepend('-');
    return s.Prefix + out + s.Suffix;
}

std::optional<double> ParseNumber(const QString& text, const QLocale& locale)
{
    QString t = text.trimmed();
    t.remove(locale.groupSeparator());
    if (t.startsWith('+'))
        t.remove(0, 1);
    if (t.isEmpty())
        return std::nullopt;
    bool ok = false;
    const double v = locale.toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

namespace {

// Lets through what can become a number in the locale while it is being typed.
class TNumValidator : public QValidator {
public:
    TNumValidator(bool integersOnly, QObject* parent) : QValidator(parent), FIntegersOnly(integersOnly) {}

    State validate(QString& input, int&) const override
    {
        const QLocale loc;
        const QString point = loc.decimalPoint();
        const QString group = loc.groupSeparator();
        bool seenPoint = false;
        for (int i = 0; i < input.size(); ++i) {
            const QChar c = input[i];
            if (c.isDigit())
                continue;
            if ((c == '-' || c == '+') && i == 0)
                continue;
            if (point.contains(c)) {
                if (FIntegersOnly || seenPoint)
                    return Invalid;
                seenPoint = true;
                continue;
            }
            if (group.contains(c) && !seenPoint)
                continue;
            return Invalid;
        }
        return ParseNumber(input).has_value() ? Acceptable : Intermediate;
    }

private:
    bool FIntegersOnly;
};

} // namespace

TNumEdit::TNumEdit(QWidget* parent) : QLineEdit(parent)
{
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    UpdateValidator();
}

void TNumEdit::SetDisplayFormat(const QString& format)
{
    if (format == FFormat)
        return;
    const bool empty = text().trimmed().isEmpty();
    const double v = Value();
    FFormat = format;
    if (!empty)
        SetValue(v);
}

void TNumEdit::SetIntegersOnly(bool on)
{
    FIntegersOnly = on;
    UpdateValidator();
}

void TNumEdit::UpdateValidator()
{
    // The old validator is owned by this edit and goes when replaced.
    delete validator();
    setValidator(new TNumValidator(FIntegersOnly, this));
}

double TNumEdit::Value() const
{
    return ParseNumber(text()).value_or(FMin);
}

void TNumEdit::SetValue(double value)
{
    setText(FormatFloat(FFormat, value));
}

bool TNumEdit::InRange() const
{
    if (FMax <= FMin)
        return true;
    const double v = Value();
    return v >= FMin && v <= FMax;
}

void TNumEdit::Normalise()
{
    if (isReadOnly())
        return;
    const std::optional<double> parsed = ParseNumber(text());
    if (!parsed) {
        // An empty edit stays empty; a stray "-" or "." shows what it reads as.
        if (!text().trimmed().isEmpty())
            SetValue(FMin);
        return;
    }
    double v = *parsed;
    if (FIntegersOnly)
        v = std::round(v);
    if (FCheckRange && FMax > FMin)
        v = std::clamp(v, FMin, FMax);
    SetValue(v);
}

void TNumEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // Switching to another window or opening a popup is not leaving the edit.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    Normalise();
    emit Exit();
}
