#include "channels/mci_channels.h"

#include <QByteArray>
#include <cmath>
#include <cstring>
#include <limits>

#include "mci/mci_errors.h"
#include "text/number_text.h"

namespace channels {

namespace {
MciSendFunction g_send = nullptr;
MciErrorTextFunction g_errorText = nullptr;

std::uint32_t Send(const QString& command, char* reply = nullptr, std::uint32_t replySize = 0) {
    // Without a service every command fails as one sent to an alias that is not open.
    if (!g_send) return mci::kErrInvalidDeviceName;
    // The whole command, path included, goes as UTF-8: the file names of this platform.
    const QByteArray bytes = command.toUtf8();
    return g_send(bytes.constData(), reply, replySize, nullptr);
}

// "A" and the channel number without a blank: A0, A37, A100, A-1.
QString Alias(std::int16_t channel) {
    return QStringLiteral("A") + QString::number(channel);
}

// Whole milliseconds, halves to even. A position beyond what a 32-bit count of milliseconds
// holds (about 596 hours) is held at the nearest end, and one that is not a number seeks to
// the beginning, so no stored position can break the command.
std::int32_t Milliseconds(double seconds) {
    if (std::isnan(seconds)) return 0;
    const double ms = text::RoundHalfEven(seconds * 1000.0);
    if (ms >= double(std::numeric_limits<std::int32_t>::max())) return std::numeric_limits<std::int32_t>::max();
    if (ms <= double(std::numeric_limits<std::int32_t>::min())) return std::numeric_limits<std::int32_t>::min();
    return std::int32_t(ms);
}
}  // namespace

void SetMciSendFunction(MciSendFunction send) {
    g_send = send;
}

MciSendFunction CurrentMciSendFunction() {
    return g_send;
}

void SetMciErrorTextFunction(MciErrorTextFunction errorText) {
    g_errorText = errorText;
}

bool MciOpenSound(std::int16_t channel, const QString& path, QString* whyNot) {
    const std::uint32_t rc = Send(QStringLiteral("open \"") + path + QStringLiteral("\" alias ") + Alias(channel) +
                                  QStringLiteral(" type mpegvideo"));
    if (rc == 0) return true;
    if (whyNot) {
        char text[512] = {};
        *whyNot = g_errorText && g_errorText(rc, text, sizeof text) ? QString::fromUtf8(text)
                                                                    : QStringLiteral("error %1").arg(rc);
    }
    return false;
}

void MciPlayFrom(std::int16_t channel, double startSeconds) {
    // The number text keeps its leading blank: "seek A3 to  250". Play goes whatever seek said.
    Send(QStringLiteral("seek ") + Alias(channel) + QStringLiteral(" to ") +
         text::NumberText(Milliseconds(startSeconds)));
    Send(QStringLiteral("play ") + Alias(channel));
}

void MciStopSound(std::int16_t channel) {
    Send(QStringLiteral("stop ") + Alias(channel));
}

void MciCloseSound(std::int16_t channel) {
    Send(QStringLiteral("close ") + Alias(channel));
}

bool MciIsPlaying(std::int16_t channel) {
    // Room for two letters and the terminator: enough to tell "playing" from the other modes.
    char reply[3] = {' ', ' ', ' '};
    Send(QStringLiteral("status ") + Alias(channel) + QStringLiteral(" mode"), reply, sizeof reply);
    return reply[0] == 'p' && reply[1] == 'l';
}

double MciGetLength(std::int16_t channel) {
    char reply[20] = {};
    Send(QStringLiteral("status ") + Alias(channel) + QStringLiteral(" length"), reply, sizeof reply);
    // Bounded by the buffer, in case a service fills it without a terminator.
    const QString text = QString::fromLatin1(reply, int(strnlen(reply, sizeof reply)));
    return text::ReadNumber(text) / 1000.0;
}

void MciSetVolume(std::int16_t channel, std::int16_t volume) {
    if (volume < 0 || volume > 1000) return;
    Send(QStringLiteral("setaudio ") + Alias(channel) + QStringLiteral(" volume to ") + text::NumberText(volume));
}

}  // namespace channels
