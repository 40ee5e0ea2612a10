// Any sequence of what a user does on the board (drops, releases, keys, buttons, ticks, the
// volume bar, Escape, sounds running out) leaves every slot looking as its slot table and its
// channel say, each channel playing or silent as the operations imply, each volume where the
// user set it, and a list at exit that holds exactly that board: the table's.
#include <QTextDocumentFragment>
#include <random>

#include "board_fixture.h"
#include "slots/slot_list_file.h"

namespace {

// Keys through Z, so that every letter's folding is exercised.
const QString kKeys = QStringLiteral("3456789/*-+.ABCDEFGHIJKLMNOPQRSTUVWXYZ");
const QString kGone = QStringLiteral("/media/usb/gone.wav");

// What differs between slot i's controls and what its table entry and channel imply.
std::string LookFaults(const Form1& f, int i, bool sounding) {
    const bool assigned = f.Slots.HasSound(i);
    const auto& kept = f.Slots.Kept[i];
    std::string faults;
    const auto expect = [&](bool holds, const char* what) { faults += holds ? "" : std::string(what) + "; "; };
    expect(f.Label4[i]->text() == f.Slots.Key[i], "key");
    expect(f.Text1[i]->text() == (assigned ? f.Slots.SlotName[i] : QString()), "caption");
    expect(toolkit::BackColor(f.Text1[i]) == (assigned              ? kYellow
                                              : f.Slots.Released[i] ? kWhite
                                                                    : toolkit::kWindowBackground),
           "name colour");
    expect(toolkit::BackColor(f.Label4[i]) == (assigned && sounding ? kLit : kWhite), "key colour");
    for (const QWidget* w :
         std::initializer_list<const QWidget*>{f.Command1[i], f.Command2[i], f.Check1[i], f.Check2[i], f.HScroll1[i]})
        expect(w->isEnabled() == assigned, "enabled state");
    expect(f.Check1[i]->isChecked() == f.Slots.Fade[i] && f.Check2[i]->isChecked() == f.Slots.Exclusive[i], "ticks");
    expect(assigned || (!f.Check1[i]->isChecked() && !f.Check2[i]->isChecked() && f.HScroll1[i]->value() == 0),
           "an empty slot's ticks and bar");
    expect(f.HScroll1[i]->value() == f.Slots.SlotVolume[i], "bar and volume");
    expect(QTextDocumentFragment::fromHtml(f.Text1[i]->toolTip()).toPlainText() ==
               (kept ? kept->record.file + QStringLiteral("が見つかりません") : QString()),
           "tooltip");
    return faults;
}

TEST_F(BoardTest, AnySequenceOfOperationsKeepsLooksChannelsVolumesAndTheListInStep) {
    fake.unopenable.insert(kGone.toStdString());
    fake.unopenable.insert("/srv/broken.wav");
    fake.openOnScratchOnly.insert("/srv/late.wav");
    for (unsigned seed = 1; seed <= 25; ++seed) {
        write(listPath(), ListLine(0, "3", "gone", kGone.toUtf8(), ".5", "700", "1", "0") +
                              ListLine(1, "4", "one", "one.wav", "0", "300", "1", "0") + EmptyLines(2));
        start();
        f->HotKey = kKeys;
        std::mt19937 random(seed);
        const auto pick = [&](int n) { return int(random() % unsigned(n)); };
        std::array<int, kSlotCount> volume{};  // what the user set; a fade puts it back
        volume[1] = 300;
        std::string log;
        for (int step = 0; step < 150; ++step) {
            const int s = pick(4) == 0 ? kSlotCount - 1 : pick(6);  // a few slots, so operations meet
            const bool assigned = f->Slots.HasSound(s);
            const bool wasPlaying = fake.playing.count(s) > 0;
            const bool fadeBox = f->Check1[s]->isChecked();
            const bool exclusive = f->Check2[s]->isChecked();
            const int op = pick(12);
            log += std::to_string(op) + "@" + std::to_string(s) + " ";
            SCOPED_TRACE("seed " + std::to_string(seed) + ": " + log);
            const auto play = [&] {
                EXPECT_TRUE(fake.playing.count(s));
                if (exclusive) EXPECT_EQ(fake.playing, std::set<int>{s});
            };
            const auto stop = [&] {
                EXPECT_EQ(fake.playing.count(s) > 0, fadeBox && wasPlaying);
                if (fadeBox && wasPlaying) EXPECT_TRUE(f->Slots.FadeActive[s]);
            };
            if (op == 0) {  // a drop: a sound, one under the program folder, one refused at the trial or on the slot
                const int kind = pick(3);
                const bool late = kind == 2 && step % 2;
                const QString file = kind == 2
                                         ? (late ? "/srv/late.wav" : "/srv/broken.wav")
                                         : QStringList{"/srv/s%1.wav", "/home/u/board/fx/f%1.mp3"}.at(kind).arg(step);
                const QString before = f->Slots.SlotFile[s];
                DropFiles(*f, s, {file});
                EXPECT_EQ(f->Slots.SlotFile[s], kind == 2 ? before : QString(file).remove("/home/u/board/"));
                EXPECT_EQ(fake.playing.count(s), kind == 2 && !late ? std::size_t(wasPlaying) : 0u);
                if (kind == 2) EXPECT_EQ(events.back(), "box 16 " + file.toStdString() + "は扱えません");
                if (kind != 2) volume[s] = 800;
            } else if (op == 1) {  // release through the menu, answered yes
                f->Slots.SelectedSlot = s;
                answers = {toolkit::kAnswerOk};
                f->mnuDelSoundFile_Click();
                EXPECT_FALSE(f->Slots.HasSound(s));
                EXPECT_FALSE(f->Slots.Kept[s]);
                EXPECT_FALSE(fake.open.count(s));
            } else if (op == 2) {  // the slot's key, in either case
                f->BoardKeyPress(pick(2) ? kKeys[s].toLower().unicode() : kKeys[s].unicode());
                if (assigned) wasPlaying ? stop() : play();
            } else if (op == 3) {
                f->Command1[s]->click();
                if (assigned) play();
            } else if (op == 4) {
                f->Command2[s]->click();
                if (assigned) stop();
            } else if (op == 5) {
                f->Check1[s]->click();
                EXPECT_EQ(f->Slots.Fade[s], assigned && !fadeBox);
            } else if (op == 6) {
                f->Check2[s]->click();
                EXPECT_EQ(f->Slots.Exclusive[s], assigned && !exclusive);
            } else if (op == 7 && assigned) {  // the bar; during a fade the level remembered at Stop still wins
                f->HScroll1[s]->setValue(std::array{0, 1000, 500, pick(1001)}[pick(4)]);
                if (!f->Slots.FadeActive[s]) volume[s] = bar(s);
            } else if (op == 8) {
                pick(2) ? f->BoardKeyPress(27) : f->Command4->click();
                EXPECT_TRUE(fake.playing.empty());
            } else if (op == 9) {
                fake.playing.erase(s);                    // the sound ran out
            }                                             // else time passes
            const std::set<int> sounding = fake.playing;  // what the tick's indicator pass sees
            f->FadeTick();
            for (int i = 0; i < kSlotCount; ++i) {
                ASSERT_EQ(LookFaults(*f, i, sounding.count(i)), "") << "slot " << i;
                if (!f->Slots.HasSound(i)) continue;
                EXPECT_EQ(f->Slots.FadeActive[i] ? f->Slots.FadeRestoreVolume[i] : bar(i), volume[i]) << i;
                EXPECT_EQ(fake.volume[i], bar(i)) << "the channel's volume, slot " << i;
            }
        }
        // The exit writes the board as it stands: a fading slot at the level it fades from, a
        // record kept from start-up as it was read.
        std::vector<slots::SlotRecord> expected(kSlotCount);
        for (SlotIndex i = 0; i < kSlotCount; ++i) {
            slots::SlotRecord& r = expected[size_t(i)];
            r = f->Slots.Kept[i] ? f->Slots.Kept[i]->record : slots::SlotRecord{};
            if (!f->Slots.Kept[i]) {
                r.name = f->Slots.SlotName[i];
                r.file = f->Slots.SlotFile[i];
                r.volume = f->Slots.HasSound(i) ? volume[i] : 0;
                r.fade = f->Slots.Fade[i];
                r.exclusive = f->Slots.Exclusive[i];
            }
            r.index = i;
            r.key = i < 2 ? QString(kKeys[i]) : QString(QChar::fromLatin1(kDefaultKeys[i]));  // the list's own two
        }
        f->close();
        const std::vector<slots::SlotRecord> written = slots::ReadSlotList(QDir::currentPath());
        ASSERT_EQ(written.size(), expected.size());
        for (std::size_t i = 0; i < written.size(); ++i) EXPECT_EQ(written[i], expected[i]) << "seed " << seed;
    }
}

}  // namespace
