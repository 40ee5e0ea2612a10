#pragma once
// The audio engine: open sounds (voices), a decoder thread that keeps their rings filled, and a
// mixer that the output's audio thread calls once per block.
//
// Threads:
//  - command thread(s): every public call except render(); they are serialised by
//    m_commandMutex and may block briefly (file I/O, decoding the first block of a seek);
//  - decoder thread: tops up the rings of playing voices (not started for offline engines);
//  - audio thread: render(), called by the output. It reads voices through an array of atomic
//    pointers, never locks, allocates, touches files or logs. A closed voice is dropped from
//    that array by the audio thread once it is silent, and freed later on a command thread.
//
// Offline engines have no output and no threads: renderOffline() decodes and mixes on the
// caller's thread, so a test gets exactly the same samples on every run. Commands and
// renderOffline() must then come from one thread at a time.
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_output.h"

namespace audio {

class Voice;

enum class OpenResult { Ok, FileNotFound, Unplayable, TooManyVoices };

class Engine {
 public:
  enum class OutputKind {
    Device,   // SDL device, or the null output when none opens
    Null,     // real-time null output, no device
    Offline,  // no output and no threads: the caller renders with renderOffline()
  };
  static constexpr int kMaxVoices = 128;
  using VoiceId = int;  // valid from a successful open() until close()

  explicit Engine(OutputKind output);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Command thread. `path` is UTF-8, relative paths resolve against the current directory.
  // On Ok the voice stands at 0 with its first block decoded and its length known.
  OpenResult open(const std::string& path, VoiceId& id);
  void close(VoiceId id);
  // Stops the voice if it plays and moves it to `ms` (clamped to 0..length); the first block
  // at the new position is decoded before it returns.
  bool seek(VoiceId id, std::int64_t ms);
  void play(VoiceId id);  // from the current position; at the end, finishes at once
  void stop(VoiceId id);  // fades out within a few ms and keeps the position
  bool isPlaying(VoiceId id) const;
  std::int64_t lengthMs(VoiceId id) const;
  std::int64_t positionMs(VoiceId id) const;
  void setVolume(VoiceId id, int level);  // 0..1000, linear gain level/1000
  int volume(VoiceId id) const;

  // Any thread: blocks in which a playing voice had no decoded audio ready (silence was played).
  std::uint64_t underrunCount() const { return m_underruns.load(std::memory_order_relaxed); }
  // Which output consumes audio now: "device", "null" or "offline".
  const char* outputName() const;

  // Offline engines only: renders `frames` frames of interleaved stereo into `out`.
  void renderOffline(float* out, std::size_t frames);
  // Offline engines only: decodes ahead for every playing voice as the decoder thread would, so
  // render() can then be called alone (measuring the mixer apart from decoding).
  void prefetchOffline();

  // Audio thread: mixes `frames` frames into `out` (overwrites it).
  void render(float* out, int frames);

 private:
  static void RenderThunk(void* engine, float* out, int frames);
  Voice* voiceFor(VoiceId id) const;  // command thread
  void reapClosedVoices();            // command thread, under m_commandMutex
  void decodeLoop();
  void mixBlock(float* out, int frames);

  const OutputKind m_outputKind;
  mutable std::mutex m_commandMutex;  // serialises commands
  // Owned voices by slot; guarded by m_voicesMutex (command thread writes, decoder thread copies).
  mutable std::mutex m_voicesMutex;
  std::array<std::shared_ptr<Voice>, kMaxVoices> m_owned;
  std::vector<std::pair<int, std::shared_ptr<Voice>>> m_closing;  // command thread only
  // What the audio thread mixes. Written by the command thread (install) and the audio thread
  // (removal of a silent closed voice).
  std::array<std::atomic<Voice*>, kMaxVoices> m_live{};
  std::atomic<std::uint64_t> m_underruns{0};

  std::mutex m_decodeWakeMutex;
  std::condition_variable m_decodeWake;
  bool m_decodeStop = false;  // guarded by m_decodeWakeMutex
  std::thread m_decoderThread;
  std::unique_ptr<AudioOutput> m_output;
};

}  // namespace audio
