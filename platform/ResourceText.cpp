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

void setResourceTextHook(ResourceTextHook hook)
{
    g_hook.store(hook, std::memory_order_release);
}

} // namespace platform
