#pragma once
// The sound channels: one media device per slot, named by the alias "A" + channel number.
// These seven operations are the only place that builds command strings; everything else
// on the board calls them. They hold no state: whether a channel is open, playing, where it
// stands and how loud it is is asked from the media command service each time.
// Called from the user-interface thread only.
#include <QString>
#include <cstdint>

namespace channels {

// The one function every command goes through, shaped like the platform's mciSendString.
// The program installs the media command service at start; tests put a recording fake in
// its place. With none installed every command fails as if no device were open.
using MciSendFunction = std::uint32_t (*)(const char* command, char* reply, std::uint32_t replySize, void* callback);
void SetMciSendFunction(MciSendFunction send);  // nullptr: no service
MciSendFunction CurrentMciSendFunction();
// Shaped like the platform's mciGetErrorString: why a command failed, for the board's log. Set
// with the send function; none set means no reason is known.
using MciErrorTextFunction = bool (*)(std::uint32_t code, char* text, std::uint32_t size);
void SetMciErrorTextFunction(MciErrorTextFunction errorText);

// True when the sound opened. Otherwise `whyNot` (when given) receives the service's reason.
bool MciOpenSound(std::int16_t channel, const QString& path, QString* whyNot = nullptr);
void MciPlayFrom(std::int16_t channel, double startSeconds);
void MciStopSound(std::int16_t channel);
void MciCloseSound(std::int16_t channel);
bool MciIsPlaying(std::int16_t channel);
double MciGetLength(std::int16_t channel);  // seconds; 0 when the channel is not open
void MciSetVolume(std::int16_t channel, std::int16_t volume);

}  // namespace channels
