#pragma once
// Where mixed audio goes. An output calls the render callback on its own audio thread with a
// buffer to fill (interleaved float stereo at kSampleRate); it never runs two callbacks at once.
#include <memory>

namespace audio {

using RenderCallback = void (*)(void* context, float* out, int frames);

class AudioOutput {
 public:
  virtual ~AudioOutput() = default;
  // Called once from the thread that owns the engine, before and after all rendering.
  virtual void start(RenderCallback render, void* context) = 0;
  virtual void stop() = 0;
  // Which output is consuming audio right now ("device" or "null"); for logs and tests.
  virtual const char* currentName() const = 0;
};

// Consumes audio in real time on its own thread and discards it: used when no sound device can
// be opened, so playing, status and the end of a sound behave exactly as with a device.
std::unique_ptr<AudioOutput> MakeNullOutput();

// The default sound device through SDL. Falls back to the null output when no device opens, and
// when the device disappears while running it reopens the default device or falls back.
std::unique_ptr<AudioOutput> MakeDeviceOutput();

}  // namespace audio
