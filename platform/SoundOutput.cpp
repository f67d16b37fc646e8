#include "platform/SoundOutput.h"

#if TACHOFLUX_HAVE_ALSA
#include <alsa/asoundlib.h>
#include <dlfcn.h>
#endif

#include <cerrno>

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
    AlsaDevice(const AlsaApi &api, snd_pcm_t *handle) : m_api(api), m_handle(handle) {}
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
        int attempts = 0;
        while (left > 0 && attempts < 50) {
            const snd_pcm_sframes_t written = m_api.writei(m_handle, data, left);
            if (written >= 0) {
                data += written;
                left -= snd_pcm_uframes_t(written);
                continue;
            }
            ++attempts;
            if (written == -EAGAIN) {
                m_api.wait(m_handle, 100);
                continue;
            }
            // An underrun between two tones, or a suspended device: start it again.
            if (m_api.recover(m_handle, int(written), 1) < 0)
                return;
        }
    }

private:
    const AlsaApi &m_api;
    snd_pcm_t *m_handle;
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
    return std::make_unique<AlsaDevice>(*api, handle);
}

#else

std::unique_ptr<PcmDevice> openAlsaDevice(int)
{
    return nullptr;
}

#endif

SoundOutput::SoundOutput(int rate, PcmDeviceOpener opener) : m_rate(rate), m_opener(std::move(opener))
{
}

SoundOutput::~SoundOutput()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
        m_queue.clear();
    }
    m_wake.notify_all();
    if (m_worker.joinable())
        m_worker.join();
}

void SoundOutput::play(std::shared_ptr<const Pcm> samples)
{
    if (!samples || samples->empty())
        return;
    {
        const std::lock_guard lock(m_mutex);
        if (m_deviceFound == false)
            return;
        m_queue.push_back(std::move(samples));
        while (m_queue.size() > MaxQueued)
            m_queue.pop_front();
        if (!m_worker.joinable())
            m_worker = std::thread([this] { run(); });
    }
    m_wake.notify_one();
}

void SoundOutput::waitIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_queue.empty() && !m_busy; });
}

std::optional<bool> SoundOutput::deviceFound() const
{
    const std::lock_guard lock(m_mutex);
    return m_deviceFound;
}

int SoundOutput::played() const
{
    const std::lock_guard lock(m_mutex);
    return m_played;
}

void SoundOutput::run()
{
    std::unique_ptr<PcmDevice> device;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_stop)
            break;
        std::shared_ptr<const Pcm> samples = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        lock.unlock();
        if (!device && m_opener)
            device = m_opener(m_rate);
        if (device)
            device->play(*samples);
        lock.lock();
        m_busy = false;
        if (!m_deviceFound)
            m_deviceFound = device != nullptr;
        if (device)
            ++m_played;
        else
            m_queue.clear();
        if (m_queue.empty())
            m_idle.notify_all();
    }
    m_busy = false;
    m_idle.notify_all();
    lock.unlock();
}

} // namespace platform
