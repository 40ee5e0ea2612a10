#include "audio/engine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "audio/audio_format.h"
#include "audio/decoder.h"
#include "audio/thread_priority.h"
#include "audio/voice.h"

#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

namespace audio {
namespace {

// The decoder thread looks at every playing voice this often; a voice's ring covers ~250 ms,
// so even a busy machine has ample margin.
constexpr auto kDecodeInterval = std::chrono::milliseconds(5);

void FlushDenormalsToZero() {
#if defined(__SSE__) || defined(_M_X64)
    // Fades decay towards tiny values whose arithmetic is very slow without this.
    _mm_setcsr(_mm_getcsr() | 0x8040);
#endif
}

}  // namespace

Engine::Engine(OutputKind output) : m_outputKind(output) {
    m_closing.reserve(kMaxVoices);
    if (output == OutputKind::Offline) return;
    m_decoderThread = std::thread([this] { decodeLoop(); });
    if (output == OutputKind::Caller) return;
    m_output = output == OutputKind::Device ? MakeDeviceOutput() : MakeNullOutput();
    m_output->start(*this);
}

Engine::~Engine() {
    if (m_output) m_output->stop();
    {
        std::lock_guard lock(m_decodeWakeMutex);
        m_decodeStop = true;
    }
    m_decodeWake.notify_all();
    if (m_decoderThread.joinable()) m_decoderThread.join();
}

const char* Engine::outputName() const {
    return m_output ? m_output->currentName() : "offline";
}

Voice* Engine::voiceFor(VoiceId id) const {
    if (id < 0 || id >= kMaxVoices) return nullptr;
    std::lock_guard lock(m_voicesMutex);
    return m_owned[id].get();
}

OpenResult Engine::open(const std::string& path, VoiceId& id, std::string* why) {
    std::lock_guard command(m_commandMutex);
    reapClosedVoices();
    id = -1;
    DecoderOpenError error = DecoderOpenError::None;
    std::unique_ptr<Decoder> decoder = Decoder::Open(path, error, why);
    if (!decoder) {
        return error == DecoderOpenError::FileNotFound ? OpenResult::FileNotFound : OpenResult::Unplayable;
    }
    // A free slot: neither owned nor still held by the audio thread. Only commands take slots and
    // they are serialised, so it stays free while the voice is made.
    int slot = 0;
    {
        std::lock_guard lock(m_voicesMutex);
        while (slot < kMaxVoices && (m_owned[slot] || m_live[slot].load(std::memory_order_acquire) != nullptr)) ++slot;
    }
    if (slot == kMaxVoices) {
        if (why) *why = "all " + std::to_string(kMaxVoices) + " voices are in use";
        return OpenResult::TooManyVoices;
    }
    auto voice = std::make_shared<Voice>(std::move(decoder), m_states[slot]);
    std::lock_guard lock(m_voicesMutex);
    m_owned[slot] = voice;
    m_live[slot].store(voice.get(), std::memory_order_release);
    id = slot;
    return OpenResult::Ok;
}

void Engine::close(VoiceId id) {
    std::lock_guard command(m_commandMutex);
    std::shared_ptr<Voice> voice;
    {
        std::lock_guard lock(m_voicesMutex);
        if (id < 0 || id >= kMaxVoices || !m_owned[id]) return;
        voice = std::move(m_owned[id]);
    }
    voice->requestClose();
    changed();
    if (m_outputKind == OutputKind::Offline) {
        m_live[id].store(nullptr, std::memory_order_release);  // no audio thread to wait for
    } else {
        m_closing.emplace_back(id, std::move(voice));
    }
    reapClosedVoices();
}

void Engine::reapClosedVoices() {
    // A closed voice is freed only after the audio thread has let go of it.
    std::erase_if(m_closing, [this](const auto& entry) {
        return m_live[entry.first].load(std::memory_order_acquire) != entry.second.get();
    });
}

bool Engine::seek(VoiceId id, std::int64_t ms) {
    std::lock_guard command(m_commandMutex);
    Voice* voice = voiceFor(id);
    if (voice == nullptr) return false;
    if (m_output) m_output->commandComing();  // a play usually follows; decoding the new start takes a while
    const std::int64_t frame = ms <= 0 ? 0 : FramesFromMs(std::min<std::int64_t>(ms, INT64_MAX / kSampleRate));
    const bool moved = voice->seek(frame, m_outputKind == OutputKind::Offline);
    if (moved) changed();
    return moved;
}

void Engine::play(VoiceId id) {
    std::lock_guard command(m_commandMutex);
    if (Voice* voice = voiceFor(id)) {
        voice->play();
        wakeDecoder();  // top the ring up beyond its primed start without delay
        changed();
    }
}

void Engine::stop(VoiceId id) {
    std::lock_guard command(m_commandMutex);
    if (Voice* voice = voiceFor(id)) {
        voice->stop();
        changed();
    }
}

bool Engine::isPlaying(VoiceId id) const {
    std::lock_guard command(m_commandMutex);
    // The voice's own state, read where the engine keeps it with all others'.
    return voiceFor(id) != nullptr && m_states[id].playing();
}

std::int64_t Engine::lengthMs(VoiceId id) const {
    std::lock_guard command(m_commandMutex);
    const Voice* voice = voiceFor(id);
    // Rounded to the nearest millisecond: the reported length is then within half a millisecond
    // of the audio actually played.
    return voice == nullptr ? 0 : (voice->lengthFrames() * 1000 + kSampleRate / 2) / kSampleRate;
}

std::int64_t Engine::positionMs(VoiceId id) const {
    std::lock_guard command(m_commandMutex);
    const Voice* voice = voiceFor(id);
    return voice == nullptr ? 0 : (voice->positionFrames() * 1000 + kSampleRate / 2) / kSampleRate;
}

void Engine::setVolume(VoiceId id, int level) {
    std::lock_guard command(m_commandMutex);
    if (Voice* voice = voiceFor(id)) {
        voice->setVolume(std::clamp(level, 0, 1000));
        changed();
    }
}

void Engine::changed() {
    m_commands.fetch_add(1, std::memory_order_release);
    if (m_output) m_output->changed();
}

int Engine::volume(VoiceId id) const {
    std::lock_guard command(m_commandMutex);
    const Voice* voice = voiceFor(id);
    return voice == nullptr ? 0 : voice->volume();
}

void Engine::wakeDecoder() {
    {
        std::lock_guard lock(m_decodeWakeMutex);
        m_decodeKick = true;
    }
    m_decodeWake.notify_one();
}

void Engine::decodeLoop() {
    NameThisThread("sorvane-decode");
    RaiseThreadPriority(ThisThreadId());
    std::vector<std::shared_ptr<Voice>> voices;
    voices.reserve(kMaxVoices);
    std::unique_lock wakeLock(m_decodeWakeMutex);
    while (!m_decodeStop) {
        m_decodeKick = false;
        wakeLock.unlock();
        {
            std::lock_guard lock(m_voicesMutex);
            for (const auto& voice : m_owned) {
                if (voice) voices.push_back(voice);
            }
        }
        // Round-robin in small steps, so that when many sounds start together each gets its first
        // stretch decoded before any is filled up to the full target.
        bool more = true;
        for (std::size_t level = Voice::kPrimeFrames * 2; more; level += Voice::kPrimeFrames) {
            more = level < Voice::kFillTarget;
            for (const auto& voice : voices) voice->fill(std::min(level, Voice::kFillTarget));
        }
        const bool playing =
            std::any_of(voices.begin(), voices.end(), [](const auto& voice) { return voice->wantsDecoding(); });
        voices.clear();  // may free a voice closed meanwhile: here, never on the audio thread
        wakeLock.lock();
        // With nothing playing there is nothing to decode until a play: no timer, no wake-ups.
        const auto woken = [this] { return m_decodeStop || m_decodeKick; };
        if (playing) {
            m_decodeWake.wait_for(wakeLock, kDecodeInterval, woken);
        } else {
            m_decodeWake.wait(wakeLock, woken);
        }
    }
}

void Engine::renderOffline(float* out, std::size_t frames) {
    std::lock_guard command(m_commandMutex);
    while (frames > 0) {
        const int block = static_cast<int>(std::min<std::size_t>(frames, kBlockFrames));
        {
            std::lock_guard lock(m_voicesMutex);
            for (const auto& voice : m_owned) {
                if (voice) voice->fill(Voice::kPrimeFrames);
            }
        }
        mixBlock(out, block);
        commit(m_position);
        out += static_cast<std::size_t>(block) * kChannels;
        frames -= static_cast<std::size_t>(block);
    }
}

void Engine::prefetchOffline() {
    std::lock_guard command(m_commandMutex);
    std::lock_guard lock(m_voicesMutex);
    for (const auto& voice : m_owned) {
        if (voice) voice->fill(Voice::kFillTarget);
    }
}

void Engine::render(float* out, int frames) {
    FlushDenormalsToZero();
    while (frames > 0) {
        const int block = std::min(frames, kBlockFrames);
        mixBlock(out, block);
        out += static_cast<std::size_t>(block) * kChannels;
        frames -= block;
    }
}

void Engine::mixBlock(float* out, int frames) {
    std::memset(out, 0, sizeof(float) * static_cast<std::size_t>(frames) * kChannels);
    const std::uint64_t commands = m_commands.load(std::memory_order_acquire);
    if (m_quietFrom >= 0 && commands == m_quietCommands) {
        // Nothing sounds and nothing was asked since: silence, and no block to remember.
        m_position += frames;
        return;
    }
    const std::uint64_t block = m_nextBlock;
    m_blockStarts[block % Voice::kHistory] = m_position;
    std::uint32_t underruns = 0;
    bool sounding = false;
    for (auto& slot : m_live) {
        Voice* voice = slot.load(std::memory_order_acquire);
        if (voice == nullptr) continue;
        if (voice->closeRequested()) {
            if (voice->silent()) {
                slot.store(nullptr, std::memory_order_release);  // the command thread frees it later
                continue;
            }
            sounding = true;  // not quiet until it has been let go of
        }
        voice->saveCursors(block);
        underruns += static_cast<std::uint32_t>(voice->mix(out, frames, block));
        sounding = sounding || voice->sounding();
    }
    m_blockUnderruns[block % Voice::kHistory] = underruns;
    for (int i = 0; i < frames * kChannels; ++i) {
        const float x = out[i];
        out[i] = std::isnan(x) ? 0.0f : std::clamp(x, -1.0f, 1.0f);
    }
    m_position += frames;
    ++m_nextBlock;
    m_voicesCommittedAt = kNoBlock;
    if (sounding) {
        m_quietFrom = -1;
    } else {
        if (m_quietFrom < 0) {
            m_quietFrom = m_position;
            m_quietBlock = m_nextBlock;
        }
        m_quietCommands = commands;
    }
}

std::int64_t Engine::blockStart(std::uint64_t block) const {
    return block == m_nextBlock ? m_position : m_blockStarts[block % Voice::kHistory];
}

std::int64_t Engine::rewind(std::int64_t frame) {
    if (m_quietFrom >= 0 && frame >= m_quietFrom && frame < m_position) {
        // Nothing has sounded since m_quietFrom and no cursor has moved: rendering from `frame` is
        // rendering on from here, only sooner. The silent blocks since are forgotten.
        m_position = frame;
        m_nextBlock = m_quietBlock;
        m_committedBlock = std::min(m_committedBlock, m_quietBlock);
        m_voicesCommittedAt = kNoBlock;
        return m_position;
    }
    // The oldest block whose starting cursors every voice still holds, and never one already heard.
    const std::uint64_t remembered = m_nextBlock >= Voice::kHistory - 1 ? m_nextBlock - (Voice::kHistory - 1) : 0;
    std::uint64_t block = m_nextBlock;
    const std::uint64_t oldest = std::max(remembered, m_committedBlock);
    while (block > oldest && blockStart(block) > frame) --block;
    if (block == m_nextBlock) return m_position;
    for (auto& slot : m_live) {
        if (Voice* voice = slot.load(std::memory_order_acquire)) voice->restoreCursors(block);
    }
    m_position = blockStart(block);
    m_nextBlock = block;
    m_quietFrom = -1;  // known again once the block has been rendered
    m_voicesCommittedAt = kNoBlock;
    return m_position;
}

bool Engine::skipQuiet(std::int64_t frames) {
    if (quietFrom() < 0) return false;
    m_position += frames;
    return true;
}

std::int64_t Engine::decodedAhead() const {
    std::int64_t ahead = INT64_MAX;
    for (const auto& slot : m_live) {
        if (const Voice* voice = slot.load(std::memory_order_acquire)) {
            ahead = std::min(ahead, voice->decodedAhead());
        }
    }
    return ahead;
}

void Engine::commit(std::int64_t frame) {
    std::uint64_t block =
        std::max(m_committedBlock, m_nextBlock >= Voice::kHistory - 1 ? m_nextBlock - (Voice::kHistory - 1) : 0);
    std::uint64_t underruns = 0;
    for (; block < m_nextBlock && blockStart(block) < frame; ++block)
        underruns += m_blockUnderruns[block % Voice::kHistory];
    if (underruns != 0) m_underruns.fetch_add(underruns, std::memory_order_relaxed);
    m_committedBlock = block;
    // Once all that was rendered is committed, committing again changes nothing until the next block.
    if (block == m_voicesCommittedAt) return;
    for (auto& slot : m_live) {
        if (Voice* voice = slot.load(std::memory_order_acquire)) voice->commit(block, block == m_nextBlock);
    }
    if (block == m_nextBlock) m_voicesCommittedAt = block;
}

}  // namespace audio
