// The window on the offscreen platform, the real process runner and the
// headless mode against stand-in scripts.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include "fakes.h"
#include "form/main_form.h"
#include "headless.h"
#include "platform/qt_process_runner.h"

namespace ndx {
namespace {

using namespace test;
namespace fs = std::filesystem;

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

    void screenshots()
    {
        const QByteArray dir = qgetenv("NDXUPGRADE_SCREENSHOT_DIR");
        if (dir.isEmpty()) QSKIP("NDXUPGRADE_SCREENSHOT_DIR not set");
        QDir().mkpath(QString::fromLocal8Bit(dir));
        runner.effects["per_test.sh"] = [](const std::string& d) {
            writeFile(fs::path(d) / "snr.tmp", "31.2504 0.0004 63");
        };
        auto form = makeForm();
        form->resize(640, 560);
        form->show();
        // As the technician sees it after an upgrade and after a diagnosis.
        child<QPushButton>(*form, "DownloadBtn")->click();
        child<QLineEdit>(*form, "Rmac6")->setText("02");
        child<QPushButton>(*form, "DiagBtn")->click();
        auto* tabs = child<QTabWidget>(*form, "PageControl1");
        QVERIFY(tabs->grab().save(QString::fromLocal8Bit(dir) + "/ndxupgrade-upgrade.png"));
        tabs->setTabVisible(1, true);
        tabs->setCurrentIndex(1);
        QVERIFY(tabs->grab().save(QString::fromLocal8Bit(dir) + "/ndxupgrade-diagnostic.png"));
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
            std::string last;
        } cases[] = {
            {{"--upgrade", "--mac", "00-01-40-00-00", "--interface", "hl0"}, true, "Invalid MAC Address"},
            {{"--query-version", "--mac", mac, "--interface", "eth9"}, true, "Err: interface eth9 is not listed."},
            {{"--query-version", "--mac", mac, "--interface", "hl0"}, false,
             "Err: interface hl0 is not ready: <dynamic IP>:   ----  Not Ready"},
        };
        for (const auto& c : cases) {
            FakeInterfaces nics;
            if (!c.ready) nics.adapters = {{"hl0", "0.0.0.0", true}};
            RecordingMemo log;
            boxes.shown.clear();
            QCOMPARE(runHeadless(parseCommandLine(c.args), base->path(), {nics, runner, boxes, log}), 1);
            QCOMPARE(boxes.shown.empty() ? log.lines.back() : boxes.shown.back().text, c.last);
        }
        QVERIFY(runner.calls.empty());
    }
};

}  // namespace ndx

QTEST_MAIN(ndx::FormTest)
#include "form_test.moc"
