#include "i18n/TranslationMarker.h"

namespace i18n {

TTranslationMarker::TTranslationMarker(std::unique_ptr<TRetranslator> retranslator,
                                       QObject *parent)
    : QObject(parent), m_retranslator(std::move(retranslator))
{
    setObjectName(QLatin1StringView(markerName));
}

TTranslationMarker::~TTranslationMarker() = default;

} // namespace i18n
