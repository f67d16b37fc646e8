#pragma once

#include <optional>

namespace app {

// Answers --help and --version, which need no display and no window; the exit code then
// ends the program. Any other argument is left to the toolkit (its own options such as
// -platform) and the program starts as usual.
std::optional<int> answerCommandLine(int argc, char **argv);

} // namespace app
