#pragma once
// The Comm page: sent and dispatched frames as hexadecimal lines.
#include <QWidget>

class QPlainTextEdit;
struct TZarnFrame;

class TZarnCommFrame : public QWidget {
public:
    explicit TZarnCommFrame(QWidget* parent = nullptr);

    QPlainTextEdit* MemoComm;

    void Clear();
    void LogFrame(bool sent, const TZarnFrame& frame);
};
