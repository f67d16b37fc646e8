#pragma once

namespace i18n {

// Something that can be run later, such as translating a window again.
class TRunnable
{
public:
    virtual ~TRunnable() = default;
    virtual void Run() = 0;
};

} // namespace i18n
