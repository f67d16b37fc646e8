#pragma once

#include <cstdint>
#include <vector>

namespace platform {

// Mono 16-bit samples.
using Pcm = std::vector<std::int16_t>;

// A sine tone at `level` of full scale (0 to 1), faded in and out over a few milliseconds
// so that it starts and ends without a click.
Pcm tonePcm(double hertz, int milliseconds, int rate, double level = 0.5);

// Appends `milliseconds` of silence.
void appendSilence(Pcm &pcm, int milliseconds, int rate);

} // namespace platform
