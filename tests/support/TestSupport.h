#pragma once
// Helpers shared by the tests: bounded waits that keep the event loop running,
// and scoped capture of the platform hooks (message boxes, beeps, exceptions).
#include <QString>
#include <chrono>
#include <functional>
#include <vector>

#include "MessageBoxes.h"

namespace zt {

// Processes Qt events until pred() holds or the bound passes; returns pred().
bool WaitUntil(const std::function<bool()>& pred,
               std::chrono::milliseconds bound = std::chrono::milliseconds(5000));

// Processes pending Qt events for the given time (for "nothing more happens" checks).
void PumpFor(std::chrono::milliseconds time);

// Captures message boxes while alive; answers every box with `answer`.
class BoxCapture {
public:
    explicit BoxCapture(int answer = plat::IDOK);
    ~BoxCapture();
    struct Box {
        plat::BoxKind Kind;
        QString Text;
    };
    std::vector<Box> Boxes;
    int Answer;
};

// Counts beeps while alive.
class BeepCounter {
public:
    BeepCounter();
    ~BeepCounter();
    int Count = 0;
};

// Captures exceptions reported through the application exception handler.
class ExceptionCapture {
public:
    ExceptionCapture();
    ~ExceptionCapture();
    struct Report {
        QString ClassName;
        QString Message;
    };
    std::vector<Report> Reports;
};

} // namespace zt
