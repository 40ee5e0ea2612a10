// Soak run of the board: for SOAK_SECONDS (default 600) it plays, stops, fades, plays
// exclusively, stops all, drops and releases sounds at random on all 38 slots through the
// board's own operations, with the real media service on the null output and the board's own
// 100 ms timer driving the fade-outs. Every second it checks what the board shows against the
// service and samples the resident memory. At the end it prints the figures and fails when
// the memory grew by 5% or more after the first minute, an audio block ran dry, or a check
// failed.
//
// With SOAK_OUTPUT=device it plays to the sound server instead, and slot 37 holds a steady
// pilot tone on the left channel from start to end while the other slots play on the right
// only, so a recording of the sink shows every dropout as a break in the pilot
// (scripts/soak_at_sink.py listens). Stop-all and exclusive play would silence the pilot: there
// every other slot is stopped one by one instead, and exclusive play is plain play.
//
//   SOAK_SECONDS=60 SOAK_SEED=7 build/bench/soak/sorvane_soak
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#if defined(__unix__)
#include <sys/resource.h>
#endif

#include "board/window/board_window.h"
#include "board/window/slot_label.h"
#include "channels/mci_channels.h"
#include "mci/mci_service.h"
#include "slots/slot_list_file.h"
#include "slots/slot_table.h"
#include "test_media.h"
#include "toolkit/app_info.h"
#include "toolkit/fonts.h"
#include "toolkit/message_box.h"

namespace {

using board::Form1;
using slots::kSlotCount;
using slots::SlotIndex;

constexpr int kPilotSlot = kSlotCount - 1;

// Resident memory in KiB: /proc where there is one, else the peak the system reports.
long ResidentKiB() {
    QFile status("/proc/self/status");
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    }
#if defined(__unix__)
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
#else
    return 0;
#endif
}

class Soak {
public:
    Soak(Form1& board, mci::Service& service, QStringList sounds, int seconds, unsigned seed, bool pilot)
        : m_board(board),
          m_service(service),
          m_sounds(std::move(sounds)),
          m_seconds(seconds),
          m_random(seed),
          m_pilot(pilot) {}

    void start() {
        m_clock.start();
        QObject::connect(&m_operate, &QTimer::timeout, [this] { operate(); });
        QObject::connect(&m_check, &QTimer::timeout, [this] { check(); });
        m_operate.start(15);
        m_check.start(1000);
    }

    int finish() {
        m_operate.stop();
        m_check.stop();
        const double growth = m_baselineKiB > 0 ? 100.0 * double(m_lastKiB - m_baselineKiB) / double(m_baselineKiB) : 0;
        std::printf("soak: %d s, %llu operations:", m_seconds, static_cast<unsigned long long>(m_total));
        for (const auto& [name, count] : m_counts)
            std::printf(" %s %llu", name.c_str(), static_cast<unsigned long long>(count));
        std::printf("\nsoak: message boxes answered %d, output \"%s\"\n", m_messages, m_service.engine().outputName());
        std::printf("soak: resident memory %ld KiB after %d s, %ld KiB at the end, peak %ld KiB: growth %.2f%%\n",
                    m_baselineKiB, m_baselineAt, m_lastKiB, m_peakKiB, growth);
        std::printf("soak: most slots playing at once %d; audio blocks that ran dry %llu; failed checks %d\n",
                    m_mostPlaying, static_cast<unsigned long long>(m_service.underrunCount()), m_failedChecks);
        // Memory only settles after the first minute: a shorter run reports growth but is not
        // judged by it.
        const bool judgeGrowth = m_seconds >= 120;
        if (!judgeGrowth) std::printf("soak: growth not judged in a run under 120 s\n");
        const bool ok = (growth < 5.0 || !judgeGrowth) && m_service.underrunCount() == 0 && m_failedChecks == 0;
        std::printf("soak: %s\n", ok ? "PASSED" : "FAILED");
        return ok ? 0 : 1;
    }

    void countMessage() { ++m_messages; }

private:
    // The pilot's slot is never touched.
    int slot() { return std::uniform_int_distribution<int>(0, kSlotCount - (m_pilot ? 2 : 1))(m_random); }
    bool chance(int percent) { return std::uniform_int_distribution<int>(0, 99)(m_random) < percent; }

