// The scroll bar, drops and the program's own facts.
#include <QApplication>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include "toolkit/app_info.h"
#include "toolkit/file_drop.h"
#include "toolkit/scroll_bar.h"

TEST(HScrollBar, ReportsRealChangesOnlyAndADragOnceAtTheRelease) {
    toolkit::HScrollBar bar(0, 1000, 100, 400);
    QSignalSpy changes(&bar, &QScrollBar::valueChanged);
    bar.setValue(500);
    bar.setValue(500);                     // unchanged: no report
    QTest::keyClick(&bar, Qt::Key_Right);  // the arrow step, upward
    EXPECT_EQ(bar.value(), 600);
    bar.triggerAction(QAbstractSlider::SliderPageStepAdd);  // a track click
    EXPECT_EQ(bar.value(), 1000);
    EXPECT_EQ(changes.count(), 3);

    changes.clear();
    bar.setSliderDown(true);
    for (int position : {900, 800, 700}) bar.setSliderPosition(position);
    EXPECT_EQ(changes.count(), 0);
    bar.setSliderDown(false);
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.at(0).at(0).toInt(), 700);
}

TEST(DroppedFiles, TakesTheLocalFilesOfTheDragData) {
    QMimeData files, webOnly, text;
    files.setUrls({QUrl::fromLocalFile(QStringLiteral("/home/u/効果音/ベル.wav")), QUrl("https://example.org/x.wav"),
                   QUrl::fromLocalFile("/tmp/b.mp3")});
    webOnly.setUrls({QUrl("https://example.org/x.wav")});
    text.setText("/tmp/b.mp3");
    EXPECT_EQ(toolkit::DroppedFiles(&files), QStringList({QStringLiteral("/home/u/効果音/ベル.wav"), "/tmp/b.mp3"}));
    for (const QMimeData* none : {&webOnly, &text, static_cast<QMimeData*>(nullptr)})
        EXPECT_TRUE(toolkit::DroppedFiles(none).isEmpty());
}

TEST(AppInfo, TitleVersionAndFolder) {
    EXPECT_EQ(toolkit::AppTitle(), "Sorvane");
    EXPECT_EQ(QString("%1.%2.%3").arg(toolkit::AppMajor()).arg(toolkit::AppMinor()).arg(toolkit::AppRevision()),
              "2.1.6");
    EXPECT_EQ(toolkit::ProgramFolder(), QCoreApplication::applicationDirPath());
    const struct { const char* given; const char* shown; } folders[] = {
        {"/opt/sorvane/", "/opt/sorvane"}, {"/", "/"}, {"C:/", "C:/"}, {"C:/Sounds/", "C:/Sounds"}};
    for (const auto& f : folders) {
        toolkit::SetProgramFolderForTests(f.given);
        EXPECT_EQ(toolkit::ProgramFolder(), f.shown);
    }
    toolkit::SetProgramFolderForTests({});
    EXPECT_EQ(toolkit::ProgramFolder(), QCoreApplication::applicationDirPath());
}
