#include "Beeper.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <mutex>
#include <numbers>
#include <vector>

namespace {

constexpr unsigned kRate = 48000;          // Hz
constexpr unsigned kChunkFrames = 960;     // 20 ms: how often a stop request is looked at
constexpr unsigned kLatencyUs = 100000;    // device buffer the tone may sit in
constexpr unsigned kRampFrames = 480;      // 10 ms fade in and out, so that the tone does not click
constexpr double kAmplitude = 0.5 * 32767; // half scale

void SilentAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

struct PcmCloser {
    snd_pcm_t* pcm;
    ~PcmCloser() { snd_pcm_close(pcm); }
};

} // namespace

bool AlsaBeeper::beep(unsigned hz, unsigned ms, std::stop_token stop) {
    // Without this, a machine without a sound card gets several lines of ALSA chatter on standard error.
    static std::once_flag quiet;
    std::call_once(quiet, [] { snd_lib_error_set_handler(SilentAlsaErrors); });

    snd_pcm_t* pcm = nullptr;
    // Open without blocking so that a device held by another program fails at once instead of hanging.
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
        return false;
    }
    PcmCloser closer{pcm};
    if (snd_pcm_nonblock(pcm, 0) < 0 ||
        snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kRate, 1, kLatencyUs) <
            0) {
        return false;
    }

    const unsigned long total = static_cast<unsigned long>(kRate) * ms / 1000;
    std::vector<short> chunk(kChunkFrames);
    unsigned long done = 0;
    while (done < total && !stop.stop_requested()) {
        const unsigned long n = std::min<unsigned long>(kChunkFrames, total - done);
        for (unsigned long i = 0; i < n; ++i) {
            const unsigned long t = done + i;
            const double ramp = std::min({1.0, double(t) / kRampFrames, double(total - t) / kRampFrames});
            chunk[i] = static_cast<short>(kAmplitude * ramp *
                                          std::sin(2.0 * std::numbers::pi * hz * double(t) / kRate));
        }
        snd_pcm_sframes_t written = snd_pcm_writei(pcm, chunk.data(), n);
        if (written < 0) {
            written = snd_pcm_recover(pcm, static_cast<int>(written), 1);
            if (written < 0) {
                return done > 0;
            }
            continue;
        }
        done += static_cast<unsigned long>(written);
    }
    if (stop.stop_requested()) {
        snd_pcm_drop(pcm);
    } else {
        snd_pcm_drain(pcm);
    }
    return true;
}
