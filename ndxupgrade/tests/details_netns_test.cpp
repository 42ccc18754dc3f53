// The window with the real process runner and the real loader on the test
// namespace's veth pair (hl0 holds 192.0.2.2). The connect script prints a
// line and then sleeps, so no device is needed.

#include <gtest/gtest.h>

#include <net/if.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <filesystem>

#include "fakes.h"
#include "form/main_form.h"
#include "platform/qt_process_runner.h"

namespace ndx {
namespace {

namespace fs = std::filesystem;

// Details shows the loader's line while the loader still runs (it is then
// stopped by the user's Exit, only once the line was seen), and the lines
// the loader prints as it ends on SIGTERM reach Details too.
TEST(WindowWithTheLoader, DetailsShowLoaderLinesAsTheyArePrinted)
{
    if (if_nametoindex("hl0") == 0) GTEST_SKIP() << "not inside the test namespace";
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "details_netns_test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QTemporaryDir settings;
    ASSERT_TRUE(settings.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());

    test::TempBase base;
    fs::remove(base.root / "Tool/hostlink");
    fs::create_symlink(HOSTLINK_BINARY, base.root / "Tool/hostlink");
    test::writeFile(base.root / "Tool/connect.txt", "PRINT,0,first-line\nSLEEP,20000\nPRINT,0,second-line\n");
    test::FakeInterfaces interfaces;
    test::RecordingBoxes boxes;
    boxes.onAsk = [] { return true; };
    QtProcessRunner runner;
    TMainForm form(FormServices{interfaces, runner, boxes, base.path()});
    auto* details = form.findChild<QPlainTextEdit*>("DetailsMemo");
    auto* exit = form.findChild<QPushButton*>("ExitBtn");
    ASSERT_NE(details, nullptr);
    ASSERT_NE(exit, nullptr);

    QElapsedTimer clock;
    qint64 seenAfterMs = -1;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const bool seen = details->toPlainText().contains("hostlink: first-line");
        if (!seen && clock.elapsed() < 15000) return;
        if (seen) seenAfterMs = clock.elapsed();
        watch.stop();
        exit->click();
    });
    watch.start(20);
    clock.start();
    form.findChild<QPushButton*>("DownloadBtn")->click();

    const QString text = details->toPlainText();
    EXPECT_GE(seenAfterMs, 0) << "the loader's line did not show while it ran:\n" << text.toStdString();
    EXPECT_LT(seenAfterMs, 15000);
    EXPECT_TRUE(text.contains("hostlink: stopped by SIGTERM")) << text.toStdString();
    EXPECT_FALSE(text.contains("second-line"));
    EXPECT_TRUE(text.contains("ndxupgrade: Quit: hostlink stopped with SIGTERM.")) << text.toStdString();
}

}  // namespace
}  // namespace ndx
