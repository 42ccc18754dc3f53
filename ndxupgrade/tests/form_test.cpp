// The window on the offscreen platform, the real process runner and the
// headless mode against stand-in scripts.

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <signal.h>

#include <fstream>

#include "fakes.h"
#include "form/main_form.h"
#include "core/kit_lock.h"
#include "headless.h"
#include "platform/qt_process_runner.h"

namespace ndx {
namespace {

using namespace test;
namespace fs = std::filesystem;

// True while the process exists and is not a zombie.
bool processAlive(const std::string& pidText)
{
    if (pidText.empty()) return false;
    std::ifstream stat("/proc/" + pidText + "/stat");
    std::string pid, name, state;
    if (!(stat >> pid >> name >> state)) return false;
    return state != "Z";
}

std::string firstLine(const fs::path& path)
{
    std::string line;
    std::ifstream(path) >> line;
    return line;
}

const char* const kDhcpNote =
    "This interface uses DHCP, and it needs \n"
    "about 1 minute to get ready after you \n"
    "connect the HPNA switch with PC.";

}  // namespace

class FormTest : public QObject {
    Q_OBJECT

    template <typename W>
    W* child(TMainForm& form, const char* name)
    {
        W* w = form.findChild<W*>(QString::fromLatin1(name));
        if (!w) qFatal("no control %s", name);
        return w;
    }

    FakeInterfaces interfaces;
    ScriptedRunner runner;
    RecordingBoxes boxes;
    std::unique_ptr<TempBase> base;

    std::unique_ptr<TMainForm> makeForm()
    {
        return std::make_unique<TMainForm>(FormServices{interfaces, runner, boxes, base->path()});
    }

private slots:
    void init()
    {
        interfaces = FakeInterfaces();
        runner = ScriptedRunner();
        boxes.shown.clear();
        boxes.onAsk = nullptr;
        base = std::make_unique<TempBase>();
        runner.effects["version.sh"] = [](const std::string& dir) {
            writeFile(fs::path(dir) / "verinfo.txt", "1.3.2\n");
        };
    }

    void initialTexts()
    {
        auto form = makeForm();
        QCOMPARE(form->windowTitle(), QString("NDX Firmware Upgrade Utility Version 1.3.2-2"));
        const std::pair<const char*, const char*> edits[] = {
            {"Amac1", "00"}, {"Amac2", "01"}, {"Amac3", "40"}, {"Amac4", "00"}, {"Amac5", "00"}, {"Amac6", "00"},
            {"Lmac3", "40"}, {"Rmac2", "01"}, {"DiagPEEdit", "255"}, {"SNREdit", ""}, {"PEEdit", ""}};
        for (auto [name, text] : edits) QCOMPARE(child<QLineEdit>(*form, name)->text(), QString(text));
        QCOMPARE(child<QLineEdit>(*form, "Amac1")->maxLength(), 2);
        QVERIFY(child<QLineEdit>(*form, "PEREdit")->isReadOnly());
        const std::pair<const char*, const char*> buttons[] = {
            {"DownloadBtn", "Download"}, {"VersionBtn", "Get Version"}, {"ExitBtn", "Exit"}, {"DiagBtn", "Diagnose"},
            {"Button14", "Exit"},        {"Amac4Inc", "+"},             {"Rmac6Dec", "-"}};
        for (auto [name, text] : buttons) QCOMPARE(child<QPushButton>(*form, name)->text(), QString(text));
        QCOMPARE(child<QPushButton>(*form, "VersionBtn")->toolTip(), QString("get target's current version"));
        QCOMPARE(child<QLabel>(*form, "Label4")->text(), QString("Interface Status : "));
        QCOMPARE(child<QLabel>(*form, "Label10")->text(),
                 QString("Local PC --->A Target(Local)---------HPNA line-------->B Target(Remote)"));
        QCOMPARE(child<QComboBox>(*form, "IFSelectUpgrade")->currentText(), QString("1: veth hl0"));
        QCOMPARE(child<QPlainTextEdit>(*form, "MemoUpgrade")->toPlainText(), QString(kDhcpNote));
        QCOMPARE(child<QGroupBox>(*form, "PEGroupBox")->title(), QString("Set Diagnostic PE"));
        QVERIFY(child<QGroupBox>(*form, "PEGroupBox")->isHidden());
        auto* tabs = child<QTabWidget>(*form, "PageControl1");
        QCOMPARE(tabs->tabText(0), QString("Upgrade"));
        QVERIFY(!tabs->isTabVisible(1));
        auto* timer = child<QTimer>(*form, "Timer1");
        QCOMPARE(timer->interval(), 1000);
        QVERIFY(timer->isActive());
    }

