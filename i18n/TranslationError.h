#pragma once

#include <QString>

#include <stdexcept>

// The error raised by the localisation code: an English text that is shown as it stands,
// never translated itself.
class TranslationError : public std::runtime_error
{
public:
    explicit TranslationError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message)
    {
    }

    QString message() const { return m_message; }

private:
    QString m_message;
};
