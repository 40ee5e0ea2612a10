#pragma once
// One way of reaching the desktop's sound: a PipeWire stream, a PulseAudio stream, or SDL's
// own drivers. The device output (device_output.cpp) picks the best one that opens, watches it,
// and moves when it goes away or a better one comes back.
//
// Every connection pulls from the RenderSource on a real-time thread of its own (or the sound
// server's), and identifies itself to the server the same way, so users find the board in their
// mixer and can route it: application "Sorvane", icon "sorvane", a stream named for what it
// plays, the media role of a production tool.
#include <memory>

#include "audio/audio_output.h"
#include "wake_histogram.h"

namespace audio {

inline constexpr const char* kApplicationName = "Sorvane";
inline constexpr const char* kApplicationIcon = "sorvane";
inline constexpr const char* kStreamName = "Sound board";
inline constexpr const char* kMediaRole = "production";

class ServerConnection {
public:
    virtual ~ServerConnection() = default;
    virtual const char* name() const = 0;
    // Whether the server answers at all, without playing anything: a connection attempt.
    virtual bool reachable() = 0;
    // Cheap (a look at the file system): the server's socket is not where this client would find
    // it, so asking can wait. False when it cannot tell (a remote server, say).
    virtual bool socketMissing() const { return false; }
    // Connects and starts pulling from `source`. False when it cannot; nothing pulls then.
    virtual bool open(RenderSource& source) = 0;
    // False once the server has gone away; it pulls no more then.
    virtual bool healthy() const = 0;
    // Stops pulling. A connection that kept audio queued leaves `source` at what was last heard,
    // so whatever takes over plays on from there.
    virtual void close() = 0;
    // Any thread: see AudioOutput::changed().
    virtual void changed() {}
    // Any thread: see AudioOutput::commandComing().
    virtual void commandComing() {}
    // Called by the device output's watcher four times a second while the connection plays.
    virtual void watch() {}
    // Any thread: the thread that feeds the server and how, once it has run.
    virtual FeedReport feed() const = 0;
    // Whether the server's own library schedules the feeding thread (PipeWire's graph calls us on
    // its data thread); else the device output asks for real-time priority for it.
    virtual bool schedulesItsOwnThread() const { return false; }
    // How late the feeding thread woke, and against what; null when the connection does not say.
    virtual const WakeHistogram* wakes() const { return nullptr; }
    virtual const char* wakesAgainst() const { return ""; }
};

std::unique_ptr<ServerConnection> MakePipeWireConnection();
std::unique_ptr<ServerConnection> MakePulseConnection();
std::unique_ptr<ServerConnection> MakeSdlConnection();

}  // namespace audio
