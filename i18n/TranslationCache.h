#pragma once

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>

// The UTF-16 texts made from the translations of one mapped catalog, one per entry, so
// that each translation is decoded once. Any number of threads may read and fill it at
// once without a lock; Reset belongs to whoever maps and unmaps the catalog, which does
// so under the catalog lock's write side while no lookup runs.
class TTranslationCache
{
public:
    TTranslationCache() = default;
    ~TTranslationCache() { Reset(0); }
    TTranslationCache(const TTranslationCache &) = delete;
    TTranslationCache &operator=(const TTranslationCache &) = delete;

    // Drops every text and makes room for entries 0 to count - 1.
    void Reset(std::uint32_t count);

    // The text kept for the entry, or null.
    const QString *Find(std::uint32_t entry) const
    {
        return entry < m_count ? m_texts[entry].load(std::memory_order_acquire) : nullptr;
    }

    // Keeps the text for the entry unless another thread was first; gives back the kept one.
    QString Keep(std::uint32_t entry, QString text);

private:
    std::unique_ptr<std::atomic<const QString *>[]> m_texts;
    std::uint32_t m_count = 0;
};