    void dropOn(int i, const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        m_board.DropOnNameBox(SlotIndex(i), &data);
    }

    void operate() {
        if (m_clock.elapsed() >= qint64(m_seconds) * 1000) {
            QApplication::exit(finish());
            return;
        }
        const int i = slot();
        const int roll = std::uniform_int_distribution<int>(0, 99)(m_random);
        std::string name;
        if (roll < 30) {
            name = "play";
            m_board.Check2[i]->setChecked(m_board.Check2[i]->isEnabled() && !m_pilot && chance(5));
            if (m_board.Slots.Exclusive[i]) name = "exclusive-play";
            m_board.PlaySlot(SlotIndex(i));
        } else if (roll < 50) {
            name = "stop";
            m_board.Check1[i]->setChecked(m_board.Check1[i]->isEnabled() && chance(50));
            if (m_board.Slots.Fade[i]) name = "fade-stop";
            m_board.StopSlot(SlotIndex(i));
        } else if (roll < 51) {
            name = "stop-all";
            if (!m_pilot) {
                m_board.StopAllSlots();
            } else {
                for (int other = 0; other < kPilotSlot; ++other) m_board.StopSlot(SlotIndex(other));
            }
        } else if (roll < 63) {
            name = "volume";
            if (m_board.HScroll1[i]->isEnabled())
                m_board.HScroll1[i]->setValue(std::uniform_int_distribution<int>(0, 1000)(m_random));
        } else if (roll < 75) {
            name = "drop";
            dropOn(i, m_sounds[std::uniform_int_distribution<int>(0, int(m_sounds.size()) - 1)(m_random)]);
        } else if (roll < 77) {
            name = "drop-unplayable";
            dropOn(i, QDir::current().filePath("notes.txt.wav"));
        } else if (roll < 81) {
            name = "release";
            m_board.ReleaseSlot(SlotIndex(i));
        } else {
            name = "idle";
        }
        ++m_counts[name];
        ++m_total;
    }

    // What the board shows must match what the service says, and memory is sampled.
    void check() {
        int playing = 0;
        for (int i = 0; i < kSlotCount; ++i) {
            const bool sounding = channels::MciIsPlaying(SlotIndex(i));
            playing += sounding ? 1 : 0;
            if (m_board.Slots.SlotFile[i].isEmpty() && sounding) fail(i, "an empty slot plays");
            if (!m_board.Slots.FadeActive[i] && m_board.Slots.SlotVolume[i] != m_board.HScroll1[i]->value())
                fail(i, "volume and bar disagree");
            if (m_board.Slots.SlotFile[i].isEmpty() != !m_board.Command1[i]->isEnabled())
                fail(i, "look and content disagree");
        }
        if (m_pilot && !channels::MciIsPlaying(kPilotSlot)) fail(kPilotSlot, "the pilot tone stopped");
        m_mostPlaying = std::max(m_mostPlaying, playing);
        // When blocks run dry, say when and how busy the machine was: a starved decoder
        // thread on a loaded machine reads differently from a steady loss.
        const std::uint64_t dry = m_service.underrunCount();
        if (dry != m_lastDry && ++m_dryReports <= 20) {
            QFile loadavg("/proc/loadavg");
            const QByteArray load = loadavg.open(QIODevice::ReadOnly) ? loadavg.readAll().split(' ').first() : "?";
            std::fprintf(stderr, "soak: %llu blocks ran dry by %lld s (%d playing, load average %s)\n",
                         static_cast<unsigned long long>(dry), static_cast<long long>(m_clock.elapsed() / 1000),
                         playing, load.constData());
        }
        m_lastDry = dry;
        m_lastKiB = ResidentKiB();
        m_peakKiB = std::max(m_peakKiB, m_lastKiB);
        // Caches, pools and the first decoded blocks settle during the first minute (or the
        // first fifth of a shorter run); growth is measured from there.
        const int settle = std::min(60, std::max(1, m_seconds / 5));
        if (m_baselineKiB == 0 && m_clock.elapsed() >= qint64(settle) * 1000) {
            m_baselineKiB = m_lastKiB;
            m_baselineAt = int(m_clock.elapsed() / 1000);
        }
    }

