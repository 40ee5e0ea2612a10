#pragma once
// A recording stand-in for the media command service: every command string the channel layer
// sends is kept, byte for byte, with the reply size it offered. It keeps the channel state a
// service would: which channels are open and playing ("play" starts, "stop" and "close" end a
// sound) and the volume last set on each. A test may script failed opens and lengths, and
// end a sound by erasing it from `playing`. Installing it replaces the channel layer's send
// function until it is destroyed.
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

class RecordingMci
{
public:
    struct Call {
        std::string command;
        std::uint32_t replySize;
    };

    RecordingMci();
    ~RecordingMci();
    RecordingMci(const RecordingMci&) = delete;
    RecordingMci& operator=(const RecordingMci&) = delete;

    std::vector<Call> calls;
    std::set<int> open;                      // channels opened and not closed since
    std::set<int> playing;                   // channels whose "status ... mode" says "playing"
    std::map<int, int> volume;               // channel -> last "setaudio ... volume to"
    std::map<int, std::string> lengthReply;  // channel -> "status ... length" reply ("0" when absent)
    std::set<std::string> unopenable;        // paths whose open fails (277)
    std::function<void(const std::string&)> onCommand;  // sees each command as it arrives

    std::vector<std::string> commands() const;  // the command strings, in order
    std::vector<std::string> actions() const;   // those that are not status queries

private:
    static std::uint32_t Send(const char* command, char* reply, std::uint32_t replySize, void*);
    std::uint32_t handle(const std::string& command, char* reply, std::uint32_t replySize);
};
