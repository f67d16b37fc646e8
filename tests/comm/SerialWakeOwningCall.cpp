// Must not compile: a call that owns a string would lose it when a wake jumps out of it.
#include "comm/SerialWake.h"

#include <string>

int main()
{
    comm::SerialWake wake;
    std::string owned = "leaked when cut short";
    auto call = [owned] { (void)owned.size(); };
    return wake.run(call) ? 0 : 1;
}
