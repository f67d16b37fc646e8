#pragma once

// Something that can be run later, such as translating a window again.
class TRunnable
{
public:
    virtual ~TRunnable() = default;
    virtual void Run() = 0;
};
