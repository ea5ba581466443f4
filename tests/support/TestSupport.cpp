#include "TestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>

#include "Beep.h"
#include "ExceptionHandler.h"

namespace zt {

bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds bound)
{
    QDeadlineTimer deadline(bound);
    while (!pred()) {
        if (deadline.hasExpired())
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

void PumpFor(std::chrono::milliseconds time)
{
    QDeadlineTimer deadline(time);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

BoxCapture::BoxCapture(int answer) : Answer(answer)
{
    plat::SetMessageBoxHook([this](plat::BoxKind kind, const QString& text) {
        Boxes.push_back({kind, text});
        return Answer;
    });
}
BoxCapture::~BoxCapture()
{
    plat::SetMessageBoxHook(nullptr);
}

BeepCounter::BeepCounter()
{
    plat::SetBeepHook([this](plat::BeepKind) { ++Count; });
}
BeepCounter::~BeepCounter()
{
    plat::SetBeepHook(nullptr);
}

ExceptionCapture::ExceptionCapture()
{
    plat::SetExceptionHook([this](const QString& cls, const QString& msg) { Reports.push_back({cls, msg}); });
}
ExceptionCapture::~ExceptionCapture()
{
    plat::SetExceptionHook(nullptr);
}

} // namespace zt
