#include "app/application.h"

#include <QGuiApplication>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

TEST(StartupNotice, HasItsTextTitleAndOneOkButtonWithoutIconOrOwner) {
    auto notice = makeStartupNotice();
    EXPECT_EQ(notice->text(), QStringLiteral("查询后右键列表复制链接地址"));
    EXPECT_EQ(notice->windowTitle(), QStringLiteral("Morvek的博客"));
    EXPECT_EQ(notice->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(notice->icon(), QMessageBox::NoIcon);
    EXPECT_TRUE(notice->button(QMessageBox::Ok)->icon().isNull());
    EXPECT_EQ(notice->parentWidget(), nullptr);
}

TEST(StartupNotice, ShowingReturnsOnceDismissed) {
    bool seen = false;
    QTimer::singleShot(0, [&seen] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* notice = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(notice, nullptr);
        seen = notice->text() == QStringLiteral("查询后右键列表复制链接地址");
        notice->button(QMessageBox::Ok)->click();
    });
    showStartupNotice();
    EXPECT_TRUE(seen);
}

TEST(OpenMainWindow, ShowsTheNoticeBeforeTheWindowAndTheWindowCentredAfter) {
    MainWindow window;
    bool hiddenDuringNotice = false;
    openMainWindow(window, [&] { hiddenDuringNotice = !window.isVisible(); });
    EXPECT_TRUE(hiddenDuringNotice);
    EXPECT_TRUE(window.isVisible());
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(window.frameGeometry().topLeft(),
              QPoint((screen.width() - 712) / 2, (screen.height() - 442) / 2));
}

// The probe is the program closed while workers wait on the window: blocked in a call queued to
// the UI thread, or waiting for a message box to be dismissed. It prints a line just before it
// closes the window; whatever the platform prints while starting up comes before that line.
TEST(RunUntilClosed, EndsTheProcessAtOnceWhileWorkersWaitOnTheWindow) {
    QProcess probe;
    probe.setProcessChannelMode(QProcess::MergedChannels);
    probe.start(QStringLiteral(QUORVO_EXIT_PROBE), {});
    ASSERT_TRUE(probe.waitForFinished(60000)) << "the process hangs after its window closed";
    EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(probe.exitCode(), 0);
    const std::string output = probe.readAll().toStdString();
    const std::string marker = "closing with workers waiting\n";
    const std::size_t at = output.find(marker);
    ASSERT_NE(at, std::string::npos) << output;
    EXPECT_EQ(output.substr(at + marker.size()), "") << "nothing may be reported at exit";
}

}  // namespace
