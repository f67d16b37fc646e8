#pragma once

#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace i18n {

// The UTF-16 texts made from the translations of one opened catalog, one per entry, so
// that each translation is decoded once. Any number of threads may read and fill it at
// once without a lock. The texts kept are bounded by a byte budget: past it, further
// translations are decoded at every lookup instead of being kept.
class TTranslationCache
{
public:
    static constexpr std::size_t defaultBudget = 256 * 1024;

    explicit TTranslationCache(std::uint32_t count = 0, std::size_t budget = defaultBudget);
    ~TTranslationCache();
    TTranslationCache(const TTranslationCache &) = delete;
    TTranslationCache &operator=(const TTranslationCache &) = delete;

    // The text kept for the entry, or null.
    const QString *Find(std::uint32_t entry) const
    {
        return entry < m_count ? m_texts[entry].load(std::memory_order_acquire) : nullptr;
    }

    // Keeps the text for the entry unless another thread was first or the budget is
    // spent; gives back the kept text (or the text itself).
    QString Keep(std::uint32_t entry, QString text);

    // What the kept texts take, counted as their UTF-16 bytes and a fixed overhead each.
    std::size_t KeptBytes() const { return m_bytes.load(std::memory_order_relaxed); }
    static std::size_t Cost(const QString &text)
    {
        return std::size_t(text.size()) * sizeof(QChar) + sizeof(QString) + 32;
    }

private:
    std::unique_ptr<std::atomic<const QString *>[]> m_texts;
    std::uint32_t m_count = 0;
    std::size_t m_budget = 0;
    std::atomic<std::size_t> m_bytes = 0;
};

} // namespace i18n
