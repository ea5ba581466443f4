// Numeric edit: display formats, the value held as text, range check and the exit event.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFocusEvent>
#include <QLocale>
#include <QValidator>

#include "NumEdit.h"

namespace {

void Leave(QWidget* w, Qt::FocusReason reason = Qt::TabFocusReason)
{
    QFocusEvent ev(QEvent::FocusOut, reason);
    QApplication::sendEvent(w, &ev);
}

struct LocaleGuard {
    QLocale Saved;
    explicit LocaleGuard(const QLocale& l) { QLocale::setDefault(l); }
    ~LocaleGuard() { QLocale::setDefault(Saved); }
};

} // namespace

TEST(NumEdit, FormatsOfThePages)
{
    const QLocale c(QLocale::C);
    struct Case {
        const char* Format;
        double Value;
        const char* Text;
    };
    const Case cases[] = {
        {"###.00000", 77.4474, "77.44740"},
        {"###.00000", 0.5, ".50000"},
        {"###.0000", 81.9, "81.9000"},
        {"###.000000", 77.447403, "77.447403"},
        {"#0.0", 47.26, "47.3"},
        {"#0.0", 0.0, "0.0"},
        {"#0", 12.0, "12"},
        {"###,###,###", 401850000, "401,850,000"},
        {"###,###,###", 850, "850"},
        {"0#", 8, "08"},
        {"0#", 99, "99"},
        {"0", 800, "800"},
        {"0", 0, "0"},
        {"0.00", 3, "3.00"},
        {"##0.0000", 77, "77.0000"},
        {"#0.00", -12.346, "-12.35"},
        {"#0.00", -0.001, "0.00"}, // rounds to zero: no sign
        {"0.00000", 1, "1.00000"},
        {"#0.00000", -0.1, "-0.10000"},
        {"##0.00", 1.2, "1.20"},
        {"#.##", 1.5, "1.5"}, // optional decimals are dropped when zero
        {"0.0 dB", 3.25, "3.2 dB"},
    };
    for (const Case& k : cases)
        EXPECT_EQ(FormatFloat(k.Format, k.Value, c).toStdString(), k.Text) << k.Format << " " << k.Value;
    EXPECT_EQ(FormatFloat("#0.0", std::numeric_limits<double>::quiet_NaN(), c), "");
}

TEST(NumEdit, ValueIsTheNumberTheTextShows)
{
    TNumEdit e;
    e.SetDisplayFormat("#0.0");
    e.SetRange(34, 53);
    e.SetValue(47.26);
    EXPECT_EQ(e.text(), "47.3");
    EXPECT_DOUBLE_EQ(e.Value(), 47.3);

    e.ClearValue();
    EXPECT_DOUBLE_EQ(e.Value(), 34.0); // empty reads as the minimum

    e.SetDisplayFormat("###.00000");
    e.SetValue(0.5);
    EXPECT_DOUBLE_EQ(e.Value(), 0.5); // ".50000" reads back

    // Changing the format reformats what is shown.
    e.SetValue(77.44744);
    e.SetDisplayFormat("###.000");
    EXPECT_EQ(e.text(), "77.447");

    e.SetDisplayFormat("###,###,###");
    e.SetValue(401850000);
    EXPECT_DOUBLE_EQ(e.Value(), 401850000.0);
}

TEST(NumEdit, LeavingNormalisesAndChecksTheRange)
{
    TNumEdit e;
    e.SetDisplayFormat("#0.0");
    e.SetRange(0, 25);
    int exits = 0;
    QObject::connect(&e, &TNumEdit::Exit, [&] { ++exits; });

    e.setText("30");
    Leave(&e);
    EXPECT_EQ(e.text(), "30.0"); // no range check: reformatted only
    EXPECT_EQ(exits, 1);

    e.SetCheckRange(true);
    e.setText("30");
    Leave(&e);
    EXPECT_EQ(e.text(), "25.0");
    e.setText("-3.04");
    Leave(&e);
    EXPECT_EQ(e.text(), "0.0");
    e.setText("12.34");
    Leave(&e);
    EXPECT_EQ(e.text(), "12.3");
    EXPECT_EQ(exits, 4);

    // A stray sign reads as the minimum and shows it; an empty edit stays empty.
    e.setText("-");
    Leave(&e);
    EXPECT_EQ(e.text(), "0.0");
    e.clear();
    Leave(&e);
    EXPECT_EQ(e.text(), "");

    // Switching windows is not leaving the edit.
    e.setText("30");
    Leave(&e, Qt::ActiveWindowFocusReason);
    EXPECT_EQ(e.text(), "30");
    EXPECT_EQ(exits, 6);

    // A range with Max not above Min sets no limits.
    TNumEdit free;
    free.SetCheckRange(true);
    free.setText("-500");
    Leave(&free);
    EXPECT_EQ(free.text(), "-500");
    EXPECT_TRUE(free.InRange());
}

TEST(NumEdit, IntegersOnlyAndReadOnly)
{
    TNumEdit e;
    e.SetDisplayFormat("0");
    e.SetRange(-15, 15);
    QString t = "1.5";
    int pos = 0;
    EXPECT_EQ(e.validator()->validate(t, pos), QValidator::Acceptable);
    e.SetIntegersOnly(true);
    EXPECT_EQ(e.validator()->validate(t, pos), QValidator::Invalid);
    t = "-1";
    EXPECT_EQ(e.validator()->validate(t, pos), QValidator::Acceptable);
    t = "1a";
    EXPECT_EQ(e.validator()->validate(t, pos), QValidator::Invalid);
    t = "-";
    EXPECT_EQ(e.validator()->validate(t, pos), QValidator::Intermediate);

    e.SetCheckRange(true);
    e.setText("7");
    Leave(&e);
    EXPECT_DOUBLE_EQ(e.Value(), 7.0);
    EXPECT_FALSE(e.InRange() == false);

    // A read-only display keeps what the device sent, even outside its range.
    e.SetReadOnly(true);
    e.SetValue(40);
    Leave(&e);
    EXPECT_EQ(e.text(), "40");
    EXPECT_FALSE(e.InRange());
}

TEST(NumEdit, LocaleSeparatorsBothWays)
{
    LocaleGuard g(QLocale(QLocale::German, QLocale::Germany));
    TNumEdit e;
    e.SetDisplayFormat("###,###,###");
    e.SetValue(401850000);
    EXPECT_EQ(e.text(), "401.850.000");
    EXPECT_DOUBLE_EQ(e.Value(), 401850000.0);
    e.SetDisplayFormat("#0.0");
    e.SetValue(47.26);
    EXPECT_EQ(e.text(), "47,3");
    EXPECT_DOUBLE_EQ(e.Value(), 47.3);
}
