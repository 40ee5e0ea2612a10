#pragma once
// The media command service ("mci", after the Media Control Interface whose command strings the
// board speaks): the only way the board touches audio. The board was made for a desktop whose
// operating system offers such a service; here we provide our own, in front of our audio engine,
// and accept exactly the commands the board sends. A command is one line of text such as `open "bell.wav" alias A3 type
// mpegvideo`, `seek A3 to 250`, `play A3`, `status A3 mode`; the answer is a 32-bit code (0 for success, the numbers in
// mci_errors.h otherwise) and, for status, a reply text.
//
// Commands understood (keywords and aliases ignore case, blanks between words are skipped):
//   open PATH [alias NAME] [type mpegvideo]   PATH quoted or a single word, UTF-8
//   close NAME | close all                    stop NAME | stop all
//   play NAME                                 seek NAME to MS|start|end
//   status NAME mode|length|position|volume   setaudio NAME volume to 0..1000
//
// The program owns its service and installs it for the length of its run (src/app/main.cpp).
// Tests build one on an offline engine, install it, drive it with commands and pull the mixed
// audio with renderOffline():
//
//   mci::Service service(mci::Service::Offline);
//   mci::InstallService(&service);          // mci::SendString now talks to `service`
//   mci::SendString("play A0", nullptr, 0, nullptr);
//   std::vector<float> block(256 * 2);
//   service.renderOffline(block.data(), 256);
//   mci::InstallService(nullptr);           // no service: every command fails
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "audio/engine.h"

namespace mci {

// The process-wide entry point, shaped like the platform's mciSendString: runs the command on the
// installed service. Command text is UTF-8. With no service installed every command fails with
// kErrInvalidDeviceName, as one sent to a device that is not open. Any thread; calls are
// serialised. The callback is accepted and ignored.
std::uint32_t SendString(const char* command, char* reply, std::uint32_t replySize, void* callback);
// Shaped like the platform's mciGetErrorString: the text for a return code, cut to fit `size`
// with its terminator. When the last command was an open that failed with this code, it also says
// why that file could not be opened. False for a code the service never returns.
bool GetErrorString(std::uint32_t code, char* text, std::uint32_t size);

struct Word;

class Service {
public:
    // The engine's own outputs, named here too: mci::Service::Offline.
    using OutputKind = audio::Engine::OutputKind;
    using enum audio::Engine::OutputKind;
    // A service on a fresh engine with the given output.
    explicit Service(OutputKind output = Device);
    // A service on an engine built by the caller.
    explicit Service(std::unique_ptr<audio::Engine> engine);
    ~Service();

    // Runs one command. The reply buffer (may be null when replySize is 0) is emptied first; a
    // reply too long for it is cut to fit, always with its terminator.
    std::uint32_t send(const char* command, char* reply, std::uint32_t replySize);

    audio::Engine& engine() { return *m_engine; }
    // Offline services only: `frames` frames of interleaved stereo float.
    void renderOffline(float* out, std::size_t frames) { m_engine->renderOffline(out, frames); }
    // See GetErrorString.
    bool errorText(std::uint32_t code, char* text, std::uint32_t size);
    // Blocks in which a playing sound had no audio ready; stays 0 on a healthy system.
    std::uint64_t underrunCount() const { return m_engine->underrunCount(); }

private:
    std::uint32_t open(const std::vector<Word>& words);
    std::uint32_t openDevice(const std::vector<Word>& words, std::string& why);
    std::uint32_t seek(audio::Engine::VoiceId id, const std::vector<Word>& words);
    std::uint32_t status(audio::Engine::VoiceId id, const std::vector<Word>& words, std::string& reply);
    std::uint32_t modeQuery(std::string_view name, char* reply, std::uint32_t replySize);
    std::uint32_t setAudio(audio::Engine::VoiceId id, const std::vector<Word>& words);
    std::uint32_t closeOrStopAll(bool close);

    std::mutex m_mutex;  // serialises commands
    std::unique_ptr<audio::Engine> m_engine;
    // Case-folded alias -> voice. Hashed: the board looks up every slot's alias ten times a second.
    std::unordered_map<std::string, audio::Engine::VoiceId> m_aliases;
    // The code and reason of a failed open, kept until the next command: a reason belongs to the
    // open that produced it, never to a later failure that happens to share its code.
    std::uint32_t m_lastOpenError = 0;
    std::string m_lastOpenReason;
};

// Makes SendString use `service` (not owned; must outlive its installation). nullptr removes it.
void InstallService(Service* service);

// Installs a service for its own lifetime: the program declares it after its service, so the
// service is uninstalled before it goes.
class ServiceInstallation {
public:
    explicit ServiceInstallation(Service& service) { InstallService(&service); }
    ~ServiceInstallation() { InstallService(nullptr); }
    ServiceInstallation(const ServiceInstallation&) = delete;
    ServiceInstallation& operator=(const ServiceInstallation&) = delete;
};

}  // namespace mci
