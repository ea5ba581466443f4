#pragma once
// Exceptions of the threaded-action runtime. Every one carries its class name, so
// that the application's exception handler can show which failure it was.
#include <QString>
#include <exception>
#include <stdexcept>

class EMqException : public std::runtime_error {
public:
    explicit EMqException(const QString& message) : std::runtime_error(message.toStdString()) {}
    explicit EMqException(const char* message) : std::runtime_error(message) {}
    // The class name shown to the operator; the general exception class by default.
    virtual const char* ClassName() const { return "Exception"; }
    QString Message() const { return QString::fromUtf8(what()); }
};

#define MQ_DECLARE_EXCEPTION(Name, Base)                                                                     \
    class Name : public Base {                                                                               \
    public:                                                                                                  \
        using Base::Base;                                                                                    \
        const char* ClassName() const override { return #Name; }                                             \
    }

// Class name and message of any exception, for reports and logs.
QString MqExceptionClassName(const std::exception& e);
QString MqExceptionClassName(const std::exception_ptr& e);
QString MqExceptionMessage(const std::exception_ptr& e);

// Hands an exception to the application's exception handler (user-interface thread).
void MqReportException(const std::exception_ptr& e);
