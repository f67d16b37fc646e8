#include "platform/SoundOutput.h"

#if TACHOFLUX_HAVE_ALSA
#include <alsa/asoundlib.h>
#include <dlfcn.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>

namespace platform {

#if TACHOFLUX_HAVE_ALSA

namespace {

// The few calls we make, looked up once in the library loaded at the first sound.
struct AlsaApi
{
    decltype(&snd_pcm_open) open = nullptr;
    decltype(&snd_pcm_set_params) setParams = nullptr;
    decltype(&snd_pcm_writei) writei = nullptr;
    decltype(&snd_pcm_recover) recover = nullptr;
    decltype(&snd_pcm_wait) wait = nullptr;
    decltype(&snd_pcm_drain) drain = nullptr;
    decltype(&snd_pcm_close) close = nullptr;
    decltype(&snd_lib_error_set_handler) setErrorHandler = nullptr;

    static const AlsaApi *load()
    {
        static const AlsaApi *const api = [] () -> const AlsaApi * {
            void *library = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
            if (!library)
                return nullptr;
            static AlsaApi loaded;
            const auto find = [library](auto &function, const char *name) {
                function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
                    dlsym(library, name));
                return function != nullptr;
            };
            if (!(find(loaded.open, "snd_pcm_open") && find(loaded.setParams, "snd_pcm_set_params") &&
                  find(loaded.writei, "snd_pcm_writei") && find(loaded.recover, "snd_pcm_recover") &&
                  find(loaded.wait, "snd_pcm_wait") && find(loaded.drain, "snd_pcm_drain") &&
                  find(loaded.close, "snd_pcm_close") &&
                  find(loaded.setErrorHandler, "snd_lib_error_set_handler")))
                return nullptr;
            loaded.setErrorHandler(&quiet);
            return &loaded;
        }();
        return api;
    }

    // "No sound device" is no news to the user of a chronometer.
    static void quiet(const char *, int, const char *, int, const char *, ...) {}
};

class AlsaDevice final : public PcmDevice
{
public:
    AlsaDevice(const AlsaApi &api, snd_pcm_t *handle, int rate)
        : m_api(api), m_handle(handle), m_rate(std::max(rate, 1))
    {
    }
    ~AlsaDevice() override
    {
        // Lets the last tone play out; it is short.
        m_api.drain(m_handle);
        m_api.close(m_handle);
    }

    void play(const Pcm &samples) override
    {
        const std::int16_t *data = samples.data();
        auto left = snd_pcm_uframes_t(samples.size());
        // A device that takes nothing (a write that gives 0 or "again" with a wait that
        // does not wait) or keeps failing loses the tone, and the worker never spins: the
        // tone's own length and a second more at most.
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::milliseconds(1000 + 1000 * std::int64_t(left) / m_rate);
        int idle = 0;
        int failures = 0;
        while (left > 0 && std::chrono::steady_clock::now() < deadline) {
            const snd_pcm_sframes_t written = m_api.writei(m_handle, data, left);
            if (written > 0) {
                data += written;
                left -= snd_pcm_uframes_t(written);
                idle = 0;
                continue;
            }
            if (written == 0 || written == -EAGAIN) {
                if (++idle > MaxIdle)
                    return;
                m_api.wait(m_handle, 100);
                continue;
            }
            // An underrun between two tones, or a suspended device: start it again.
            if (++failures > MaxFailures || m_api.recover(m_handle, int(written), 1) < 0)
                return;
        }
    }

private:
    static constexpr int MaxIdle = 20;
    static constexpr int MaxFailures = 5;
    const AlsaApi &m_api;
    snd_pcm_t *m_handle;
    const int m_rate;
};

} // namespace

std::unique_ptr<PcmDevice> openAlsaDevice(int rate)
{
    const AlsaApi *api = AlsaApi::load();
    if (!api)
        return nullptr;
    snd_pcm_t *handle = nullptr;
    // Not blocking: a device held by another program must not hold the worker.
    if (api->open(&handle, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
        return nullptr;
    if (api->setParams(handle, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1,
                       unsigned(rate), 1, 100000) < 0) {
        api->close(handle);
        return nullptr;
    }
    return std::make_unique<AlsaDevice>(*api, handle, rate);
}

#else

std::unique_ptr<PcmDevice> openAlsaDevice(int)
{
    return nullptr;
}

#endif

SoundOutput::SoundOutput(int rate, PcmDeviceOpener opener)
    : m_rate(rate), m_state(std::make_shared<State>())
{
    m_state->rate = rate;
    m_state->opener = std::move(opener);
}

SoundOutput::~SoundOutput()
{
    State &s = *m_state;
    std::unique_lock lock(s.mutex);
    s.stop = true;
    s.queue.clear();
    s.wake.notify_all();
    if (!m_worker.joinable())
        return;
    const bool ended = s.idle.wait_for(lock, MaxEndWait, [&s] { return s.ended; });
    lock.unlock();
    if (ended)
        m_worker.join();
    else
        m_worker.detach(); // holds its own share of the state; the process's end ends it
}

void SoundOutput::play(std::shared_ptr<const Pcm> samples)
{
    if (!samples || samples->empty())
        return;
    State &s = *m_state;
    {
        const std::lock_guard lock(s.mutex);
        if (s.deviceFound == false)
            return;
        s.queue.push_back(std::move(samples));
        while (s.queue.size() > MaxQueued)
            s.queue.pop_front();
        if (!m_worker.joinable())
            m_worker = std::thread([state = m_state] { run(state); });
    }
    s.wake.notify_one();
}

void SoundOutput::waitIdle()
{
    State &s = *m_state;
    std::unique_lock lock(s.mutex);
    s.idle.wait(lock, [&s] { return s.queue.empty() && !s.busy; });
}

std::optional<bool> SoundOutput::deviceFound() const
{
    const std::lock_guard lock(m_state->mutex);
    return m_state->deviceFound;
}

int SoundOutput::played() const
{
    const std::lock_guard lock(m_state->mutex);
    return m_state->played;
}

void SoundOutput::run(const std::shared_ptr<State> &state)
{
    State &s = *state;
    {
        std::unique_ptr<PcmDevice> device;
        std::unique_lock lock(s.mutex);
        for (;;) {
            s.wake.wait(lock, [&s] { return s.stop || !s.queue.empty(); });
            if (s.stop)
                break;
            std::shared_ptr<const Pcm> samples = std::move(s.queue.front());
            s.queue.pop_front();
            s.busy = true;
            lock.unlock();
            if (!device && s.opener)
                device = s.opener(s.rate);
            if (device)
                device->play(*samples);
            lock.lock();
            s.busy = false;
            if (!s.deviceFound)
                s.deviceFound = device != nullptr;
            if (device)
                ++s.played;
            else
                s.queue.clear();
            if (s.queue.empty())
                s.idle.notify_all();
        }
        s.busy = false;
        lock.unlock();
        // The device is closed (the last tone played out) before the end is told.
    }
    const std::lock_guard lock(s.mutex);
    s.ended = true;
    s.idle.notify_all();
}

} // namespace platform
