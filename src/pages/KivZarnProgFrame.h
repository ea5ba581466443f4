#pragma once
// The Program page: reprograms the MAIN or IRIG processor from an Intel HEX file.
#include <QWidget>

class QCheckBox;
class QPlainTextEdit;
class QRadioButton;
class QTimer;
struct TZarnFrame;

class TZarnProgFrame : public QWidget {
public:
    explicit TZarnProgFrame(QWidget* parent = nullptr);

    QPlainTextEdit* ProgramMemo;
    QCheckBox* cbBL; // "BL Recover"
    QRadioButton* rbProgMain;
    QRadioButton* rbProgIRIG;

    void SetTimer(QTimer* timer) { m_timer = timer; }
    // 0 idle; 2..11 the bootloader owns the byte stream; 12 and above waiting for framed answers.
    int BootloaderState() const { return m_blState; }
    void Tick();
    // A bootloader answer (type 10), or none when the tick handled no frame.
    void FrameStep(const TZarnFrame* frame);

private:
    QTimer* m_timer = nullptr;
    int m_blState = 0;
};
