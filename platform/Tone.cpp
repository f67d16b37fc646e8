#include "platform/Tone.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace platform {

namespace {

constexpr int FadeMilliseconds = 5;

} // namespace

Pcm tonePcm(double hertz, int milliseconds, int rate, double level)
{
    const auto count = std::size_t(std::max(0, int(std::int64_t(rate) * milliseconds / 1000)));
    const double fade = std::max(1.0, double(rate) * FadeMilliseconds / 1000);
    const double amplitude = std::clamp(level, 0.0, 1.0) * 32767;
    Pcm pcm(count);
    for (std::size_t i = 0; i < count; ++i) {
        // The envelope reaches 0 on the first and the last sample.
        const double edge = double(std::min(i, count - 1 - i));
        const double envelope = std::min(1.0, edge / fade);
        const double phase = 2 * std::numbers::pi * hertz * double(i) / rate;
        pcm[i] = std::int16_t(std::lround(amplitude * envelope * std::sin(phase)));
    }
    return pcm;
}

void appendSilence(Pcm &pcm, int milliseconds, int rate)
{
    pcm.resize(pcm.size() + std::size_t(std::max(0, int(std::int64_t(rate) * milliseconds / 1000))));
}

} // namespace platform