    void fixedAddressIsReady()
    {
        auto form = makeForm();
        auto* panel = child<QLabel>(*form, "IFStatusUpgrade");
        QCOMPARE(panel->text(), QString(" <fixed IP>: 192.0.2.2"));
        QCOMPARE(panel->palette().color(QPalette::Window), QColor(0, 255, 255));
        QVERIFY(child<QPushButton>(*form, "DownloadBtn")->isEnabled());
        QVERIFY(child<QPushButton>(*form, "VersionBtn")->isEnabled());
        QVERIFY(child<QPushButton>(*form, "DiagBtn")->isEnabled());
        QVERIFY(child<QPlainTextEdit>(*form, "MemoUpgrade")->isHidden());
    }

    void dhcpWithoutAddressIsNotReady()
    {
        interfaces.adapters = {{"hl0", "0.0.0.0", true}};
        auto form = makeForm();
        auto* panel = child<QLabel>(*form, "IFStatusUpgrade");
        QCOMPARE(panel->text(), QString(" <dynamic IP>:   ----  Not Ready"));
        QCOMPARE(panel->palette().color(QPalette::Window), QColor(255, 0, 0));
        QVERIFY(!child<QPushButton>(*form, "DownloadBtn")->isEnabled());
        QVERIFY(!child<QPushButton>(*form, "DiagBtn")->isEnabled());
        QVERIFY(!child<QPlainTextEdit>(*form, "MemoUpgrade")->isHidden());
        QVERIFY(!child<QPlainTextEdit>(*form, "MemoDiag")->isHidden());

        // The lease arrives: the next tick makes the page ready.
        interfaces.adapters = {{"hl0", "192.0.2.7", true}};
        form->Timer1Timer();
        QCOMPARE(panel->text(), QString(" <dynamic IP>: 192.0.2.7"));
        QVERIFY(child<QPushButton>(*form, "DownloadBtn")->isEnabled());
        QVERIFY(child<QPlainTextEdit>(*form, "MemoUpgrade")->isHidden());
    }

    void failingRefreshDoesNotStackBoxes()
    {
        // The real box runs an event loop in which the timer ticks again.
        struct TickingBoxes : MessageBoxes {
            TMainForm* form = nullptr;
            int shown = 0;
            void show(const std::string&, const std::string&, BoxIcon) override
            {
                if (++shown < 20 && form) form->Timer1Timer();
            }
        } ticking;
        FakeInterfaces failing;
        failing.adaptersOk = false;
        TMainForm failingForm(FormServices{failing, runner, ticking, base->path()});
        ticking.form = &failingForm;
        ticking.shown = 0;
        failingForm.Timer1Timer();
        QCOMPARE(ticking.shown, 2);  // one per page, none stacked
    }

