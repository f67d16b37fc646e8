#include "i18n/TranslationMarker.h"

TTranslationMarker::TTranslationMarker(std::unique_ptr<TRetranslator> retranslator,
                                       QObject *parent)
    : QObject(parent), m_retranslator(std::move(retranslator))
{
    setObjectName(QLatin1StringView(markerName));
}

TTranslationMarker::~TTranslationMarker() = default;
