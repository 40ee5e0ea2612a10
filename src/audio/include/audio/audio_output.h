#pragma once
// Where mixed audio goes. An output pulls interleaved float stereo at kSampleRate from a
// RenderSource on its own audio thread; it never renders from two threads at once.
#include <cstdint>
#include <memory>

#include "audio/thread_priority.h"

namespace audio {

// How an output feeds, for the line the board prints when an output starts.
struct FeedReport {
    ThreadId thread = 0;  // the thread that renders, once it has rendered; 0 before
    bool queue = false;   // `frames` is what stays queued at the server; else what one period renders
    int frames = 0;
    bool rewinding = false;  // renders again over its queue when a command comes
};

// What an output pulls from (the engine). Every call comes from the output's audio thread.
class RenderSource {
public:
    virtual ~RenderSource() = default;
    // Renders the next `frames` frames into `out` (overwrites it).
    virtual void render(float* out, int frames) = 0;
    // Frames rendered so far: the stream position of the next frame render() gives.
    virtual std::int64_t position() const = 0;
    // Goes back to render again from the latest block start at or before `frame` (never before
    // the committed position, nor further back than the source remembers); commands that came
    // meanwhile are heard from there. Returns the position rendering continues from.
    virtual std::int64_t rewind(std::int64_t frame) = 0;
    // Frames before `frame` will never be rendered again. An output that never rewinds commits
    // everything it renders.
    virtual void commit(std::int64_t frame) = 0;
    // Frames that can be rendered from here before a sounding take runs out of decoded audio. An
    // output that renders far ahead stops there: rendering on would put a gap into the sound,
    // while a moment later the decoder has caught up.
    virtual std::int64_t decodedAhead() const { return INT64_MAX; }
    // The position from which all that was rendered is silence and nothing has been asked for
    // since, or -1. Rendering again from there on needs nothing remembered, so an output may queue
    // as much of it as it likes; a command still lands wherever the output renders again.
    virtual std::int64_t quietFrom() const { return -1; }
    // While quietFrom() >= 0: moves on by `frames` of silence without rendering them, for an output
    // that has its server play silence itself. False (nothing done) when not quiet.
    virtual bool skipQuiet(std::int64_t frames) {
        (void)frames;
        return false;
    }
};

class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // Called once from the thread that owns the engine, before and after all rendering.
    virtual void start(RenderSource& source) = 0;
    virtual void stop() = 0;
    // Which output is consuming audio right now ("pipewire", "pulseaudio", "sdl" or "null"); for
    // logs and tests.
    virtual const char* currentName() const = 0;
    // Any thread: a command changed what is to be heard. An output that keeps audio queued at its
    // sound server renders it again so the change is heard at once.
    virtual void changed() {}
    // Any thread: a command that may make something heard is on its way (changed() follows). An
    // output that rests while nothing sounds gets ready now, while the command does its own work.
    virtual void commandComing() {}
    // Any thread: see FeedReport. Outputs that do not say give an empty report.
    virtual FeedReport feed() const { return {}; }
};

// Consumes audio in real time on its own thread and discards it: used when no sound device can
// be opened, so playing, status and the end of a sound behave exactly as with a device.
std::unique_ptr<AudioOutput> MakeNullOutput();

// The desktop's sound server: PipeWire, else PulseAudio (or PipeWire's PulseAudio service),
// else SDL's own drivers, else the null output. It moves to a better one, or back to a server
// that returns, within a second.
std::unique_ptr<AudioOutput> MakeDeviceOutput();

}  // namespace audio
