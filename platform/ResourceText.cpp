#include "platform/ResourceText.h"

#include <atomic>

namespace platform {

namespace {
std::atomic<ResourceTextHook> g_hook{nullptr};
} // namespace

QString resourceText(const QString &text)
{
    const ResourceTextHook hook = g_hook.load(std::memory_order_acquire);
    return hook ? hook(text) : text;
}

QString resourceText(const char *text, const QStringList &args)
{
    const QString translated = resourceText(QString::fromUtf8(text));
    QString result;
    qsizetype from = 0;
    for (const QString &arg : args) {
        const qsizetype at = translated.indexOf(u"%s", from);
        if (at < 0)
            break;
        result += translated.mid(from, at - from) + arg;
        from = at + 2;
    }
    return result + translated.mid(from);
}

void setResourceTextHook(ResourceTextHook hook)
{
    g_hook.store(hook, std::memory_order_release);
}

} // namespace platform
