// Linux: the tone through ALSA's default device.
// Implemented features:
//  [X] A sine of the asked frequency and length, 16-bit mono at 48 kHz, played to the end
//  [X] ALSA loaded on first use only; its error messages silenced
//  [X] No sound device: returns at once
// Missing features or Issues:
//  [ ] Blocks the calling thread for the tone's length (as the program expects)

#include "platform/linux_tone.h"

#include "platform/linux_library.h"

#include <alsa/asoundlib.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace Platform::Linux {

namespace {

constexpr unsigned SampleRate = 48000;
constexpr unsigned LatencyUs = 100000;
constexpr double Amplitude = 0.5 * 32767;
constexpr unsigned MaxDurationMs = 10000;

struct AlsaApi {
    AVENDREL_LIBRARY_FUNCTION(snd_lib_error_set_handler);
    AVENDREL_LIBRARY_FUNCTION(snd_pcm_open);
    AVENDREL_LIBRARY_FUNCTION(snd_pcm_set_params);
    AVENDREL_LIBRARY_FUNCTION(snd_pcm_writei);
    AVENDREL_LIBRARY_FUNCTION(snd_pcm_recover);
    AVENDREL_LIBRARY_FUNCTION(snd_pcm_drain);
    AVENDREL_LIBRARY_FUNCTION(snd_pcm_close);
};

// alsa-lib prints its errors unless given a handler; this one drops them.
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

const AlsaApi* Alsa()
{
    static AlsaApi api;
    static const bool loaded = [] {
        static SharedLibrary library("libasound.so.2");
        const bool ok = library.Open() && AVENDREL_FIND(library, api, snd_lib_error_set_handler) &&
                        AVENDREL_FIND(library, api, snd_pcm_open) &&
                        AVENDREL_FIND(library, api, snd_pcm_set_params) &&
                        AVENDREL_FIND(library, api, snd_pcm_writei) &&
                        AVENDREL_FIND(library, api, snd_pcm_recover) &&
                        AVENDREL_FIND(library, api, snd_pcm_drain) &&
                        AVENDREL_FIND(library, api, snd_pcm_close);
        if (ok) api.snd_lib_error_set_handler(IgnoreAlsaError);
        return ok;
    }();
    return loaded ? &api : nullptr;
}

std::vector<std::int16_t> SineSamples(unsigned frequency, unsigned durationMs)
{
    const std::size_t count = static_cast<std::size_t>(SampleRate) * durationMs / 1000;
    std::vector<std::int16_t> samples(count);
    const double step = 2 * std::numbers::pi * frequency / SampleRate;
    for (std::size_t i = 0; i < count; ++i)
        samples[i] = static_cast<std::int16_t>(std::lround(Amplitude * std::sin(step * i)));
    return samples;
}

}  // namespace

bool PlayTone(unsigned frequency, unsigned durationMs)
{
    if (frequency == 0 || frequency >= SampleRate / 2 || durationMs == 0 ||
        durationMs > MaxDurationMs)
        return false;
    const AlsaApi* alsa = Alsa();
    if (!alsa) return false;
    snd_pcm_t* pcm = nullptr;
    if (alsa->snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) return false;
    bool ok = alsa->snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1,
                                       SampleRate, 1, LatencyUs) >= 0;
    const std::vector<std::int16_t> samples = SineSamples(frequency, durationMs);
    std::size_t done = 0;
    while (ok && done < samples.size()) {
        snd_pcm_sframes_t written =
            alsa->snd_pcm_writei(pcm, samples.data() + done, samples.size() - done);
        if (written < 0) written = alsa->snd_pcm_recover(pcm, static_cast<int>(written), 1);
        if (written < 0) ok = false;
        else done += static_cast<std::size_t>(written);
    }
    if (ok) alsa->snd_pcm_drain(pcm);
    alsa->snd_pcm_close(pcm);
    return ok;
}

}  // namespace Platform::Linux
