#include "i18n/Hook.h"

#include "platform/Errors.h"

namespace i18n {

THook::THook(TStep install, TStep remove)
    : m_install(std::move(install)), m_remove(std::move(remove))
{
    Prepare();
}

THook::~THook()
{
    if (m_prepared)
        Disable();
    m_prepared = false;
}

void THook::Prepare()
{
    if (m_prepared) {
        Disable();
        m_prepared = false;
    }
    m_prepared = m_install && m_remove;
}

void THook::Enable()
{
    if (!m_prepared)
        throw platform::TfError(
            QStringLiteral("Patch position in THook was nil when Enable was called"));
    if (!m_enabled)
        m_install();
    m_enabled = true;
}

void THook::Disable()
{
    if (!m_prepared)
        throw platform::TfError(
            QStringLiteral("Patch position in THook was nil when Disable was called"));
    if (m_enabled)
        m_remove();
    m_enabled = false;
}

} // namespace i18n
