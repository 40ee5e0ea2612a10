#pragma once
// A recording stand-in for the media command service, in place of the channel layer's send
// function while it lives: every command string is kept, byte for byte, with the state a service
// keeps (the channels open and playing, the volume last set on each). A test may script failed
// opens and a sound's length, and end a sound by erasing it from `playing`.
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
    std::set<std::string> openOnScratchOnly;            // paths that open on A100 only (277 elsewhere)
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
            if (!c.starts_with("status ")) out.push_back(c);
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
        std::istringstream in(command);
        std::string verb;
        std::string alias;
        std::string what;
        in >> verb;
        const std::size_t pathStart = command.find('"') + 1;  // open "PATH" alias A3 type mpegvideo
        const std::size_t pathEnd = command.rfind('"');
        const std::string path = command.substr(pathStart, pathEnd - pathStart);
        if (verb == "open") in.str(command.substr(pathEnd + 7));  // past `" alias`
        in >> alias >> what;
        const int ch = alias.size() > 1 && alias[0] == 'A' ? std::atoi(alias.c_str() + 1) : -99999;
        if (verb == "open" && open.count(ch)) return 289;
        if (verb == "open" && (unopenable.count(path) || (ch != 100 && openOnScratchOnly.count(path)))) return 277;
        if (verb == "open") open.insert(ch);
        if (verb == "close") {
            open.erase(ch);
            volume.erase(ch);
        }
        if (verb == "play" && open.count(ch)) playing.insert(ch);
        if (verb == "stop" || verb == "close") playing.erase(ch);
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
