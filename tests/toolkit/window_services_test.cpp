// Colours, fonts, the scroll bar, drops and the program's own facts.
#include <QCoreApplication>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include "toolkit/app_info.h"
#include "toolkit/colors.h"
#include "toolkit/file_drop.h"
#include "toolkit/fonts.h"
#include "toolkit/scroll_bar.h"

TEST(Colors, KeepTheBoardsValueAndPaintIt) {
    QLabel label;
    toolkit::SetBackColor(&label, 0x0000FFFF);  // yellow
    EXPECT_EQ(toolkit::BackColor(&label), 0x0000FFFFu);
    EXPECT_EQ(label.palette().color(QPalette::Window), QColor(255, 255, 0));
    EXPECT_TRUE(label.autoFillBackground());

    QLineEdit edit;
    toolkit::SetBackColor(&edit, toolkit::kWindowBackground);
    EXPECT_EQ(toolkit::BackColor(&edit), toolkit::kWindowBackground);
    EXPECT_EQ(edit.palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));
    EXPECT_EQ(toolkit::WinColor(0x00FF80FF), QColor(255, 128, 255));  // light magenta
}

TEST(Fonts, TheLayoutsGothicIsIPAPGothic) {
    const QFont font = toolkit::GothicFont(14.25, true);
    EXPECT_DOUBLE_EQ(font.pointSizeF(), 14.25);
    EXPECT_EQ(font.weight(), QFont::Bold);
    EXPECT_EQ(QFontInfo(font).family(), "IPAPGothic");
    EXPECT_EQ(toolkit::GothicFont(11.25, false).weight(), QFont::Normal);
    EXPECT_EQ(QFontInfo(QFont(QStringLiteral("ＭＳ Ｐゴシック"))).family(), "IPAPGothic");
}

TEST(HScrollBar, ReportsRealChangesOnly) {
    toolkit::HScrollBar bar(0, 1000, 100, 400);
    QSignalSpy changes(&bar, &QScrollBar::valueChanged);
    EXPECT_EQ(bar.orientation(), Qt::Horizontal);

    bar.setValue(500);
    bar.setValue(500);  // unchanged: no report
    EXPECT_EQ(changes.count(), 1);

    QTest::keyClick(&bar, Qt::Key_Right);  // the arrow step, upward
    EXPECT_EQ(bar.value(), 600);
    bar.triggerAction(QAbstractSlider::SliderPageStepAdd);  // a track click
    EXPECT_EQ(bar.value(), 1000);
    EXPECT_EQ(changes.count(), 3);

    // A thumb drag reports once, at the release.
    changes.clear();
    bar.setSliderDown(true);
    for (int position : {900, 800, 700}) bar.setSliderPosition(position);
    EXPECT_EQ(changes.count(), 0);
    bar.setSliderDown(false);
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.at(0).at(0).toInt(), 700);
}

TEST(DroppedFiles, TakesTheLocalFilesOfTheDragData) {
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QStringLiteral("/home/u/効果音/ベル.wav")),
                   QUrl("https://example.org/x.wav"), QUrl::fromLocalFile("/tmp/b.mp3")});
    EXPECT_EQ(toolkit::DroppedFiles(&files),
              QStringList({QStringLiteral("/home/u/効果音/ベル.wav"), "/tmp/b.mp3"}));

    QMimeData webOnly;
    webOnly.setUrls({QUrl("https://example.org/x.wav")});
    QMimeData text;
    text.setText("/tmp/b.mp3");
    EXPECT_TRUE(toolkit::DroppedFiles(&webOnly).isEmpty());
    EXPECT_TRUE(toolkit::DroppedFiles(&text).isEmpty());
    EXPECT_TRUE(toolkit::DroppedFiles(nullptr).isEmpty());
}

TEST(AppInfo, TitleVersionAndFolder) {
    EXPECT_EQ(toolkit::AppTitle(), "Sorvane");
    EXPECT_EQ(QString("%1.%2.%3").arg(toolkit::AppMajor()).arg(toolkit::AppMinor()).arg(toolkit::AppRevision()),
              "2.1.6");
    EXPECT_EQ(toolkit::ProgramFolder(), QCoreApplication::applicationDirPath());
    EXPECT_FALSE(toolkit::ProgramFolder().endsWith('/'));

    const struct {
        const char* given;
        const char* shown;
    } folders[] = {{"/opt/sorvane/", "/opt/sorvane"}, {"/", "/"}, {"C:/", "C:/"}, {"C:/Sounds/", "C:/Sounds"}};
    for (const auto& f : folders) {
        toolkit::SetProgramFolderForTests(f.given);
        EXPECT_EQ(toolkit::ProgramFolder(), f.shown);
    }
    toolkit::SetProgramFolderForTests({});
    EXPECT_EQ(toolkit::ProgramFolder(), QCoreApplication::applicationDirPath());
}

TEST(AppInfo, OpeningTheFolderGoesThroughTheHook) {
    QString opened;
    toolkit::SetOpenFolderHook([&](const QString& folder) {
        opened = folder;
        return false;
    });
    EXPECT_FALSE(toolkit::OpenFolderInFileManager(QStringLiteral("/opt/サウンド; rm -rf ~")));
    EXPECT_EQ(opened, QStringLiteral("/opt/サウンド; rm -rf ~"));
    toolkit::SetOpenFolderHook({});
}
