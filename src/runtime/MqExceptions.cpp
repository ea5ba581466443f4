#include "MqExceptions.h"

#include "ExceptionHandler.h"

QString MqExceptionClassName(const std::exception& e)
{
    if (auto* mq = dynamic_cast<const EMqException*>(&e))
        return QString::fromLatin1(mq->ClassName());
    return QStringLiteral("Exception");
}

QString MqExceptionClassName(const std::exception_ptr& e)
{
    try {
        std::rethrow_exception(e);
    } catch (const std::exception& ex) {
        return MqExceptionClassName(ex);
    } catch (...) {
        return QStringLiteral("Exception");
    }
}

QString MqExceptionMessage(const std::exception_ptr& e)
{
    try {
        std::rethrow_exception(e);
    } catch (const std::exception& ex) {
        return QString::fromUtf8(ex.what());
    } catch (...) {
        return QStringLiteral("Unknown exception");
    }
}

void MqReportException(const std::exception_ptr& e)
{
    if (!e)
        return;
    plat::ReportException(MqExceptionClassName(e), MqExceptionMessage(e));
}
