#pragma once

#include "platform/Tone.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace platform {

// One opened playback device for mono 16-bit samples.
class PcmDevice
{
public:
    virtual ~PcmDevice() = default;
    // Hands the samples to the device; may wait while its buffer is full.
    virtual void play(const Pcm &samples) = 0;
};

// Opens a device at the given rate, or gives null when there is none.
using PcmDeviceOpener = std::function<std::unique_ptr<PcmDevice>(int rate)>;

// The system's default ALSA device, reached through the library loaded on first use (so
// that a machine without it, or a start of the program, never pays for it). Null when the
// library, the device or the rate is missing; ALSA's own complaints are kept off stderr.
std::unique_ptr<PcmDevice> openAlsaDevice(int rate);

// Plays short sounds on a worker thread of its own: play() only queues and returns at once,
// so the caller (the window that has just taken a contact's instant) never waits for the
// device. The worker and the device come with the first sound. No device: no sound, silently.
// A device that hangs (an open or a write that never returns) never delays the end: the
// destructor waits at most MaxEndWait for the worker and then leaves it to the process's end.
class SoundOutput
{
public:
    explicit SoundOutput(int rate = 48000, PcmDeviceOpener opener = openAlsaDevice);
    ~SoundOutput();
    SoundOutput(const SoundOutput &) = delete;
    SoundOutput &operator=(const SoundOutput &) = delete;

    int rate() const { return m_rate; }

    // Queues a sound. Sounds that pile up behind a busy device are dropped oldest first:
    // a tone heard long after its event tells nothing.
    void play(std::shared_ptr<const Pcm> samples);

    // Waits until every queued sound has been played or dropped.
    void waitIdle();

    // Unknown until the first sound has been tried; then whether a device opened.
    std::optional<bool> deviceFound() const;
    // How many sounds reached the device.
    int played() const;

    static constexpr std::size_t MaxQueued = 2;
    static constexpr std::chrono::milliseconds MaxEndWait{500};

private:
    // Shared with the worker, which may outlive the output when its device hangs.
    struct State
    {
        int rate = 0;
        PcmDeviceOpener opener;
        std::mutex mutex;
        std::condition_variable wake;
        std::condition_variable idle;
        std::deque<std::shared_ptr<const Pcm>> queue;
        bool busy = false;
        bool stop = false;
        bool ended = false;
        std::optional<bool> deviceFound;
        int played = 0;
    };
    static void run(const std::shared_ptr<State> &state);

    const int m_rate;
    std::shared_ptr<State> m_state;
    std::thread m_worker;
};

} // namespace platform
