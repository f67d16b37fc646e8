#pragma once

#include <functional>

namespace i18n {

// Redirection of one of the routes by which the toolkit fetches its texts. Qt offers
// replaceable routes (a translator list, a function reference) rather than code to
// patch, so a route is given as the two steps that put the replacement in place and take
// it out again; preparing checks that there is a route, and following an indirection has
// nothing to follow.
class THook
{
public:
    using TStep = std::function<void()>;

    // Empty steps mean no route: the hook stays unprepared.
    THook(TStep install, TStep remove);
    // Takes the replacement out, restoring the toolkit's own texts.
    ~THook();
    THook(const THook &) = delete;
    THook &operator=(const THook &) = delete;

    void Prepare();
    void Enable();
    void Disable();

    bool IsPrepared() const { return m_prepared; }
    bool IsEnabled() const { return m_enabled; }

private:
    TStep m_install;
    TStep m_remove;
    bool m_prepared = false;
    bool m_enabled = false;
};

} // namespace i18n
