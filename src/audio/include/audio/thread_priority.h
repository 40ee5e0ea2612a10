#pragma once
// Scheduling and names for the engine's threads.
//
// The thread that feeds the sound server must run the moment the server asks: a few
// milliseconds' delay on a busy machine is a dropout. Real-time scheduling is asked for the way
// sound server clients do: directly where the process may (root, or a real-time limit granted by
// the system), else from RealtimeKit over the system bus, which hands out real-time priority to
// desktop users' audio threads within limits of its own (the process must carry an RLIMIT_RTTIME
// no larger than RealtimeKit's maximum, or it refuses). Failing both, the best nice level it can
// get, quietly.
//
// Asking can block: a system-bus connection and up to three calls with half-second timeouts. So
// it is never done on the thread being raised while that thread feeds the server; another thread
// (the device output's watcher) asks for it by the thread's id.
//
// The decoder thread has a quarter of a second of cover, so it only gets a raised nice level:
// never real-time, where a long decode would hold off the rest of the desktop.
#include <cstdint>
#include <string>

namespace audio {

using ThreadId = std::int64_t;  // the kernel's id of a thread of this process; 0 for none

// Who changed a thread's scheduling.
enum class Grant {
    None,         // nobody: it runs as it was started (or as a library set it)
    Direct,       // this process itself
    RealtimeKit,  // RealtimeKit, on our request
};

// Cheap (one system call); safe on the audio thread.
ThreadId ThisThreadId();

// Any thread of this process, from any thread; may block for a second or more.
Grant MakeThreadRealTime(ThreadId thread);
Grant RaiseThreadPriority(ThreadId thread);

// How `thread` is scheduled now, as the kernel says, with who granted it: "SCHED_FIFO 10",
// "RealtimeKit SCHED_FIFO 10", "nice -11", "RealtimeKit nice -11" or "normal".
std::string SchedulingText(ThreadId thread, Grant grant);

// Names the calling thread (at most 15 characters), so profilers and `top -H` tell them apart.
void NameThisThread(const char* name);

}  // namespace audio
