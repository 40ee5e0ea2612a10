#include "recording_mci.h"

#include <algorithm>
#include <cstring>
#include <sstream>

#include "channels/mci_channels.h"

namespace {
RecordingMci* g_current = nullptr;

int ChannelOf(const std::string& alias) {
    // "A12" -> 12
    if (alias.size() < 2 || alias[0] != 'A') return -99999;
    try {
        return std::stoi(alias.substr(1));
    } catch (...) {
        return -99999;
    }
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
    auto answer = [&](const std::string& text) {
        if (!reply || replySize == 0) return;
        std::size_t n = std::min<std::size_t>(text.size(), replySize - 1);
        std::memcpy(reply, text.data(), n);
        reply[n] = '\0';
    };
    std::istringstream in(command);
    std::string verb;
    in >> verb;
    if (verb == "open") {
        auto q1 = command.find('"');
        auto q2 = command.find('"', q1 + 1);
        std::string path = command.substr(q1 + 1, q2 - q1 - 1);
        auto a = command.find(" alias ", q2);
        std::istringstream rest(command.substr(a + 7));
        std::string alias;
        rest >> alias;
        int ch = ChannelOf(alias);
        if (open.count(ch)) return 289;
        if (unopenable.count(path)) return 277;
        open.insert(ch);
        return 0;
    }
    std::string alias;
    in >> alias;
    int ch = ChannelOf(alias);
    if (verb == "close") {
        open.erase(ch);
        playing.erase(ch);
        return 0;
    }
    if (verb == "status") {
        std::string what;
        in >> what;
        if (what == "mode") answer(playing.count(ch) ? "playing" : "stopped");
        if (what == "length") {
            auto it = lengthReply.find(ch);
            answer(it != lengthReply.end() ? it->second : "0");
        }
        return 0;
    }
    return 0;
}
