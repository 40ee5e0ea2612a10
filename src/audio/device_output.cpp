#include <SDL.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "audio/audio_format.h"
#include "audio/audio_output.h"

namespace audio {
namespace {

// How often the watcher looks whether the device is still there.
constexpr auto kWatchInterval = std::chrono::milliseconds(250);

class DeviceOutput final : public AudioOutput {
 public:
  ~DeviceOutput() override { stop(); }

  void start(RenderCallback render, void* context) override {
    stop();
    m_render = render;
    m_context = context;
    m_sdlReady = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    {
      std::lock_guard lock(m_mutex);
      if (!openDevice()) useNull();
      m_watching = true;
    }
    m_watcher = std::thread([this] { watch(); });
  }

  void stop() override {
    {
      std::lock_guard lock(m_mutex);
      if (!m_watching) return;
      m_watching = false;
    }
    m_wake.notify_all();
    m_watcher.join();
    std::lock_guard lock(m_mutex);
    closeDevice();
    if (m_null) m_null->stop();
    m_null.reset();
    if (m_sdlReady) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    m_sdlReady = false;
  }

  const char* currentName() const override {
    return m_usingDevice.load(std::memory_order_relaxed) ? "device" : "null";
  }

 private:
  static void Callback(void* self, Uint8* stream, int bytes) {
    auto* output = static_cast<DeviceOutput*>(self);
    output->m_render(output->m_context, reinterpret_cast<float*>(stream),
                     bytes / static_cast<int>(sizeof(float) * kChannels));
  }

  // Under m_mutex.
  bool openDevice() {
    if (!m_sdlReady) return false;
    SDL_AudioSpec want{};
    want.freq = kSampleRate;
    want.format = AUDIO_F32SYS;
    want.channels = kChannels;
    want.samples = kBlockFrames;
    want.callback = &DeviceOutput::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the hardware wants, so the mixer's format and
    // block size stay fixed.
    m_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (m_device == 0) return false;
    SDL_PauseAudioDevice(m_device, 0);
    m_usingDevice.store(true, std::memory_order_relaxed);
    return true;
  }

  void closeDevice() {
    if (m_device != 0) SDL_CloseAudioDevice(m_device);  // waits for a running callback
    m_device = 0;
    m_usingDevice.store(false, std::memory_order_relaxed);
  }

  void useNull() {
    m_null = MakeNullOutput();
    m_null->start(m_render, m_context);
  }

  void watch() {
    std::unique_lock lock(m_mutex);
    while (m_watching) {
      m_wake.wait_for(lock, kWatchInterval);
      if (!m_watching) break;
      if (m_device != 0 && SDL_GetAudioDeviceStatus(m_device) != SDL_AUDIO_PLAYING) {
        // The device went away (unplugged, sound server restarted). Voices keep their positions
        // because they only advance when rendered.
        closeDevice();
        if (!openDevice()) useNull();
      }
    }
  }

  RenderCallback m_render = nullptr;  // set in start() before any audio thread exists
  void* m_context = nullptr;
  bool m_sdlReady = false;            // start/stop thread only
  std::mutex m_mutex;                 // guards the members below against the watcher
  std::condition_variable m_wake;
  bool m_watching = false;
  SDL_AudioDeviceID m_device = 0;
  std::unique_ptr<AudioOutput> m_null;
  std::atomic<bool> m_usingDevice{false};
  std::thread m_watcher;
};

}  // namespace

std::unique_ptr<AudioOutput> MakeDeviceOutput() { return std::make_unique<DeviceOutput>(); }

}  // namespace audio
