#pragma once
// A short sine tone through the sound system's default output.

namespace Platform::Linux {

// Plays the tone and returns once it has been played. Returns false at once,
// printing nothing, when there is no sound output.
bool PlayTone(unsigned frequency, unsigned durationMs);

}  // namespace Platform::Linux
