#pragma once
// The one fixture of the Qt-side tests: a fresh board on the recording media service (or the
// real one) in a temporary current folder, where the slot list lives; the program folder fixed.
// Boxes, beeps and the file manager are answered and logged in one event list, in order. The
// tear-down fails a test that leaves a window on screen: it would take every later test's keys.
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>

#include "board/window/board_window.h"
#include "board/window/slot_label.h"
#include "channels/mci_channels.h"
#include "mci/mci_service.h"
#include "recording_mci.h"
#include "toolkit/app_info.h"
#include "toolkit/colors.h"
#include "toolkit/message_box.h"

using board::Form1;
using board::SlotLabel;
using slots::kSlotCount;
using slots::SlotIndex;
using Commands = std::vector<std::string>;

// The board's own keys: digits, the keypad signs, then A to W, one per slot.
inline constexpr char kDefaultKeys[] = "0123456789/*-+.ABCDEFGHIJKLMNOPQRSTUVW";
static_assert(sizeof kDefaultKeys == kSlotCount + 1, "one key per slot");
inline constexpr std::uint32_t kWhite = 0xFFFFFF;
inline constexpr std::uint32_t kYellow = 0x00FFFF;
inline constexpr std::uint32_t kLit = 0xFF80FF;

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
namespace slots {
inline void PrintTo(const SlotRecord& r, std::ostream* os) {
    for (const ListField& field : kListFields)
        std::visit([&](auto member) { *os << testing::PrintToString(r.*member) << ","; }, field);
    *os << " read " << r.fieldsRead;
}
}  // namespace slots

// One line of the list as the board writes it; numbers as their text ("800", ".5", "-5").
inline QByteArray ListLine(int index, const QByteArray& key, const QByteArray& name = {}, const QByteArray& file = {},
                           const char* start = "0", const char* volume = "0", const char* fade = "0",
                           const char* exclusive = "0") {
    auto number = [](const QByteArray& text) { return (text.startsWith('-') ? text : " " + text) + " "; };
    return number(QByteArray::number(index)) + ",\"" + key + "\",\"" + name + "\",\"" + file + "\"," + number(start) +
           "," + number(volume) + "," + number(fade) + "," + number(exclusive) + "\r\n";
}

inline QByteArray EmptyLines(int from, int to = kSlotCount) {
    QByteArray out;
    for (int i = from; i < to; ++i) out += ListLine(i, QByteArray(1, kDefaultKeys[i]));
    return out;
}

// A drag-enter and a drop of files on slot i's name box, as a file manager's drop arrives.
inline void DropFiles(Form1& f, int i, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(f.Text1[i], &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(f.Text1[i], &drop);
}

// Runs `answer` on the modal window that opens next; one still open after 5 s is closed, so a
// failing test cannot hang the run.
struct ModalAnswer {
    explicit ModalAnswer(std::function<void(QWidget*)> answer) {
        QTimer::singleShot(0, &context, [this, answer] {
            QWidget* w = QApplication::activeModalWidget();
            if (!w) return;
            shown = true;
            answer(w);
        });
        QTimer::singleShot(5000, &context, [] {
            if (QWidget* w = QApplication::activeModalWidget()) w->close();
        });
    }
    QObject context;  // no timer fires once the answer is gone
    bool shown = false;
};

class BoardTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_savedCurrent = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
        qputenv("XDG_STATE_HOME", m_dir.filePath("state").toLocal8Bit());  // where an unsaved board goes
        toolkit::SetBoardFolderForTests(QStringLiteral("/home/u/board"));
        toolkit::SetBeepHook([this] { events.push_back("beep"); });
        toolkit::SetMsgBoxHook([this](const QString& text, int style) {
            events.push_back("box " + std::to_string(style) + " " + text.toStdString());
            const int answer = answers.empty() ? toolkit::kAnswerCancel : answers.front();
            if (!answers.empty()) answers.pop_front();
            return answer;
        });
        toolkit::SetOpenFolderHook([this](const QString& dir) {
            events.push_back("open folder " + dir.toStdString());
            return true;
        });
        f = std::make_unique<Form1>();
        f->HotKey = f->HotKey0 = QString::fromLatin1(kDefaultKeys);
    }

    void TearDown() override {
        f.reset();  // destroying the window does not run the exit steps
        if (m_service) {
            ::mci::SendString("close all", nullptr, 0, nullptr);
            channels::SetMciSendFunction(nullptr);
            ::mci::InstallService(nullptr);
            m_service.reset();
        }
        toolkit::SetMsgBoxHook({});
        toolkit::SetBeepHook({});
        toolkit::SetOpenFolderHook({});
        toolkit::SetBoardFolderForTests({});
        toolkit::SetProgramFolderForTests({});
        QDir::setCurrent(m_savedCurrent);
        QCoreApplication::processEvents();
        QStringList open;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible() || w->windowType() == Qt::ToolTip) continue;
            open << QString::fromLatin1(w->metaObject()->className()) + " \"" + w->windowTitle() + "\"";
            w->close();
        }
        EXPECT_TRUE(open.isEmpty()) << "left open: " << open.join(", ").toStdString();
    }

    // The program starting again on the list in the folder, as in a new process; the fake's
    // scripted replies stay.
    Form1& start() {
        f.reset();
        fake.calls.clear();
        fake.open.clear();
        fake.playing.clear();
        events.clear();
        answers.clear();
        f = std::make_unique<Form1>();
        f->Form_Load();
        return *f;
    }

    // The real media service in the fake's place, rendering offline unless told otherwise.
    ::mci::Service& useRealService(::mci::Service::OutputKind output = ::mci::Service::Offline) {
        m_service = std::make_unique<::mci::Service>(output);
        ::mci::InstallService(m_service.get());
        channels::SetMciSendFunction(&::mci::SendString);
        return *m_service;
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString listPath() const { return path(QStringLiteral("SoundList.csv")); }
    static QByteArray read(const QString& file) {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }
    static void write(const QString& file, const QByteArray& bytes) {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly)) << qPrintable(file);
        ASSERT_EQ(out.write(bytes), bytes.size()) << qPrintable(file);
    }

    // Gives slot i a sound by a drop, then forgets the commands and events it caused.
    void drop(int i, const QString& file) {
        DropFiles(*f, i, {file});
        ASSERT_FALSE(f->Slots.SlotFile[i].isEmpty()) << qPrintable(file);
        fake.calls.clear();
        events.clear();
    }
    int bar(int i) const { return f->HScroll1[i]->value(); }
    std::uint32_t keyColor(int i) const { return toolkit::BackColor(f->Label4[i]); }

    RecordingMci fake;  // outlives the board
    std::unique_ptr<Form1> f;
    std::vector<std::string> events;  // "beep", "box <style> <text>", "open folder <path>"
    std::deque<int> answers;          // scripted answers to the boxes; Cancel when empty

private:
    QTemporaryDir m_dir;
    QString m_savedCurrent;
    std::unique_ptr<::mci::Service> m_service;
};
