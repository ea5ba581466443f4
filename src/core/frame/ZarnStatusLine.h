#pragma once
// The status line at the bottom of the main frame: a row of fixed-width sections,
// each showing one text (link state, device identity, messages).
#include <QWidget>
#include <vector>

class QLabel;

class TZarnStatusLine : public QWidget {
public:
    TZarnStatusLine(int sections, QWidget* parent = nullptr);

    void SetSection(int index, const QString& text);
    void SetSectionWidth(int index, int width);
    QString SectionText(int index) const;
    int SectionWidth(int index) const;
    int SectionCount() const { return static_cast<int>(m_sections.size()); }

private:
    void Relayout();
    std::vector<QLabel*> m_sections;
};
