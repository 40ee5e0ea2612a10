#pragma once
// A fresh board on the recording media service, run in a temporary folder that serves as the
// current directory (where the slot list lives), with the program folder fixed and message
// boxes, beeps and the file manager answered and logged in one event list, in order.
#include <QApplication>
#include <QCheckBox>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <deque>
#include <memory>

#include "board/slot_table.h"
#include "board/window/board_window.h"
#include "board/window/slot_label.h"
#include "recording_mci.h"
#include "toolkit/app_info.h"
#include "toolkit/colors.h"
#include "toolkit/message_box.h"

using Commands = std::vector<std::string>;

inline constexpr char kDefaultKeys[] = "0123456789/*-+.ABCDEFGHIJKLMNOPQRSTUVW";
inline constexpr std::uint32_t kWhite = 0xFFFFFF, kYellow = 0x00FFFF, kLit = 0xFF80FF;

// One line of the list as the board writes it; numbers as their text ("800", ".5", "-5").
inline QByteArray ListLine(int index, const char* key, const char* name, const char* file, const char* start,
                           const char* volume, const char* fade, const char* exclusive) {
    auto number = [](const QByteArray& text) { return (text.startsWith('-') ? text : " " + text) + " "; };
    return number(QByteArray::number(index)) + ",\"" + key + "\",\"" + name + "\",\"" + file + "\"," + number(start) +
           "," + number(volume) + "," + number(fade) + "," + number(exclusive) + "\r\n";
}

inline QByteArray EmptyLines(int from, int to = kSlotCount) {
    QByteArray out;
    for (int i = from; i < to; ++i) out += ListLine(i, QByteArray(1, kDefaultKeys[i]), "", "", "0", "0", "0", "0");
    return out;
}

// What a slot's data and controls show.
struct SlotLooks {
    QString file, name, caption, key;
    std::uint32_t nameColor, keyColor;
    int enabled;  // one bit each: Play, Stop, fade box, exclusive box, bar
    bool fadeTicked, exclusiveTicked;
    int barValue, volume;
    double start;
    bool operator==(const SlotLooks&) const = default;
    friend std::ostream& operator<<(std::ostream& os, const SlotLooks& l) {
        return os << (QStringList() << l.file << l.name << l.caption << l.key).join('|').toStdString() << std::hex
                  << " colors "
                  << l.nameColor << "/" << l.keyColor << " enabled " << l.enabled << std::dec << " ticks "
                  << l.fadeTicked << l.exclusiveTicked << " bar " << l.barValue << " volume " << l.volume
                  << " start " << l.start;
    }
};

inline SlotLooks LooksOf(const Form1& f, int i) {
    const int enabled = f.Command1[i]->isEnabled() | f.Command2[i]->isEnabled() << 1 | f.Check1[i]->isEnabled() << 2 |
                        f.Check2[i]->isEnabled() << 3 | f.HScroll1[i]->isEnabled() << 4;
    return {f.Slots.SlotFile[i], f.Slots.SlotName[i], f.Text1[i]->text(), f.Label4[i]->text(), toolkit::BackColor(f.Text1[i]),
            toolkit::BackColor(f.Label4[i]), enabled, f.Check1[i]->isChecked(), f.Check2[i]->isChecked(),
            f.HScroll1[i]->value(), f.Slots.SlotVolume[i], f.Slots.SlotStart[i]};
}

inline SlotLooks Assigned(const QString& file, const QString& name, const QString& key, int volume, bool fade = false,
                          bool exclusive = false, double start = 0) {
    return {file, name, name, key, kYellow, kWhite, 0x1F, fade, exclusive, volume, volume, start};
}

inline SlotLooks Empty(const QString& key, std::uint32_t nameColor) {
    return {{}, {}, {}, key, nameColor, kWhite, 0, false, false, 0, 0, 0};
}

