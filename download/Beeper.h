#pragma once

#include <stop_token>

// Plays the end-of-download tone. Called on the download worker's thread.
class IBeeper {
  public:
    virtual ~IBeeper() = default;

    // Plays a tone of hz for ms milliseconds and returns true when a tone was played, false when there is no
    // sound device (the caller then rings the desktop bell). It may block for the tone's length but must
    // return soon once stop is requested; it may also return at once: the worker waits out the rest of the
    // tone's length itself either way.
    virtual bool beep(unsigned hz, unsigned ms, std::stop_token stop) = 0;
};

// A sine tone on the ALSA "default" playback device. Returns false when that device cannot be opened
// (no sound card, no sound server), without printing ALSA's own diagnostics.
class AlsaBeeper final : public IBeeper {
  public:
    bool beep(unsigned hz, unsigned ms, std::stop_token stop) override;
};
