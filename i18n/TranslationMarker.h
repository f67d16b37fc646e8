#pragma once

#include "i18n/Retranslator.h"

#include <QObject>
#include <QString>

#include <memory>

namespace i18n {

// Child of a translated window, named "TranslationMarker": the language of the window's
// last translation and the retranslator that can translate it again.
class TTranslationMarker : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *markerName = "TranslationMarker";

    explicit TTranslationMarker(std::unique_ptr<TRetranslator> retranslator,
                                QObject *parent = nullptr);
    ~TTranslationMarker() override;

    QString MarkerLanguage() const { return m_language; }
    void SetMarkerLanguage(const QString &language) { m_language = language; }
    TRetranslator *Retranslator() const { return m_retranslator.get(); }

private:
    QString m_language;
    std::unique_ptr<TRetranslator> m_retranslator;
};

} // namespace i18n
