#pragma once
// A recording stand-in for the media command service: every command string the channel layer
// sends is kept, byte for byte. It keeps the channel state a service would: which channels are
// open and playing ("play" starts, "stop" and "close" end a sound) and the volume last set on
// each. A test may script failed opens and a sound's length, and end a sound by erasing it from
// `playing`. It replaces the channel layer's send function while it lives.
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "channels/mci_channels.h"

class RecordingMci {
public:
    std::vector<std::string> calls;
    std::set<int> open;
    std::set<int> playing;
    std::map<int, int> volume;                          // channel -> last "setaudio ... volume to"
    std::map<int, std::string> length;                  // channel -> "status ... length" reply (ms); "0" unset
    std::set<std::string> unopenable;                   // paths whose open fails (277)
    std::function<void(const std::string&)> onCommand;  // sees each command as it arrives

    RecordingMci() {
        Current() = this;
        channels::SetMciSendFunction(&Send);
    }
    ~RecordingMci() {
        Current() = nullptr;
        channels::SetMciSendFunction(nullptr);
    }

    std::vector<std::string> actions() const {  // the commands that are not status queries, in order
        std::vector<std::string> out;
        for (const auto& c : calls)
            if (c.rfind("status ", 0) != 0) out.push_back(c);
        return out;
    }

private:
    static RecordingMci*& Current() {
        static RecordingMci* current = nullptr;
        return current;
    }
    static std::uint32_t Send(const char* command, char* reply, std::uint32_t replySize, void*) {
        return Current() ? Current()->handle(command, reply, replySize) : 263;
    }
    std::uint32_t handle(const std::string& command, char* reply, std::uint32_t replySize) {
        calls.push_back(command);
        if (onCommand) onCommand(command);
        std::string verb, alias, what, path;
        std::istringstream in(command);
        in >> verb;
        if (verb == "open") {  // open "PATH" alias X type mpegvideo
            const auto q1 = command.find('"');
            const auto q2 = command.find('"', q1 + 1);
            path = command.substr(q1 + 1, q2 - q1 - 1);
            std::istringstream(command.substr(q2 + 8)) >> alias;
        } else {
            in >> alias >> what;
        }
        const int ch = alias.size() > 1 && alias[0] == 'A' ? std::atoi(alias.c_str() + 1) : -99999;
        if (verb == "open") {
            if (open.count(ch)) return 289;
            if (unopenable.count(path)) return 277;
            open.insert(ch);
            return 0;
        }
        if (verb == "close") {
            open.erase(ch);
            playing.erase(ch);
            volume.erase(ch);
        }
        if (verb == "play" && open.count(ch)) playing.insert(ch);
        if (verb == "stop") playing.erase(ch);
        if (verb == "setaudio" && open.count(ch)) volume[ch] = std::stoi(command.substr(command.rfind(' ') + 1));
        if (verb != "status" || !reply || replySize == 0 || (what != "mode" && what != "length")) return 0;
        std::string text = playing.count(ch) ? "playing" : "stopped";
        if (what == "length") text = length.count(ch) ? length.at(ch) : "0";
        const std::size_t n = std::min<std::size_t>(text.size(), replySize - 1);
        std::memcpy(reply, text.data(), n);
        reply[n] = '\0';
        return 0;
    }
};
