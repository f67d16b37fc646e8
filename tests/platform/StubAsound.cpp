// A stand-in for the ALSA library, loaded in its place through LD_LIBRARY_PATH: a sound
// device that misbehaves as TF_STUB_ALSA says. "zero": every write takes nothing and every
// wait returns at once; "block": the open never returns.
#include <cstdlib>
#include <cstring>

#include <unistd.h>

namespace {

bool mode(const char *name)
{
    const char *chosen = std::getenv("TF_STUB_ALSA");
    return chosen && std::strcmp(chosen, name) == 0;
}

int g_handle = 0;

} // namespace

extern "C" {

__attribute__((visibility("default"))) int snd_pcm_open(void **pcm, const char *, int, int)
{
    while (mode("block"))
        ::pause();
    *pcm = &g_handle;
    return 0;
}

__attribute__((visibility("default"))) int snd_pcm_set_params(void *, int, int, unsigned,
                                                              unsigned, int, unsigned)
{
    return 0;
}

__attribute__((visibility("default"))) long snd_pcm_writei(void *, const void *, unsigned long)
{
    return 0;
}

__attribute__((visibility("default"))) int snd_pcm_recover(void *, int, int)
{
    return 0;
}

__attribute__((visibility("default"))) int snd_pcm_wait(void *, int)
{
    return 1;
}

__attribute__((visibility("default"))) int snd_pcm_drain(void *)
{
    return 0;
}

__attribute__((visibility("default"))) int snd_pcm_close(void *)
{
    return 0;
}

__attribute__((visibility("default"))) int snd_lib_error_set_handler(void *)
{
    return 0;
}

} // extern "C"
