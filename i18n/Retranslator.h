#pragma once

#include "i18n/Runnable.h"

#include <QByteArray>
#include <QPointer>
#include <QString>

#include <vector>

class QObject;

namespace i18n {

class TTranslationEngine;

// One text as it stood before the first translation.
struct TRetranslatorItem
{
    QPointer<QObject> object;
    // Kept for the error when the object has gone.
    QString className;
    QByteArray propertyName;
    QString value;
    // A QStringList property: value holds its lines joined by LF.
    bool stringList = false;
};

// Keeps the untranslated texts of a window, so that it can be translated again into
// another language: Run sets every recorded property to the translation of its
// recorded value in the text domain of the first translation.
class TRetranslator : public TRunnable
{
public:
    explicit TRetranslator(TTranslationEngine *engine) : m_engine(engine) {}

    void RecordValue(QObject *object, const QByteArray &propertyName, const QString &value,
                     bool stringList = false);
    void Run() override;

    QString TextDomain() const { return m_textDomain; }
    void SetTextDomain(const QString &domain) { m_textDomain = domain; }
    const std::vector<TRetranslatorItem> &Items() const { return m_items; }

private:
    QString m_textDomain;
    TTranslationEngine *m_engine;
    std::vector<TRetranslatorItem> m_items;
};

} // namespace i18n
