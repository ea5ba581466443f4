#pragma once
// Small builders shared by the status pages: every control gets its member name as object
// name, so the main frame and the tests find it, and one look for panels, groups and readings.
#include <QColor>
#include <QString>

class QGroupBox;
class QLabel;
class QPushButton;
class QWidget;
class TBarMeter;
class TLedIndicator;
class TNumEdit;

namespace zpk {

// Page font: 12-pixel sans, the size the panels are laid out for.
void ApplyPageFont(QWidget* page);

QGroupBox* Group(QWidget* parent, const char* name, const QString& title, int x, int y, int w, int h);
QLabel* Label(QWidget* parent, const char* name, const QString& text, int x, int y, int w, int h,
              Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter);
// A caption beside a value: right-aligned so the colons line up.
QLabel* Caption(QWidget* parent, const char* name, const QString& text, int x, int y, int w, int h);
TLedIndicator* Led(QWidget* parent, const char* name, int x, int y);
QPushButton* Button(QWidget* parent, const char* name, const QString& text, int x, int y, int w, int h);
TBarMeter* Meter(QWidget* parent, const char* name, int min, int max, int x, int y, int w, int h);
// A captioned panel (the caption sits at its left) holding a bold, right-aligned reading label.
QLabel* Panel(QWidget* parent, const char* name, const QString& caption, int x, int y, int w, int h);
QLabel* Reading(QLabel* panel, const char* name, int readingWidth);
// A read-only numeric display.
TNumEdit* NumDisplay(QWidget* parent, const char* name, const QString& format, int x, int y, int w, int h);

// Fills a group (or any widget) with a background colour.
void SetFaceColor(QWidget* w, const QColor& color);
QColor FaceColor(const QWidget* w);

} // namespace zpk
