// Linked into every test program: no test reaches a developer's own sound server. No PipeWire or
// PulseAudio server answers at these addresses, so a device output falls to SDL's dummy driver;
// a test that wants a real server starts a private one and points at it itself.
#include <cstdlib>

namespace {
const bool kNoSoundServer = [] {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("PULSE_SERVER", "unix:/nonexistent/sorvane-test", 1);
    setenv("PIPEWIRE_REMOTE", "sorvane-test-none", 1);
    return true;
}();
}  // namespace
