#pragma once
// Shared by the start-up, exit and layout tests: a fresh board on a recording media service,
// run in a temporary folder that serves as the current directory (where the slot list lives),
// with message boxes recorded instead of shown.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "board/slot_table.h"
#include "board/window/form1.h"
#include "recording_mci.h"
#include "toolkit/message_box.h"

namespace startup_tests {

// One line of the list in the form the board writes it. Numbers are given as their text
// without the blanks around them ("800", ".5", "-5").
inline QByteArray ListLine(int index, const char* key, const char* name, const char* file,
                           const char* start, const char* volume, const char* fade,
                           const char* exclusive) {
    auto number = [](const char* text) {
        return (text[0] == '-' ? QByteArray(text) : QByteArray(" ") + text) + " ";
    };
    return number(std::to_string(index).c_str()) + ",\"" + key + "\",\"" + name + "\",\"" +
           file + "\"," + number(start) + "," + number(volume) + "," + number(fade) + "," +
           number(exclusive) + "\r\n";
}

inline constexpr char kDefaultKeys[] = "0123456789/*-+.ABCDEFGHIJKLMNOPQRSTUVW";

// The line of an empty slot with its default key.
inline QByteArray EmptyLine(int i) {
    const char key[2] = {kDefaultKeys[i], '\0'};
    return ListLine(i, key, "", "", "0", "0", "0", "0");
}

struct Box {
    QString text;
    int style;
};

class StartupFixture : public ::testing::Test
{
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_savedCurrent = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
        ResetSlotTable();
        toolkit::SetMsgBoxHook([this](const QString& text, int style) {
            boxes.push_back({text, style});
            return toolkit::kAnswerOk;
        });
    }

    void TearDown() override {
        f.reset();  // destroying the window does not run the exit steps
        toolkit::SetMsgBoxHook({});
        ResetSlotTable();
        QDir::setCurrent(m_savedCurrent);
    }

    QString folder() const { return m_dir.path(); }
    QString listPath() const { return m_dir.filePath(QStringLiteral("SoundList.csv")); }

    void writeList(const QByteArray& bytes) {
        QFile file(listPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray readList() const {
        QFile file(listPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // A new board, as the program starts: built, then loaded from the list in the folder.
    Form1& start() {
        f.reset();
        f = std::make_unique<Form1>();
        f->Form_Load();
        return *f;
    }

    // A fresh run: the slot table is program-wide, so it starts empty again as in a new process.
    Form1& restart() {
        f.reset();
        ResetSlotTable();
        mci.clear();
        mci.open.clear();
        return start();
    }

    RecordingMci mci;
    std::unique_ptr<Form1> f;
    std::vector<Box> boxes;

private:
    QTemporaryDir m_dir;
    QString m_savedCurrent;
};

}  // namespace startup_tests
