// SDL's own audio drivers: the last resort before silence, for systems without a sound server
// we speak to natively (or where SDL_AUDIODRIVER names a driver, such as "dummy" in tests). The
// device asks for small buffers; its callback thread is made real-time on its first call.
#include <SDL.h>

#include <atomic>

#include "audio/audio_format.h"
#include "audio/thread_priority.h"
#include "server_connection.h"

namespace audio {
namespace {

class SdlConnection final : public ServerConnection {
public:
    ~SdlConnection() override { close(); }

    const char* name() const override { return "sdl"; }

    // SDL has no way to ask without opening; opening is the attempt.
    bool reachable() override { return true; }

    bool open(RenderSource& source) override {
        close();
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
        m_source = &source;
        m_threadId.store(0, std::memory_order_relaxed);
        SDL_AudioSpec want{};
        want.freq = kSampleRate;
        want.format = AUDIO_F32SYS;
        want.channels = kChannels;
        want.samples = kBlockFrames;
        want.callback = &SdlConnection::Callback;
        want.userdata = this;
        SDL_AudioSpec have{};
        // No changes allowed: SDL converts to whatever the hardware wants, so the mixer's format and
        // block size stay fixed.
        m_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (m_device == 0) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return false;
        }
        m_periodFrames.store(have.samples, std::memory_order_relaxed);
        SDL_PauseAudioDevice(m_device, 0);
        return true;
    }

    bool healthy() const override { return m_device != 0 && SDL_GetAudioDeviceStatus(m_device) == SDL_AUDIO_PLAYING; }

    FeedReport feed() const override {
        return {m_threadId.load(std::memory_order_acquire), false, m_periodFrames.load(std::memory_order_relaxed),
                false};
    }

    void close() override {
        if (m_device == 0) return;
        SDL_CloseAudioDevice(m_device);  // waits for a running callback
        m_device = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

private:
    static void Callback(void* self, Uint8* stream, int bytes) {
        auto* connection = static_cast<SdlConnection*>(self);
        RenderSource& source = *connection->m_source;
        source.render(reinterpret_cast<float*>(stream), bytes / static_cast<int>(sizeof(float) * kChannels));
        source.commit(source.position());
        if (connection->m_threadId.load(std::memory_order_relaxed) == 0) {
            connection->m_threadId.store(ThisThreadId(), std::memory_order_release);
        }
    }

    RenderSource* m_source = nullptr;
    SDL_AudioDeviceID m_device = 0;
    std::atomic<ThreadId> m_threadId{0};  // the callback's thread, once it has rendered
    std::atomic<int> m_periodFrames{0};
};

}  // namespace

std::unique_ptr<ServerConnection> MakeSdlConnection() {
    return std::make_unique<SdlConnection>();
}

}  // namespace audio
