// SDL's own audio drivers: the last resort before silence, for systems without a sound server
// we speak to natively (or where SDL_AUDIODRIVER names a driver, such as "dummy" in tests). The
// device asks for small buffers; its callback thread is made real-time on its first call.
#include <SDL.h>

#include <atomic>

#include "audio/audio_format.h"
#include "audio/server_connection.h"
#include "audio/thread_priority.h"

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
        m_scheduled = false;
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
        SDL_PauseAudioDevice(m_device, 0);
        return true;
    }

    bool healthy() const override { return m_device != 0 && SDL_GetAudioDeviceStatus(m_device) == SDL_AUDIO_PLAYING; }

    void close() override {
        if (m_device == 0) return;
        SDL_CloseAudioDevice(m_device);  // waits for a running callback
        m_device = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

private:
    static void Callback(void* self, Uint8* stream, int bytes) {
        auto* connection = static_cast<SdlConnection*>(self);
        if (!connection->m_scheduled) {
            connection->m_scheduled = true;
            MakeThisThreadRealTime();
        }
        RenderSource& source = *connection->m_source;
        source.render(reinterpret_cast<float*>(stream), bytes / static_cast<int>(sizeof(float) * kChannels));
        source.commit(source.position());
    }

    RenderSource* m_source = nullptr;
    SDL_AudioDeviceID m_device = 0;
    bool m_scheduled = false;  // audio thread only, once the device runs
};

}  // namespace

std::unique_ptr<ServerConnection> MakeSdlConnection() {
    return std::make_unique<SdlConnection>();
}

}  // namespace audio
