#include "audio/thread_priority.h"

#if defined(__linux__)
#include <dbus/dbus.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#endif

namespace audio {

#if defined(__linux__)
namespace {

// Below the sound servers' own threads on a desktop (PipeWire's data loop asks for 88), above
// everything that is not audio.
constexpr int kRealTimePriority = 10;
constexpr int kFeedNice = -11;  // what sound servers themselves take when real-time is refused
constexpr int kDecoderNice = -5;
constexpr int kBusTimeoutMs = 500;

bool SetFifo(ThreadId thread, int priority) {
    sched_param param{};
    param.sched_priority = priority;
    // Reset on fork: a program started from the board must not inherit real-time scheduling.
    return sched_setscheduler(static_cast<pid_t>(thread), SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0;
}

bool SetNice(ThreadId thread, int nice) {
    return setpriority(PRIO_PROCESS, static_cast<id_t>(thread), nice) == 0;
}

// A connection of our own to the system bus, closed again after the call: the board has no other
// use for the bus, and a shared connection would outlive us in a library's hands.
class SystemBus {
public:
    SystemBus() {
        DBusError error;
        dbus_error_init(&error);
        m_bus = dbus_bus_get_private(DBUS_BUS_SYSTEM, &error);
        dbus_error_free(&error);
        if (m_bus) dbus_connection_set_exit_on_disconnect(m_bus, false);
    }
    ~SystemBus() {
        if (!m_bus) return;
        dbus_connection_close(m_bus);
        dbus_connection_unref(m_bus);
    }
    SystemBus(const SystemBus&) = delete;
    SystemBus& operator=(const SystemBus&) = delete;

    bool connected() const { return m_bus != nullptr; }

    // A RealtimeKit property as a 64-bit integer; `fallback` when the bus or the property is missing.
    std::int64_t property(const char* name, std::int64_t fallback) {
        const char* interface = "org.freedesktop.RealtimeKit1";
        DBusMessage* call = newCall("org.freedesktop.DBus.Properties", "Get");
        if (!call) return fallback;
        dbus_message_append_args(call, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID);
        DBusMessage* reply = send(call);
        std::int64_t value = fallback;
        DBusMessageIter iter;
        DBusMessageIter variant;
        if (reply && dbus_message_iter_init(reply, &iter) &&
            dbus_message_iter_get_arg_type(&iter) == DBUS_TYPE_VARIANT) {
            dbus_message_iter_recurse(&iter, &variant);
            switch (dbus_message_iter_get_arg_type(&variant)) {
                case DBUS_TYPE_INT32: {
                    dbus_int32_t v = 0;
                    dbus_message_iter_get_basic(&variant, &v);
                    value = v;
                    break;
                }
                case DBUS_TYPE_INT64: {
                    dbus_int64_t v = 0;
                    dbus_message_iter_get_basic(&variant, &v);
                    value = v;
                    break;
                }
                default:
                    break;
            }
        }
        if (reply) dbus_message_unref(reply);
        return value;
    }

    bool makeRealTime(std::uint64_t thread, std::uint32_t priority) {
        dbus_uint32_t prio = priority;
        return askForThread("MakeThreadRealtime", thread, DBUS_TYPE_UINT32, &prio);
    }

    bool makeHighPriority(std::uint64_t thread, std::int32_t nice) {
        dbus_int32_t level = nice;
        return askForThread("MakeThreadHighPriority", thread, DBUS_TYPE_INT32, &level);
    }

private:
    // RealtimeKit's requests for a thread: the thread's id and one 32-bit value of `type`.
    bool askForThread(const char* method, std::uint64_t thread, int type, const void* value) {
        DBusMessage* call = newCall("org.freedesktop.RealtimeKit1", method);
        if (!call) return false;
        dbus_uint64_t id = thread;
        dbus_message_append_args(call, DBUS_TYPE_UINT64, &id, type, value, DBUS_TYPE_INVALID);
        return sendAndCheck(call);
    }

    DBusMessage* newCall(const char* interface, const char* method) {
        if (!m_bus) return nullptr;
        return dbus_message_new_method_call("org.freedesktop.RealtimeKit1", "/org/freedesktop/RealtimeKit1", interface,
                                            method);
    }
    DBusMessage* send(DBusMessage* call) {
        DBusError error;
        dbus_error_init(&error);
        DBusMessage* reply = dbus_connection_send_with_reply_and_block(m_bus, call, kBusTimeoutMs, &error);
        dbus_message_unref(call);
        dbus_error_free(&error);
        return reply;
    }
    bool sendAndCheck(DBusMessage* call) {
        DBusMessage* reply = send(call);
        if (!reply) return false;
        const bool ok = dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_METHOD_RETURN;
        dbus_message_unref(reply);
        return ok;
    }

    DBusConnection* m_bus = nullptr;
};

bool RealTimeFromRealtimeKit(ThreadId thread, SystemBus& bus) {
    const std::int64_t maxPriority = bus.property("MaxRealtimePriority", 0);
    const std::int64_t maxRtTime = bus.property("RTTimeUSecMax", 0);
    if (maxPriority <= 0 || maxRtTime <= 0) return false;
    // RealtimeKit only serves threads that cannot hog the CPU: the kernel stops a real-time thread
    // that runs longer than this without blocking. Ours blocks every few milliseconds.
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(maxRtTime);
    if (setrlimit(RLIMIT_RTTIME, &limit) != 0) return false;
    const auto priority = static_cast<std::uint32_t>(std::min<std::int64_t>(kRealTimePriority, maxPriority));
    return bus.makeRealTime(static_cast<std::uint64_t>(thread), priority);
}

Grant RaiseNiceThroughRealtimeKit(ThreadId thread, int nice, SystemBus& bus) {
    if (!bus.connected()) return Grant::None;
    const auto level = static_cast<std::int32_t>(std::max<std::int64_t>(nice, bus.property("MinNiceLevel", 0)));
    return level < 0 && bus.makeHighPriority(static_cast<std::uint64_t>(thread), level) ? Grant::RealtimeKit
                                                                                        : Grant::None;
}

}  // namespace

ThreadId ThisThreadId() {
    return static_cast<ThreadId>(syscall(SYS_gettid));
}

Grant MakeThreadRealTime(ThreadId thread) {
    if (thread <= 0) return Grant::None;
    if (SetFifo(thread, kRealTimePriority)) return Grant::Direct;
    SystemBus bus;
    if (bus.connected() && RealTimeFromRealtimeKit(thread, bus)) return Grant::RealtimeKit;
    if (SetNice(thread, kFeedNice)) return Grant::Direct;
    return RaiseNiceThroughRealtimeKit(thread, kFeedNice, bus);
}

Grant RaiseThreadPriority(ThreadId thread) {
    if (thread <= 0) return Grant::None;
    if (SetNice(thread, kDecoderNice)) return Grant::Direct;
    SystemBus bus;
    return RaiseNiceThroughRealtimeKit(thread, kDecoderNice, bus);
}

std::string SchedulingText(ThreadId thread, Grant grant) {
    const std::string by = grant == Grant::RealtimeKit ? "RealtimeKit " : "";
    const int policy = thread > 0 ? sched_getscheduler(static_cast<pid_t>(thread)) : -1;
    const int realTime = policy < 0 ? -1 : policy & ~SCHED_RESET_ON_FORK;
    if (realTime == SCHED_FIFO || realTime == SCHED_RR) {
        sched_param param{};
        if (sched_getparam(static_cast<pid_t>(thread), &param) == 0) {
            return by + (realTime == SCHED_FIFO ? "SCHED_FIFO " : "SCHED_RR ") + std::to_string(param.sched_priority);
        }
    }
    if (policy >= 0) {
        errno = 0;
        const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
        if (errno == 0 && nice != 0) return by + "nice " + std::to_string(nice);
    }
    return "normal";
}

void NameThisThread(const char* name) {
    pthread_setname_np(pthread_self(), name);
}

#else

ThreadId ThisThreadId() {
    return 0;
}
Grant MakeThreadRealTime(ThreadId) {
    return Grant::None;
}
Grant RaiseThreadPriority(ThreadId) {
    return Grant::None;
}
std::string SchedulingText(ThreadId, Grant) {
    return "normal";
}
void NameThisThread(const char*) {}

#endif

}  // namespace audio