    void macStepping()
    {
        auto form = makeForm();
        auto* amac6 = child<QLineEdit>(*form, "Amac6");
        const struct {
            const char *before, *button, *after;
        } cases[] = {{"FF", "Amac6Inc", "00"}, {"00", "Amac6Dec", "FF"}, {"a", "Amac6Inc", "0B"}};
        for (auto c : cases) {
            amac6->setText(c.before);
            child<QPushButton>(*form, c.button)->click();
            QCOMPARE(amac6->text(), QString(c.after));
        }
        auto* lmac4 = child<QLineEdit>(*form, "Lmac4");
        lmac4->setText("7");
        child<QPushButton>(*form, "Lmac4Dec")->click();
        QCOMPARE(lmac4->text(), QString("06"));
        QVERIFY(boxes.shown.empty());

        auto* rmac5 = child<QLineEdit>(*form, "Rmac5");
        rmac5->setText("G");
        child<QPushButton>(*form, "Rmac5Inc")->click();
        QCOMPARE(rmac5->text(), QString("G"));
        QCOMPARE(boxes.shown.size(), std::size_t(1));
        QCOMPARE(boxes.shown[0].caption, std::string("Error"));
        QCOMPARE(boxes.shown[0].text, std::string("'0xG' is not a valid integer value"));
    }

    void checkFailuresStartNothing()
    {
        auto form = makeForm();
        child<QLineEdit>(*form, "Amac3")->setText("4");
        child<QPushButton>(*form, "DownloadBtn")->click();
        QCOMPARE(boxes.shown.back().text, std::string("Invalid MAC Address"));
        child<QLineEdit>(*form, "Amac3")->setText("40");
        child<QLineEdit>(*form, "Amac2")->setText("G1");
        child<QPushButton>(*form, "VersionBtn")->click();
        QCOMPARE(boxes.shown.back().text, std::string("Invalid MAC Address"));
        QVERIFY(runner.calls.empty());

        interfaces.devices = {{"hl0", "veth hl0", ""}};
        interfaces.adapters = {};
        auto noIp = makeForm();
        child<QPushButton>(*noIp, "DownloadBtn")->setEnabled(true);
        child<QPushButton>(*noIp, "DownloadBtn")->click();
        QCOMPARE(boxes.shown.back().text, std::string("Can't get the Interface IP"));
        QVERIFY(runner.calls.empty());
    }