    void fail(int i, const char* what) {
        if (++m_failedChecks <= 20) std::fprintf(stderr, "soak: slot %d: %s\n", i, what);
    }

    Form1& m_board;
    mci::Service& m_service;
    QStringList m_sounds;
    int m_seconds;
    std::mt19937 m_random;
    bool m_pilot;
    QElapsedTimer m_clock;
    QTimer m_operate;
    QTimer m_check;
    std::map<std::string, std::uint64_t> m_counts;
    std::uint64_t m_total = 0;
    int m_messages = 0;
    int m_failedChecks = 0;
    int m_mostPlaying = 0;
    std::uint64_t m_lastDry = 0;
    int m_dryReports = 0;
    long m_baselineKiB = 0;
    int m_baselineAt = 0;
    long m_lastKiB = 0;
    long m_peakKiB = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    toolkit::InstallFontSubstitutes();
    const int seconds = qEnvironmentVariableIsSet("SOAK_SECONDS") ? qEnvironmentVariableIntValue("SOAK_SECONDS") : 600;
    const unsigned seed =
        qEnvironmentVariableIsSet("SOAK_SEED") ? unsigned(qEnvironmentVariableIntValue("SOAK_SEED")) : 1;
    const bool atSink = qgetenv("SOAK_OUTPUT") == "device";

    // A board folder of its own: sounds of different lengths and a text file posing as one.
    QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    toolkit::SetBoardFolderForTests(folder.path());
    QStringList sounds;
    const double lengths[] = {0.3, 0.8, 1.5, 2.5, 4.0, 7.0, 12.0};
    for (int n = 0; n < int(std::size(lengths)); ++n) {
        const QString path = folder.filePath(QStringLiteral("sound%1.wav").arg(n));
        const double step = 2 * M_PI * (220.0 + 110 * n) / 48000;
        testmedia::WriteWav(path.toStdString(), 48000, 2, std::int64_t(lengths[n] * 48000),
                            [step, atSink](int channel, std::int64_t f) {
                                return atSink && channel == 0 ? 0.0f : float(0.18 * std::sin(f * step));
                            });
        if (!QFileInfo::exists(path)) return 2;
        sounds << path;
    }
    QFile notes(folder.filePath("notes.txt.wav"));
    if (!notes.open(QIODevice::WriteOnly) || notes.write("not a sound\n") < 0) return 2;
    notes.close();

    // 499 Hz: no whole number of frames per period, so frames lost or repeated jump its phase.
    const QString pilot = folder.filePath(QStringLiteral("pilot.wav"));
    if (atSink) {
        testmedia::WriteWav(pilot.toStdString(), 48000, 2, std::int64_t(seconds + 30) * 48000,
                            [](int channel, std::int64_t f) {
                                return channel == 0 ? float(0.25 * std::sin(f * 2 * M_PI * 499 / 48000)) : 0.0f;
                            });
    }

    mci::Service service(atSink ? mci::Service::Device : mci::Service::Null);
    mci::InstallService(&service);
    channels::SetMciSendFunction(&mci::SendString);

    Form1 board;
    board.Form_Load();
    if (atSink) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(pilot)});
        board.DropOnNameBox(SlotIndex(kPilotSlot), &data);
        board.PlaySlot(SlotIndex(kPilotSlot));
        if (!channels::MciIsPlaying(kPilotSlot)) {
            std::printf("soak: the pilot tone did not start\n");
            return 2;
        }
    }
    Soak soak(board, service, sounds, seconds, seed, atSink);
    toolkit::SetMsgBoxHook([&soak](const QString&, int) {
        soak.countMessage();
        return 1;  // OK
    });
    toolkit::SetBeepHook([] {});
    std::printf("soak: %d s on the %s output, seed %u\n", seconds, service.engine().outputName(), seed);
    std::fflush(stdout);
    soak.start();
    const int result = app.exec();

    board.Form_Unload();
    const auto records = slots::ReadSlotList(folder.path());
    if (records.size() != kSlotCount) {
        std::printf("soak: the list written at exit holds %zu records\n", records.size());
        return 1;
    }
    channels::SetMciSendFunction(nullptr);
    mci::InstallService(nullptr);
    return result;
}
