// Linux: the tone through ALSA's default device.
// Implemented features:
//  [X] A sine of the asked frequency and length, 16-bit mono at 48 kHz, played to the end
//  [X] ALSA loaded on first use only; its error messages silenced
//  [X] No sound device: returns at once
//  [X] The caller waits for the tone to be played, but never longer than the
//      tone's length plus ToneMarginMs: the device is opened without blocking
//      (a busy device fails at once) and the tone is played by a short-lived
//      thread of its own, so a device that does not answer (a sound server
//      that hangs, a plugin whose output blocks) holds that thread, not the
//      click; while it is held, later tones are skipped
// Missing features or Issues:
//  [ ] A tone cut short by the margin goes on playing while the action goes on

#include "platform/linux_tone.h"

#include "platform/linux_library.h"

#include <alsa/asoundlib.h>

#include <pthread.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <numbers>
#include <thread>
#include <vector>

namespace Platform::Linux {

namespace {

constexpr unsigned SampleRate = 48000;
constexpr unsigned LatencyUs = 100000;
constexpr double Amplitude = 0.5 * 32767;
constexpr unsigned MaxDurationMs = 10000;
// How much longer than the tone itself a caller may wait for it to be played.
constexpr unsigned ToneMarginMs = 100;

struct AlsaApi {
    AVENDREL_LIBRARY_FUNCTION(snd_lib_error_set_handler);
    AVENDREL_LIBRARY_FUNCTION(snd_pcm_open);
    AVENDREL_LIBRARY_FUNCTION(snd_pcm_nonblock);
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
                        AVENDREL_FIND(library, api, snd_pcm_nonblock) &&
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

// Plays the tone on the default device and returns when it has been played.
// Runs on the tone's own thread.
bool PlayOnDevice(const AlsaApi& alsa, unsigned frequency, unsigned durationMs)
{
    snd_pcm_t* pcm = nullptr;
    // Without blocking: a device that another program holds fails at once
    // instead of waiting until it is free.
    if (alsa.snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
        return false;
    // Then blocking again, so that writing and draining wait for the device
    // (this thread is the only one that waits for it that long).
    bool ok = alsa.snd_pcm_nonblock(pcm, 0) >= 0 &&
              alsa.snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1,
                                      SampleRate, 1, LatencyUs) >= 0;
    const std::vector<std::int16_t> samples = SineSamples(frequency, durationMs);
    std::size_t done = 0;
    while (ok && done < samples.size()) {
        snd_pcm_sframes_t written =
            alsa.snd_pcm_writei(pcm, samples.data() + done, samples.size() - done);
        if (written < 0) written = alsa.snd_pcm_recover(pcm, static_cast<int>(written), 1);
        if (written < 0) ok = false;
        else done += static_cast<std::size_t>(written);
    }
    if (ok) alsa.snd_pcm_drain(pcm);
    alsa.snd_pcm_close(pcm);
    return ok;
}

// The tone being played, shared by its thread and whoever waits for it.
struct Tone {
    bool Finished = false;
    bool Played = false;
};

std::mutex g_mutex;
std::condition_variable g_changed;
std::shared_ptr<Tone> g_current;  // the tone whose thread still runs, if any

}  // namespace

bool PlayTone(unsigned frequency, unsigned durationMs)
{
    if (frequency == 0 || frequency >= SampleRate / 2 || durationMs == 0 ||
        durationMs > MaxDurationMs)
        return false;
    const AlsaApi* alsa = Alsa();
    if (!alsa) return false;
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(durationMs + ToneMarginMs);
    std::unique_lock<std::mutex> lock(g_mutex);
    // A tone still playing (clicks in quick succession) gets the time it
    // needs within the margin; one whose device does not answer keeps the
    // device, and this tone is skipped.
    if (!g_changed.wait_until(lock, deadline, [] { return !g_current; })) return false;
    auto tone = std::make_shared<Tone>();
    try {
        std::thread([alsa, tone, frequency, durationMs] {
            pthread_setname_np(pthread_self(), "tone");
            const bool played = PlayOnDevice(*alsa, frequency, durationMs);
            std::lock_guard<std::mutex> guard(g_mutex);
            tone->Finished = true;
            tone->Played = played;
            g_current.reset();
            g_changed.notify_all();
        }).detach();
    } catch (...) {
        return false;  // no thread to play it on: the action goes on without it
    }
    g_current = tone;
    g_changed.wait_until(lock, deadline, [&tone] { return tone->Finished; });
    return tone->Played;
}

}  // namespace Platform::Linux