    void keyChord()
    {
        auto form = makeForm();
        auto* pe = child<QLineEdit>(*form, "PEEdit");
        auto* group = child<QGroupBox>(*form, "PEGroupBox");
        QTest::keyClick(pe, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(group->isHidden());
        QTest::keyClick(pe, Qt::Key_J, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
        QVERIFY(group->isHidden());
        QTest::keyClick(pe, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
        QVERIFY(!group->isHidden());
    }

    void buttonsDisabledDuringARun()
    {
        auto form = makeForm();
        auto* download = child<QPushButton>(*form, "DownloadBtn");
        int checked = 0;
        runner.effects["program_flash.sh"] = [&](const std::string&) {
            form->Timer1Timer();  // a tick while the child runs
            QVERIFY(form->procedureRunning());
            QVERIFY(!download->isEnabled());
            QVERIFY(!child<QPushButton>(*form, "VersionBtn")->isEnabled());
            QVERIFY(!child<QPushButton>(*form, "DiagBtn")->isEnabled());
            form->DownloadBtnClick();  // ignored: no second loader
            ++checked;
        };
        download->click();
        QCOMPARE(checked, 1);
        QCOMPARE(runner.steps(), (std::vector<std::string>{"connect", "program_flash.sh", "reset", "version.sh"}));
        QVERIFY(download->isEnabled());
        QCOMPARE(boxes.shown.back().text, std::string("Upgrade complete. Current Version is 1.3.2"));
        QVERIFY(child<QPlainTextEdit>(*form, "DiagMemo")->toPlainText().endsWith("Reset target :\nOk."));
        QVERIFY(child<QPlainTextEdit>(*form, "MemoUpgrade")->toPlainText().endsWith("1.3.2\nOk."));
    }

    void diagnosisFillsTheEdits()
    {
        runner.effects["per_test.sh"] = [](const std::string& dir) {
            writeFile(fs::path(dir) / "snr.tmp", "23.456789 0.00123 52");
        };
        auto form = makeForm();
        child<QLineEdit>(*form, "Rmac6")->setText("02");
        child<QPushButton>(*form, "DiagBtn")->click();
        QVERIFY(boxes.shown.empty());
        QCOMPARE(child<QLineEdit>(*form, "SNREdit")->text(), QString("23.45"));
        QCOMPARE(child<QLineEdit>(*form, "PEREdit")->text(), QString("0.001"));
        QCOMPARE(child<QLineEdit>(*form, "PEEdit")->text(), QString("52 (40Mpbs)"));
        QCOMPARE(runner.calls.back().argv[4], std::string("00-01-40-00-00-02"));
    }

    void macEntryMovesOnAndTakesWholeAddresses()
    {
        auto form = makeForm();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        auto texts = [&](const char* prefix) {
            QStringList t;
            for (int i = 1; i <= 6; ++i)
                t << child<QLineEdit>(*form, (std::string(prefix) + std::to_string(i)).c_str())->text();
            return t.join(' ');
        };
        // Keys go where the focus is, as from a keyboard or a scanner.
        auto type = [](const char* keys) {
            for (const char* k = keys; *k; ++k) QTest::keyClicks(QApplication::focusWidget(), QString(QChar(*k)));
        };
        auto* amac1 = child<QLineEdit>(*form, "Amac1");
        auto* amac3 = child<QLineEdit>(*form, "Amac3");

        // Typed by hand: the second character moves on, the next key replaces.
        amac1->setFocus();
        amac1->selectAll();
        type("0A");
        QCOMPARE(QApplication::focusWidget(), child<QLineEdit>(*form, "Amac2"));
        type("3f");
        QCOMPARE(texts("Amac"), QString("0A 3f 40 00 00 00"));

        // Scanned into the third field, with and without separators.
        const char* scans[] = {"0A3F71000007", "0a:3f:71:00:00:07", "0A-3F-71-00-00-07"};
        for (const char* scan : scans) {
            child<QLineEdit>(*form, "Amac2")->setText("99");
            QTest::mouseClick(amac3, Qt::LeftButton);
            amac3->selectAll();
            type(scan);
            QVERIFY2(texts("Amac") == QString("0A 3F 71 00 00 07"), qPrintable(texts("Amac") + " " + scan));
        }

        // Pasted into any field of another address.
        QGuiApplication::clipboard()->setText("0a-3f-71-00-00-08");
        auto* rmac5 = child<QLineEdit>(*form, "Rmac5");
        QTest::mouseClick(rmac5, Qt::LeftButton);
        QTest::keySequence(rmac5, QKeySequence::Paste);
        QCOMPARE(texts("Rmac"), QString("0A 3F 71 00 00 08"));
        QCOMPARE(texts("Lmac"), QString("00 01 40 00 00 00"));

        // Anything else is the field's own editing: two characters at most.
        QGuiApplication::clipboard()->setText("0A3F71");
        auto* lmac2 = child<QLineEdit>(*form, "Lmac2");
        QTest::mouseClick(lmac2, Qt::LeftButton);
        lmac2->selectAll();
        QTest::keySequence(lmac2, QKeySequence::Paste);
        QCOMPARE(texts("Lmac"), QString("00 0A 40 00 00 00"));
        QVERIFY(boxes.shown.empty());
    }

    void detailsPaneAndStatusBarDuringAStep()
    {
        const std::string reason = "hostlink: cannot capture on hl0: socket: Operation not permitted";
        runner.printed["connect"] = {"Connecting device: 00:01:40:00:00:01", reason};
        runner.printed["program_flash.sh"] = {"ERROR: flash programming failed"};
        auto form = makeForm();
        auto* details = child<QPlainTextEdit>(*form, "DetailsMemo");
        auto* status = child<QLabel>(*form, "StatusLabel");
        auto* busy = child<QProgressBar>(*form, "BusyBar");
        QVERIFY(details->isHidden());
        QVERIFY(busy->isHidden());
        bool seenRunning = false;
        runner.effects["program_flash.sh"] = [&](const std::string&) {
            seenRunning = !busy->isHidden() && status->text().startsWith("program_flash.sh running: ");
        };
        child<QPushButton>(*form, "DownloadBtn")->click();
        QVERIFY(seenRunning);
        QVERIFY(busy->isHidden());
        QVERIFY(status->text().startsWith("version.sh ended with status 0 after "));
        QCOMPARE(details->toPlainText(), QString::fromStdString("hostlink: Connecting device: 00:01:40:00:00:01\n" +
                                                                 reason + "\nprogram_flash.sh: ERROR: flash programming failed"));
        // The log is the procedure's own, line for line.
        QCOMPARE(child<QPlainTextEdit>(*form, "DiagMemo")->toPlainText(),
                 QString("-----------------------------------------------\nStart to upgrade 00-01-40-00-00-00\n"
                         "Check the necessary files:\nOk.\nConnect to target 00-01-40-00-00-00:\nOk.\n"
                         "start to upgrade :\nOk.\nReset target :\nOk."));
        child<QToolButton>(*form, "DetailsBtn")->click();
        QVERIFY(!details->isHidden());

        // A failed step: the loader's reason follows the failure line.
        runner.codes["connect"] = -5;
        child<QPushButton>(*form, "DownloadBtn")->click();
        QVERIFY(child<QPlainTextEdit>(*form, "DiagMemo")
                    ->toPlainText()
                    .endsWith(QString::fromStdString("Err: Can't connect to target 00-01-40-00-00-00\n" + reason)));
    }

    void exitWhenIdleAsksNothing()
    {
        auto form = makeForm();
        QSignalSpy quit(form.get(), &TMainForm::quitRequested);
        child<QPushButton>(*form, "ExitBtn")->click();
        QCOMPARE(quit.count(), 1);
        QVERIFY(boxes.shown.empty());
    }

    // Exit during program_flash.sh with the real runner: asked first; No lets
    // the upgrade finish, Yes stops the script and the loader it started (one
    // that ignores SIGTERM included) and leaves no process behind.
    void guardedExitStopsTheChildAndItsChildren()
    {
        QtProcessRunner real(1500);
        writeFile(base->root / "Tool/hostlink", "#!/bin/sh\nexit 0\n");
        fs::permissions(base->root / "Tool/hostlink", fs::perms::owner_all);
        writeFile(base->root / "Kernel/version.sh", "echo 1.3.2 > verinfo.txt\n");
        writeFile(base->root / "Kernel/program_flash.sh",
                  "trap '' TERM\n"
                  "echo $$ > script.pid\n"
                  "sh -c 'echo $$ > loader.pid; while :; do sleep 0.1; done' &\n"
                  "[ -f quick ] && { sleep 1; kill -KILL $!; exit 0; }\n"
                  "wait\n");
        const fs::path kernel = base->root / "Kernel";

        for (bool quit : {false, true}) {
            boxes.shown.clear();
            boxes.onAsk = [quit] { return quit; };
            if (!quit) writeFile(kernel / "quick", "");
            else fs::remove(kernel / "quick");
            TMainForm form(FormServices{interfaces, real, boxes, base->path()});
            QSignalSpy quitSignal(&form, &TMainForm::quitRequested);
            QTimer::singleShot(400, &form, [&] { child<QPushButton>(form, "ExitBtn")->click(); });
            child<QPushButton>(form, "DownloadBtn")->click();

            QVERIFY(!boxes.shown.empty());
            QVERIFY2(boxes.shown[0].text == "A device is being programmed. Quit anyway?", boxes.shown[0].text.c_str());
            const QString log = child<QPlainTextEdit>(form, "DiagMemo")->toPlainText();
            if (!quit) {
                QCOMPARE(quitSignal.count(), 0);
                QCOMPARE(boxes.shown.back().text, std::string("Upgrade complete. Current Version is 1.3.2"));
                continue;
            }
            QCOMPARE(quitSignal.count(), 1);
            QVERIFY2(log.contains("Quit: program_flash.sh stopped with SIGKILL (SIGTERM was not enough within 1 s)."),
                     qPrintable(log));
            QVERIFY(!log.contains("Reset target :"));
            QCOMPARE(boxes.shown.size(), std::size_t(1));  // no final box after quitting
            QVERIFY(!processAlive(firstLine(kernel / "script.pid")));
            QVERIFY(!processAlive(firstLine(kernel / "loader.pid")));
            QVERIFY(!fs::exists(base->root / "Tool/prm_NDX470.inf"));
        }
    }

    void closingTheWindowMidProcedureAsksToo()
    {
        auto form = makeForm();
        bool closedWhileBusy = true;
        runner.effects["program_flash.sh"] = [&](const std::string&) { closedWhileBusy = form->close(); };
        child<QPushButton>(*form, "DownloadBtn")->click();
        QVERIFY(!closedWhileBusy);
        QCOMPARE(boxes.shown.front().text, std::string("A device is being programmed. Quit anyway?"));
        QCOMPARE(boxes.shown.back().text, std::string("Upgrade complete. Current Version is 1.3.2"));
    }

    void screenshots()
    {
        const QByteArray dir = qgetenv("NDXUPGRADE_SCREENSHOT_DIR");
        if (dir.isEmpty()) QSKIP("NDXUPGRADE_SCREENSHOT_DIR not set");
        QDir().mkpath(QString::fromLocal8Bit(dir));
        runner.effects["per_test.sh"] = [](const std::string& d) {
            writeFile(fs::path(d) / "snr.tmp", "31.2504 0.0004 63");
        };
        runner.printed["connect"] = {"1.3.2", "link 1", "network mode 1"};
        runner.printed["program_flash.sh"] = {"binary image file redirected to file image.dat"};
        runner.printed["version.sh"] = {"1.3.2"};
        auto form = makeForm();
        form->resize(640, 760);
        form->show();
        // As the technician sees it after an upgrade and after a diagnosis,
        // with the Details pane open.
        child<QPushButton>(*form, "DownloadBtn")->click();
        child<QLineEdit>(*form, "Rmac6")->setText("02");
        child<QPushButton>(*form, "DiagBtn")->click();
        child<QToolButton>(*form, "DetailsBtn")->click();
        QVERIFY(form->grab().save(QString::fromLocal8Bit(dir) + "/ndxupgrade-upgrade.png"));
        auto* tabs = child<QTabWidget>(*form, "PageControl1");
        tabs->setTabVisible(1, true);
        tabs->setCurrentIndex(1);
        QVERIFY(form->grab().save(QString::fromLocal8Bit(dir) + "/ndxupgrade-diagnostic.png"));
    }

    void realRunnerReadsStatusesAsSigned()
    {
        QtProcessRunner real;
        const std::pair<const char*, int> cases[] = {
            {"exit 0", 0}, {"exit 3", 3}, {"exit 155", -101}, {"exit 255", -1}, {"kill -9 $$", -1}};
        const OutputLine ignore = [](const std::string&) {};
        for (auto [script, code] : cases) QCOMPARE(real.run({"/bin/sh", "-c", script}, "/", ignore), code);
        QCOMPARE(real.run({"/nonexistent/program"}, "/", ignore), -1);
        QCOMPARE(real.run({"/bin/sh", "-c", "pwd > out.txt"}, base->path(), ignore), 0);
        QCOMPARE(readFile(base->root / "out.txt"), fs::canonical(base->root).string() + "\n");
    }

    void realRunnerKeepsTheEventLoopRunning()
    {
        QtProcessRunner real;
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(20);
        QCOMPARE(real.run({"/bin/sh", "-c", "sleep 0.3"}, "/", [](const std::string&) {}), 0);
        QVERIFY(ticks >= 3);
    }

    void headlessDiagnosisEndsWithTheResults()
    {
        runner.effects["per_test.sh"] = [](const std::string& dir) {
            writeFile(fs::path(dir) / "snr.tmp", "23.456789 0.00123 52");
        };
        FakeInterfaces nics;
        RecordingMemo log;
        QCOMPARE(runHeadless(parseCommandLine({"--diagnose", "--local", "00-01-40-00-00-01", "--remote",
                                               "00:01:40:00:00:02"}),
                             base->path(), {nics, runner, boxes, log}),
                 0);
        QCOMPARE(log.lines.back(), std::string("SNR 23.45 PER 0.001 PE 52 (40Mpbs)"));
        QCOMPARE(runner.calls.back().argv[4], std::string("00-01-40-00-00-02"));
    }

    void headlessRefusesWhatTheWindowWouldRefuse()
    {
        const std::string mac = "00-01-40-00-00-01";
        const struct {
            std::vector<std::string> args;
            bool ready;
            int status;
            std::string last;
        } cases[] = {
            {{"--upgrade", "--mac", "00-01-40-00-00", "--interface", "hl0"}, true, 2,
             "ndxupgrade: not a MAC address: 00-01-40-00-00"},
            {{"--query-version", "--mac", mac, "--interface", "eth9"}, true, 1, "Err: interface eth9 is not listed."},
            {{"--query-version", "--mac", mac, "--interface", "hl0"}, false, 1,
             "Err: interface hl0 is not ready: <dynamic IP>:   ----  Not Ready"},
        };
        for (const auto& c : cases) {
            FakeInterfaces nics;
            if (!c.ready) nics.adapters = {{"hl0", "0.0.0.0", true}};
            RecordingMemo log;
            boxes.shown.clear();
            QCOMPARE(runHeadless(parseCommandLine(c.args), base->path(), {nics, runner, boxes, log}), c.status);
            QCOMPARE(boxes.shown.empty() ? log.lines.back() : boxes.shown.back().text, c.last);
        }
        QVERIFY(runner.calls.empty());
    }

    // A second procedure on a kit that one already uses starts nothing: the
    // window says so in a box, the headless mode on standard error.
    void kitInUseIsRefused()
    {
        const KitLock other(base->path());
        QVERIFY(other.held());
        const std::string refusal = "Another upgrade is running from this kit (process " +
                                    std::to_string(::getpid()) +
                                    "). Wait for it to end, or use batch mode for several devices.";
        auto form = makeForm();
        for (const char* button : {"DownloadBtn", "VersionBtn", "DiagBtn"}) {
            boxes.shown.clear();
            child<QPushButton>(*form, button)->click();
            QCOMPARE(boxes.shown.size(), std::size_t(1));
            QCOMPARE(boxes.shown[0].caption, std::string("Error"));
            QCOMPARE(boxes.shown[0].text, refusal);
            QVERIFY(boxes.shown[0].icon == BoxIcon::Error);
            QVERIFY(child<QPushButton>(*form, button)->isEnabled());
        }
        QVERIFY(child<QPlainTextEdit>(*form, "DiagMemo")->toPlainText().isEmpty());

        FakeInterfaces nics;
        RecordingMemo log, errors;
        boxes.shown.clear();
        HeadlessServices services{nics, runner, boxes, log};
        services.errors = &errors;
        QCOMPARE(runHeadless(parseCommandLine({"--upgrade", "--mac", "00-01-40-00-00-01", "--interface", "hl0"}),
                             base->path(), services),
                 1);
        QCOMPARE(errors.lines, std::vector<std::string>{refusal});
        QVERIFY(boxes.shown.empty());
        QVERIFY(runner.calls.empty());
        QVERIFY(!fs::exists(base->root / "Tool/prm_NDX470.inf"));
    }

    // The lock is the procedure's: taken at the click, given back at its end.
    void kitIsHeldWhileTheProcedureRuns()
    {
        auto form = makeForm();
        std::string seen = "not run";
        runner.effects["program_flash.sh"] = [&](const std::string&) { seen = KitLock(base->path()).refusal(); };
        child<QPushButton>(*form, "DownloadBtn")->click();
        QVERIFY2(seen.rfind("Another upgrade is running from this kit (process ", 0) == 0, seen.c_str());
        QVERIFY(KitLock(base->path()).held());
    }

    // A stop signal mid-procedure: the child is stopped, nothing more runs,
    // no box is shown, the plain parameter file goes, the log says what was
    // stopped, and the window closes. Idle, it closes at once.
    void stopSignalEndsTheWindow()
    {
        auto form = makeForm();
        QSignalSpy quit(form.get(), &TMainForm::quitRequested);
        bool plainFileThere = false;
        runner.effects["program_flash.sh"] = [&](const std::string& kernel) {
            plainFileThere = fs::exists(fs::path(kernel) / "../Tool/prm_NDX470.inf");
            form->stopBySignal(SIGTERM);
        };
        child<QPushButton>(*form, "DownloadBtn")->click();
        QVERIFY(plainFileThere);
        QCOMPARE(runner.steps(), (std::vector<std::string>{"connect", "program_flash.sh"}));
        QVERIFY(boxes.shown.empty());
        QVERIFY(!fs::exists(base->root / "Tool/prm_NDX470.inf"));
        const QStringList log = child<QPlainTextEdit>(*form, "DiagMemo")->toPlainText().split('\n');
        QCOMPARE(log.mid(log.indexOf("start to upgrade :") + 1),
                 QStringList{"Err: SIGTERM stopped the upgrade of 00-01-40-00-00-00 in stage program_flash.sh; the "
                             "flash may be half-programmed: upgrade the device again."});
        QCOMPARE(quit.count(), 1);
        QVERIFY(KitLock(base->path()).held());

        auto idle = makeForm();
        QSignalSpy idleQuit(idle.get(), &TMainForm::quitRequested);
        idle->stopBySignal(SIGHUP);
        QCOMPARE(idleQuit.count(), 1);
        QVERIFY(child<QPlainTextEdit>(*idle, "DiagMemo")->toPlainText().isEmpty());
    }

    // The same headless: the steps the stop ended are no failures of their
    // own, the last line tells the stop, and the status is 128 + the signal.
    void stopSignalEndsTheHeadlessRun()
    {
        const struct {
            std::vector<std::string> args;
            const char* stoppedStep;
            int signalNumber;
            std::vector<std::string> steps;
            std::string last;
        } cases[] = {
            {{"--upgrade", "--mac", "00-01-40-00-00-01", "--interface", "hl0"}, "connect", SIGINT, {"connect"},
             "Err: SIGINT stopped the upgrade of 00-01-40-00-00-01 in stage connect; the flash may be "
             "half-programmed: upgrade the device again."},
            {{"--upgrade", "--mac", "00-01-40-00-00-01", "--interface", "hl0"}, "reset", SIGTERM,
             {"connect", "program_flash.sh", "reset"},
             "Err: SIGTERM stopped the upgrade of 00-01-40-00-00-01 in stage reset; the flash may be "
             "half-programmed: upgrade the device again."},
            {{"--query-version", "--mac", "00-01-40-00-00-01", "--interface", "hl0"}, "version.sh", SIGHUP,
             {"version.sh"}, "Err: SIGHUP stopped the version query of 00-01-40-00-00-01 in stage version query."},
        };
        for (const auto& c : cases) {
            runner = ScriptedRunner();
            boxes.shown.clear();
            int caught = 0;
            runner.effects[c.stoppedStep] = [&](const std::string&) {
                caught = c.signalNumber;
                runner.shutDown();
            };
            FakeInterfaces nics;
            RecordingMemo log, hints;
            HeadlessServices services{nics, runner, boxes, log};
            services.failureHints = &hints;
            services.stopSignal = [&] { return caught; };
            QCOMPARE(runHeadless(parseCommandLine(c.args), base->path(), services), 128 + c.signalNumber);
            QCOMPARE(runner.steps(), c.steps);
            QCOMPARE(log.lines.back(), c.last);
            for (const std::string& line : log.lines) QVERIFY2(line.rfind("Err: ", 0) != 0 || line == c.last, line.c_str());
            QVERIFY(boxes.shown.empty());
            QVERIFY(hints.lines.empty());
            QVERIFY(!fs::exists(base->root / "Tool/prm_NDX470.inf"));
        }
    }
};

}  // namespace ndx

QTEST_MAIN(ndx::FormTest)
#include "form_test.moc"
