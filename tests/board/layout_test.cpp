// The main window as built: geometry in window coordinates and the substituted font.
#include <QFontInfo>
#include <QLabel>

#include "board_fixture.h"

namespace {

QRect InWindow(const Form1& f, const QWidget* w) { return QRect(w->mapTo(&f, QPoint(0, 0)), w->size()); }

TEST_F(BoardTest, ControlsStandWhereTheLayoutPutsThem) {
    const Form1& w = *f;
    EXPECT_EQ(w.size(), QSize(985, 615));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());  // fixed, not resizable
    EXPECT_EQ(QFontInfo(w.Label3->font()).family(), QStringLiteral("IPAPGothic"));
    EXPECT_TRUE(mci.calls.empty());  // building the window sends nothing

    // Twips in the window's client area, summed through Frame2 and the slot's frame.
    const int top = 630, left = 105 + 105, right = 105 + 7350;
    const struct {
        const char* what;
        const QWidget* control;
        int x, y, width, height;
    } cases[] = {
        {"status box", w.Label3, 5760, 105, 2895, 375},
        {"slot 0 frame", w.Frame1[0], left, top + 210, 6975, 585},
        {"slot 0 key label", w.Label4[0], left + 105, top + 315, 375, 375},
        {"slot 0 volume bar", w.HScroll1[0], left + 4830, top + 420, 2160, 255},
        {"slot 18 frame", w.Frame1[18], left, top + 7875, 6975, 420},
        {"slot 18 name box", w.Text1[18], left + 525, top + 7875, 2115, 375},
        {"slot 19 key label", w.Label4[19], right + 105, top + 315, 375, 375},
        {"slot 19 Play", w.Command1[19], right + 2730, top + 315, 615, 375},
        {"slot 37 Stop", w.Command2[37], right + 3360, top + 7875, 615, 375},
        {"slot 37 exclusive box", w.Check2[37], right + 4515, top + 7980, 255, 255},
        {"slot 37 volume bar", w.HScroll1[37], right + 4830, top + 7980, 2160, 255},
    };
    for (const auto& c : cases)
        EXPECT_EQ(InWindow(w, c.control), QRect(c.x / 15, c.y / 15, c.width / 15, c.height / 15)) << c.what;
}

}  // namespace
