#pragma once
// A short sine tone through the sound system's default output.

namespace Platform::Linux {

// Plays the tone and returns once it has been played, or after the tone's
// length and a margin of 100 ms when the device does not answer (the tone is
// then skipped). Returns false, printing nothing, when there is no sound
// output, or when it is busy or does not answer.
bool PlayTone(unsigned frequency, unsigned durationMs);

}  // namespace Platform::Linux
