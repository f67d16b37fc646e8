#pragma once

#include "platform/Locale.h"
#include "platform/ResourceText.h"
#include "platform/Shell.h"

// A global service replaced for as long as the installer lives; the program's own service
// is back when it goes, whatever way the test ends. The fake clock and the fake serial
// ports install themselves the same way.
template <typename Service, void (*Install)(Service *)>
class Installed
{
public:
    explicit Installed(Service &service) { Install(&service); }
    ~Installed() { Install(nullptr); }
    Installed(const Installed &) = delete;
    Installed &operator=(const Installed &) = delete;
};

using ShellInstalled = Installed<platform::Shell, &platform::setShell>;
using LocaleInstalled = Installed<platform::Locale, &platform::setLocale>;

class ResourceTextInstalled
{
public:
    explicit ResourceTextInstalled(platform::ResourceTextHook hook)
    {
        platform::setResourceTextHook(hook);
    }
    ~ResourceTextInstalled() { platform::setResourceTextHook(nullptr); }
    ResourceTextInstalled(const ResourceTextInstalled &) = delete;
    ResourceTextInstalled &operator=(const ResourceTextInstalled &) = delete;
};
