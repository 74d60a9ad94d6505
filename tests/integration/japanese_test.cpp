// Japanese throughout, offscreen: Qt's own dialogs speak Japanese.
#include <QApplication>
#include <QColorDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include "support/program_folder.h"
#include "support/qt_events.h"
#include "ui/qt/qt_desktop.h"
#include "ui/qt/translations.h"

namespace rx47 {
namespace {

[[maybe_unused]] const auto* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new rx47::test::QtEnvironment);

TEST(QtTranslations, QtsOwnDialogsSpeakJapaneseAndAMissingFileIsLoggedOnce) {
    test::RecordingLogSink lines;
    FailureLog log(&lines);
    const test::TempProgramFolder empty(test::TempProgramFolder::Settings::None);
    EXPECT_FALSE(installQtTranslations(log, QString::fromStdString(empty.path().string())));
    EXPECT_EQ(lines.count(LogCategory::Program, "qtbase_ja.qm"), 1);

    ASSERT_TRUE(installQtTranslations(log)) << "Qt's translations: Debian package qt6-translations-l10n";
    EXPECT_EQ(lines.lines.size(), 1u);

    QString title;
    QStringList texts;
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [&, poll] {
        auto* picker = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
        if (!picker) return;
        poll->stop();
        poll->deleteLater();
        title = picker->windowTitle();
        for (const QLabel* l : picker->findChildren<QLabel*>()) texts << l->text();
        for (const QPushButton* b : picker->findChildren<QPushButton*>()) texts << b->text();
        picker->reject();
    });
    poll->start(10);
    QtDesktop desktop;
    desktop.pickColour(0);
    EXPECT_EQ(title, QStringLiteral("色を選択"));
    EXPECT_TRUE(texts.contains(QStringLiteral("基本カラー(&B)"))) << texts.join(u'|').toStdString();
    EXPECT_TRUE(texts.contains(QStringLiteral("キャンセル"))) << texts.join(u'|').toStdString();
    EXPECT_FALSE(texts.contains(QStringLiteral("&Basic colors")));
}

}  // namespace
}  // namespace rx47
