#pragma once

#include <QString>
#include <stdexcept>

namespace platform {

// Errors the framework raises and the application's default handler shows. The text is
// the final, user-visible message.
class TfError : public std::runtime_error
{
public:
    explicit TfError(const QString &message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};

class EZeroDivide : public TfError
{
public:
    using TfError::TfError;
};

class EInvalidOp : public TfError
{
public:
    using TfError::TfError;
};

class EInOutError : public TfError
{
public:
    EInOutError(int errorCode, const QString &message) : TfError(message), m_errorCode(errorCode) {}
    int errorCode() const { return m_errorCode; }

private:
    int m_errorCode;
};

class ERegistryException : public TfError
{
public:
    using TfError::TfError;
};

} // namespace platform
