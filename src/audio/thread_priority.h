#pragma once
// Scheduling for the engine's own threads.
//
// The thread that feeds the sound server must run the moment the server asks: a few
// milliseconds' delay on a busy machine is a dropout. It asks for real-time scheduling the way
// sound server clients do: directly where the process may (root, or a real-time limit granted by
// the system), else from RealtimeKit over the system bus, which hands out real-time priority to
// desktop users' audio threads within limits of its own (the thread must carry an RLIMIT_RTTIME
// no larger than RealtimeKit's maximum, or it refuses). Failing both it takes the best nice level
// it can get, quietly.
//
// The decoder thread has a quarter of a second of cover, so it only gets a raised nice level:
// never real-time, where a long decode would hold off the rest of the desktop.
namespace audio {

enum class Scheduling {
    RealTime,  // SCHED_FIFO
    Raised,    // a negative nice level
    Normal,    // nothing could be changed
};

// Both act on the calling thread.
Scheduling MakeThisThreadRealTime();
Scheduling RaiseThisThreadPriority();

const char* SchedulingName(Scheduling scheduling);

}  // namespace audio