// A drag-enter and a drop of `data` on slot i's name box, as a file manager's drop arrives.
inline void SendDrop(Form1& f, int i, const QMimeData& data) {
    const QPoint inside(5, 5);
    QDragEnterEvent enter(inside, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(f.Text1[i], &enter);
    QDropEvent drop(QPointF(inside), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(f.Text1[i], &drop);
}

inline void DropFiles(Form1& f, int i, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
    data.setUrls(urls);
    SendDrop(f, i, data);
}

class BoardTest : public ::testing::Test
{
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_savedCurrent = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
        qputenv("XDG_STATE_HOME", m_dir.filePath("state").toLocal8Bit());  // where an unsaved board goes
        toolkit::SetProgramFolderForTests(QStringLiteral("/home/u/board"));
        toolkit::SetBeepHook([this] { events.push_back("beep"); });
        toolkit::SetMsgBoxHook([this](const QString& text, int style) {
            events.push_back("box " + std::to_string(style) + " " + text.toStdString());
            const int answer = answers.empty() ? toolkit::kAnswerCancel : answers.front();
            if (!answers.empty()) answers.pop_front();
            return answer;
        });
        toolkit::SetOpenFolderHook([this](const QString& folder) {
            events.push_back("open folder " + folder.toStdString());
            return openFolderSucceeds;
        });
        f = std::make_unique<Form1>();
        f->HotKey = f->HotKey0 = QString::fromLatin1(kDefaultKeys);
    }

    void TearDown() override {
        f.reset();  // destroying the window does not run the exit steps
        toolkit::SetMsgBoxHook({}), toolkit::SetBeepHook({}), toolkit::SetOpenFolderHook({});
        toolkit::SetProgramFolderForTests({});
        QDir::setCurrent(m_savedCurrent);
    }

    // A fresh board between the cases of a table; the list folder stays, and so do the
    // service's scripted replies unless they are forgotten.
    void Restart(bool forgetScript = true) {
        TearDown();
        mci.clear(), mci.open.clear(), events.clear(), answers.clear();
        if (forgetScript) mci.playing.clear(), mci.unopenable.clear();
        openFolderSucceeds = true;
        SetUp();
    }

    // The program starting: a new board loaded from the list in the folder, as in a new process.
    Form1& start() {
        Restart(false);
        f = std::make_unique<Form1>();  // with nothing preset: the keys come from start-up
        f->Form_Load();
        return *f;
    }

    QString listPath() const { return m_dir.filePath(QStringLiteral("SoundList.csv")); }
    void writeList(const QByteArray& bytes) {
        QFile file(listPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    QByteArray readList() const {
        QFile file(listPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Gives slot i a sound and the assigned look as start-up does, then forgets the commands.
    void Assign(int i, int volume = 800, bool fade = false, bool exclusive = false, double start = 0) {
        f->Slots.SlotFile[i] = QStringLiteral("tone%1.wav").arg(i), f->Slots.SlotName[i] = QStringLiteral("tone%1").arg(i);
        f->Slots.SlotStart[i] = start, f->Slots.SlotVolume[i] = static_cast<std::int16_t>(volume);
        f->AssignedSetUp(i, fade, exclusive);
        mci.clear();
    }
    // Gives slot i a sound by a drop, then forgets the commands and boxes it caused.
    void Drop(int i, const QString& path) {
        DropFiles(*f, i, {path});
        ASSERT_FALSE(f->Slots.SlotFile[i].isEmpty()) << qPrintable(path);
        mci.clear(), events.clear();
    }

    int Bar(int i) const { return f->HScroll1[i]->value(); }
    std::uint32_t KeyColor(int i) const { return toolkit::BackColor(f->Label4[i]); }

    RecordingMci mci;  // outlives the board
    std::unique_ptr<Form1> f;
    std::vector<std::string> events;  // "beep", "box <style> <text>", "open folder <path>"
    std::deque<int> answers;          // scripted answers to the boxes; Cancel when empty
    bool openFolderSucceeds = true;

private:
    QTemporaryDir m_dir;
    QString m_savedCurrent;
};
