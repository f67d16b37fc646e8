#include "TranslationCache.h"

void TTranslationCache::Reset(std::uint32_t count)
{
    for (std::uint32_t i = 0; i < m_count; ++i)
        delete m_texts[i].load(std::memory_order_relaxed);
    m_texts.reset();
    m_count = 0;
    if (count > 0) {
        m_texts = std::make_unique<std::atomic<const QString *>[]>(count);
        m_count = count;
    }
}

QString TTranslationCache::Keep(std::uint32_t entry, QString text)
{
    if (entry >= m_count)
        return text;
    auto kept = std::make_unique<const QString>(std::move(text));
    const QString *first = nullptr;
    if (m_texts[entry].compare_exchange_strong(first, kept.get(), std::memory_order_acq_rel,
                                               std::memory_order_acquire))
        return *kept.release();
    return *first;
}
