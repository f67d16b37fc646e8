#include "i18n/TranslationCache.h"

namespace i18n {

TTranslationCache::TTranslationCache(std::uint32_t count, std::size_t budget)
    : m_count(count), m_budget(budget)
{
    if (count > 0)
        m_texts = std::make_unique<std::atomic<const QString *>[]>(count);
}

TTranslationCache::~TTranslationCache()
{
    for (std::uint32_t i = 0; i < m_count; ++i)
        delete m_texts[i].load(std::memory_order_relaxed);
}

QString TTranslationCache::Keep(std::uint32_t entry, QString text)
{
    if (entry >= m_count)
        return text;
    if (const QString *kept = Find(entry))
        return *kept;
    const std::size_t cost = Cost(text);
    if (m_bytes.fetch_add(cost, std::memory_order_relaxed) + cost > m_budget) {
        m_bytes.fetch_sub(cost, std::memory_order_relaxed);
        return text;
    }
    auto kept = std::make_unique<const QString>(std::move(text));
    const QString *first = nullptr;
    if (m_texts[entry].compare_exchange_strong(first, kept.get(), std::memory_order_acq_rel,
                                               std::memory_order_acquire))
        return *kept.release();
    m_bytes.fetch_sub(cost, std::memory_order_relaxed);
    return *first;
}

} // namespace i18n
