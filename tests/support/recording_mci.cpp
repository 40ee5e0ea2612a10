#include "recording_mci.h"

#include <algorithm>
#include <cstring>
#include <sstream>

#include "channels/mci_channels.h"

namespace {
RecordingMci* g_current = nullptr;

// "A12" -> 12; anything else names no channel.
int ChannelOf(const std::string& alias) {
    char* end = nullptr;
    const long n = alias.size() > 1 && alias[0] == 'A' ? std::strtol(alias.c_str() + 1, &end, 10) : 0;
    return end && *end == '\0' ? int(n) : -99999;
}
}  // namespace

RecordingMci::RecordingMci() {
    g_current = this;
    channels::SetMciSendFunction(&RecordingMci::Send);
}

RecordingMci::~RecordingMci() {
    channels::SetMciSendFunction(nullptr);
    g_current = nullptr;
}

std::vector<std::string> RecordingMci::commands() const {
    std::vector<std::string> out;
    for (const auto& c : calls) out.push_back(c.command);
    return out;
}

std::vector<std::string> RecordingMci::actions() const {
    std::vector<std::string> out;
    for (const auto& c : calls)
        if (c.command.rfind("status ", 0) != 0) out.push_back(c.command);
    return out;
}

std::uint32_t RecordingMci::Send(const char* command, char* reply, std::uint32_t replySize, void*) {
    return g_current ? g_current->handle(command ? command : "", reply, replySize) : 263;
}

std::uint32_t RecordingMci::handle(const std::string& command, char* reply, std::uint32_t replySize) {
    calls.push_back({command, replySize});
    if (onCommand) onCommand(command);
    std::istringstream in(command);
    std::string verb, alias, what;
    in >> verb;
    if (verb == "open") {  // open "PATH" alias X ...
        const auto q1 = command.find('"'), q2 = command.find('"', q1 + 1);
        const std::string path = command.substr(q1 + 1, q2 - q1 - 1);
        std::istringstream(command.substr(command.find(" alias ", q2) + 7)) >> alias;
        const int ch = ChannelOf(alias);
        if (open.count(ch)) return 289;
        if (unopenable.count(path)) return 277;
        open.insert(ch);
        return 0;
    }
    in >> alias >> what;
    const int ch = ChannelOf(alias);
    if (verb == "close") open.erase(ch), playing.erase(ch), volume.erase(ch);
    if (verb == "play" && open.count(ch)) playing.insert(ch);
    if (verb == "stop") playing.erase(ch);
    if (verb == "setaudio" && open.count(ch)) volume[ch] = std::stoi(command.substr(command.rfind(' ') + 1));
    if (verb != "status" || !reply || replySize == 0) return 0;
    std::string text;
    if (what == "mode") text = playing.count(ch) ? "playing" : "stopped";
    if (what == "length") text = lengthReply.count(ch) ? lengthReply.at(ch) : "0";
    if (what != "mode" && what != "length") return 0;
    const std::size_t n = std::min<std::size_t>(text.size(), replySize - 1);
    std::memcpy(reply, text.data(), n);
    reply[n] = '\0';
    return 0;
}
