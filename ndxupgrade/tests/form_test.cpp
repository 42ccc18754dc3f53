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
#include <QRegularExpression>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <signal.h>

#include <fstream>

#include "core/next_step.h"
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

const char* const kQuitQuestion =
    "A device is being programmed. Stopping now may leave its flash half-programmed. Quit anyway?";

// The line at the bottom of what the memo shows (its last line when the
// text ends above the bottom).
QString lastShownLine(QPlainTextEdit* memo)
{
    return memo->cursorForPosition(QPoint(1, memo->viewport()->height() - 2)).block().text();
}

QString firstShownLine(QPlainTextEdit* memo)
{
    return memo->cursorForPosition(QPoint(1, 1)).block().text();
}

QString lastLines(QPlainTextEdit* memo, int count)
{
    return memo->toPlainText().split('\n').mid(std::max<qsizetype>(0, memo->blockCount() - count)).join('\n');
}

QString joined(const std::vector<std::string>& lines)
{
    QStringList list;
    for (const std::string& line : lines) list << QString::fromStdString(line);
    return list.join('\n');
}

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
    std::string selection;  // what a middle-click pastes
    // The user's settings, here and nowhere else.
    QTemporaryDir settingsDir;

    FormServices services()
    {
        return {interfaces, runner, boxes, base->path(), "", false, false, [this] { return selection; }};
    }

    std::unique_ptr<TMainForm> makeForm() { return std::make_unique<TMainForm>(services()); }

    std::unique_ptr<TMainForm> shownForm(int width = 640, int height = 760)
    {
        auto form = makeForm();
        form->resize(width, height);
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get())) qFatal("the window is not shown");
        return form;
    }

    // A fresh kit and runner, each device answering with version 1.3.2.
    void freshRun()
    {
        runner = ScriptedRunner();
        base = std::make_unique<TempBase>();
        runner.effects["version.sh"] = [](const std::string& dir) {
            writeFile(fs::path(dir) / "verinfo.txt", "1.3.2\n");
        };
    }

private slots:
    void initTestCase()
    {
        QVERIFY(settingsDir.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    }

    void init()
    {
        interfaces = FakeInterfaces();
        boxes.shown.clear();
        boxes.onAsk = nullptr;
        boxes.onShow = nullptr;
        selection.clear();
        QSettings(QSettings::IniFormat, QSettings::UserScope, "Talvenrick", "ndxupgrade").clear();
        freshRun();
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
        QCOMPARE(runner.steps(), (std::vector<std::string>{"connect", "backup", "program_flash.sh", "reset", "version.sh"}));
        QVERIFY(download->isEnabled());
        QCOMPARE(boxes.shown.back().text, std::string("Upgrade complete. Current Version is 1.3.2"));
        QVERIFY(child<QPlainTextEdit>(*form, "DiagMemo")->toPlainText().endsWith("Reset target :\nOk.\nCurrent version: 1.3.2"));
        QVERIFY(child<QPlainTextEdit>(*form, "MemoUpgrade")->toPlainText().endsWith("1.3.2\nOk."));
    }

    // Find asks the wire instead of the label: several devices go into the
    // drop-down under the fields, one fills them at once, none leaves them.
    void findFillsTheFields()
    {
        auto form = makeForm();
        auto* find = child<QPushButton>(*form, "FindBtn");
        auto* found = child<QComboBox>(*form, "FoundSelect");
        auto* log = child<QPlainTextEdit>(*form, "DiagMemo");
        auto* status = child<QLabel>(*form, "StatusLabel");
        auto fields = [&] {
            QStringList texts;
            for (int i = 1; i <= 6; ++i) texts << child<QLineEdit>(*form, qPrintable(QString("Amac%1").arg(i)))->text();
            return texts.join('-');
        };
        QVERIFY(find->isEnabled());
        QVERIFY(found->isHidden());
        QCOMPARE(find->toolTip(), QString("find the devices on the wire"));
        // No MAC needed: a field that does not read as hex stops nothing.
        child<QLineEdit>(*form, "Amac6")->setText("zz");

        runner.printed["find"] = {"device 0a:3f:71:00:00:11", "device 0a:3f:71:00:00:12", "device 0a:3f:71:00:00:13",
                                  "found 3 device(s)"};
        bool disabledDuring = false;
        runner.effects["find"] = [&](const std::string&) {
            form->Timer1Timer();
            disabledDuring = form->procedureRunning() && !find->isEnabled() &&
                             !child<QPushButton>(*form, "DownloadBtn")->isEnabled() &&
                             !child<QPushButton>(*form, "VersionBtn")->isEnabled();
        };
        find->click();
        QVERIFY(disabledDuring);
        QVERIFY(find->isEnabled());
        QVERIFY(boxes.shown.empty());
        QCOMPARE(runner.calls.back().argv,
                 (std::vector<std::string>{base->path() + "/Tool/hostlink", "-M", "0A-3F-71-00-00-01", "-a",
                                           "192.0.2.2", "-s", "Tool/find.txt"}));
        QVERIFY(!found->isHidden());
        QCOMPARE(found->count(), 3);
        QCOMPARE(found->itemText(2), QString("0A-3F-71-00-00-13"));
        QCOMPARE(found->currentIndex(), -1);
        QCOMPARE(fields(), QString("00-01-40-00-00-zz"));  // nothing picked yet
        QVERIFY2(log->toPlainText().endsWith("Find the devices on the wire:\nFound 3 devices.\n"
                                             "Pick the target under the MAC fields."),
                 qPrintable(log->toPlainText()));
        QCOMPARE(status->text(), QString("Found 3 devices on hl0"));
        found->setCurrentIndex(1);
        QCOMPARE(fields(), QString("0A-3F-71-00-00-12"));

        runner.printed["find"] = {"device 02:00:00:00:00:2a", "found 1 device(s)"};
        find->click();
        QCOMPARE(fields(), QString("02-00-00-00-00-2A"));
        QCOMPARE(found->count(), 1);
        QVERIFY(log->toPlainText().endsWith("Found 1 device.\nTarget MAC: 02-00-00-00-00-2A"));
        QCOMPARE(status->text(), QString("Found 1 device on hl0"));
        // What was found is what the next step works on.
        child<QPushButton>(*form, "VersionBtn")->click();
        QCOMPARE(runner.calls.back().argv.back(), std::string("02-00-00-00-00-2A"));

        boxes.shown.clear();
        runner.printed["find"] = {"found 0 device(s)"};
        runner.codes["find"] = -3;
        find->click();
        QCOMPARE(fields(), QString("02-00-00-00-00-2A"));
        QVERIFY(found->isHidden());
        QVERIFY2(log->toPlainText().endsWith(QString("Err: no device answered.\n") +
                                             QString::fromStdString(nextStepLine("find devices"))),
                 qPrintable(log->toPlainText()));
        QCOMPARE(status->text(), QString("No device answered on hl0"));
        QVERIFY(boxes.shown.empty());
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

        // A middle-click pastes the selection; a whole address fills all six.
        selection = "0A-22-33-44-55-66";
        QTest::mouseClick(amac1, Qt::MiddleButton);
        QCOMPARE(texts("Amac"), QString("0A 22 33 44 55 66"));

        // A scanner types the address and ends with Enter.
        auto* amac4 = child<QLineEdit>(*form, "Amac4");
        QTest::mouseClick(amac4, Qt::LeftButton);
        amac4->selectAll();
        type("0A3F71000009");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(texts("Amac"), QString("0A 3F 71 00 00 09"));
        QVERIFY(boxes.shown.empty());
        QVERIFY(runner.calls.empty());
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
        QVERIFY(status->text().startsWith("Upgraded 00-01-40-00-00-00 to 1.3.2 in "));
        QCOMPARE(lastLines(details, 3),
                 QString::fromStdString("hostlink: Connecting device: 00:01:40:00:00:01\n" + reason +
                                        "\nprogram_flash.sh: ERROR: flash programming failed"));
        // The log is the procedure's own, line for line, and the version.
        QCOMPARE(child<QPlainTextEdit>(*form, "DiagMemo")->toPlainText(),
                 QString("-----------------------------------------------\nStart to upgrade 00-01-40-00-00-00\n"
                         "Check the necessary files:\nOk.\nConnect to target 00-01-40-00-00-00:\nOk.\n"
                         "Back up target :\nOk.\nstart to upgrade :\nOk.\nReset target :\nOk.\nCurrent version: 1.3.2"));
        child<QToolButton>(*form, "DetailsBtn")->click();
        QVERIFY(!details->isHidden());

        // A failed step: the loader's reason follows the failure line.
        runner.codes["connect"] = -5;
        child<QPushButton>(*form, "DownloadBtn")->click();
        QCOMPARE(lastLines(child<QPlainTextEdit>(*form, "DiagMemo"), 3),
                 QString::fromStdString("Err: Can't connect to target 00-01-40-00-00-00\n" + reason + "\n" +
                                        nextStepLine("connect")));
    }

    // The log and Details keep their newest line in view run after run,
    // while the final box is up too, unless the user has scrolled up to read.
    // The window shrinks during a step, as when the busy bar comes up or the
    // user drags its edge: the newest line must stay in view all the same.
    void logsFollowTheNewestLine()
    {
        for (int height : {700, 713, 726}) {
            freshRun();
            runner.printed["connect"] = std::vector<std::string>(6, "waiting for the device");
            runner.printed["version.sh"] = {"1.3.2 read"};
            auto form = shownForm(640, height);
            runner.effects["program_flash.sh"] = [&](const std::string&) {
                form->resize(640, form->height() - 9);
                QTest::qWait(10);
            };
            child<QToolButton>(*form, "DetailsBtn")->click();
            auto* log = child<QPlainTextEdit>(*form, "DiagMemo");
            auto* details = child<QPlainTextEdit>(*form, "DetailsMemo");
            auto* download = child<QPushButton>(*form, "DownloadBtn");
            QString logAtBox, detailsAtBox;
            boxes.onShow = [&](const ShownBox&) {
                logAtBox = lastShownLine(log);
                detailsAtBox = lastShownLine(details);
            };
            download->click();
            download->click();
            QCOMPARE(logAtBox, QString("Current version: 1.3.2"));
            QCOMPARE(lastShownLine(log), QString("Current version: 1.3.2"));
            QCOMPARE(detailsAtBox, QString("version.sh: 1.3.2 read"));

            // A failed run after successful ones: its lines are what shows.
            runner.codes["connect"] = -5;
            download->click();
            const QString connectNext = QString::fromStdString(nextStepLine("connect"));
            QVERIFY(log->verticalScrollBar()->maximum() > 0);
            QCOMPARE(logAtBox, connectNext);
            QCOMPARE(lastShownLine(log), connectNext);
            QCOMPARE(detailsAtBox, QString("hostlink: waiting for the device"));

            // Scrolled up to read: the view stays for the next run's lines.
            log->verticalScrollBar()->setValue(0);
            details->verticalScrollBar()->setValue(0);
            const QString detailsTop = firstShownLine(details);
            download->click();
            QCOMPARE(log->verticalScrollBar()->value(), 0);
            QCOMPARE(firstShownLine(log), QString("-----------------------------------------------"));
            QCOMPARE(firstShownLine(details), detailsTop);

            // Back at the end: followed again.
            log->verticalScrollBar()->setValue(log->verticalScrollBar()->maximum());
            details->verticalScrollBar()->setValue(details->verticalScrollBar()->maximum());
            runner.codes["connect"] = 0;
            download->click();
            QCOMPARE(lastShownLine(log), QString("Current version: 1.3.2"));
            QCOMPARE(lastShownLine(details), QString("version.sh: 1.3.2 read"));
        }
    }

    // Each run opens in Details with its time, action and MAC; when it ends,
    // the status bar tells its outcome in words and colour until the next
    // run starts, while the final box is up already.
    void separatorAndOutcome()
    {
        runner.effects["version.sh"] = [](const std::string& dir) {
            writeFile(fs::path(dir) / "verinfo.txt", "1.4.7\n");
        };
        runner.effects["program_flash.sh"] = [](const std::string&) { QTest::qSleep(600); };
        runner.effects["per_test.sh"] = [](const std::string& dir) {
            writeFile(fs::path(dir) / "snr.tmp", "23.456789 0.00123 52");
        };
        auto form = makeForm();
        auto* status = child<QLabel>(*form, "StatusLabel");
        auto* details = child<QPlainTextEdit>(*form, "DetailsMemo");
        auto* log = child<QPlainTextEdit>(*form, "DiagMemo");
        auto colour = [&] { return status->palette().color(QPalette::WindowText); };
        QString statusAtBox;
        boxes.onShow = [&](const ShownBox&) { statusAtBox = status->text(); };

        child<QPushButton>(*form, "DownloadBtn")->click();
        const QRegularExpression upgraded("^Upgraded 00-01-40-00-00-00 to 1\\.4\\.7 in (\\d+) s$");
        const QRegularExpressionMatch match = upgraded.match(status->text());
        QVERIFY2(match.hasMatch(), qPrintable(status->text()));
        QVERIFY(match.captured(1).toInt() >= 1);  // the 0.6 s step was measured
        QCOMPARE(statusAtBox, status->text());
        QCOMPARE(colour(), QColor(0, 128, 0));
        QVERIFY(log->toPlainText().endsWith("Reset target :\nOk.\nCurrent version: 1.4.7"));
        QVERIFY(QRegularExpression("^── \\d\\d:\\d\\d:\\d\\d  Upgrade 00-01-40-00-00-00 ──$")
                    .match(details->document()->firstBlock().text())
                    .hasMatch());
        QCOMPARE(details->blockCount(), 1);

        // The next run starts without the old outcome.
        runner.effects.erase("program_flash.sh");
        QString statusDuringRun;
        QColor colourDuringRun;
        runner.effects["connect"] = [&](const std::string&) {
            statusDuringRun = status->text();
            colourDuringRun = colour();
        };
        runner.codes["program_flash.sh"] = -105;
        child<QPushButton>(*form, "DownloadBtn")->click();
        QVERIFY2(statusDuringRun.startsWith("hostlink running: "), qPrintable(statusDuringRun));
        QCOMPARE(colourDuringRun, QLabel().palette().color(QPalette::WindowText));
        QCOMPARE(status->text(), QString("Upgrade of 00-01-40-00-00-00 failed at flash programming"));
        QCOMPARE(statusAtBox, status->text());
        QCOMPARE(colour(), QColor(200, 0, 0));
        QCOMPARE(details->blockCount(), 2);

        child<QPushButton>(*form, "VersionBtn")->click();
        QVERIFY(QRegularExpression("^Version of 00-01-40-00-00-00: 1\\.4\\.7 \\(read in \\d+ s\\)$")
                    .match(status->text())
                    .hasMatch());
        QCOMPARE(colour(), QColor(0, 128, 0));
        QVERIFY(QRegularExpression("^── \\d\\d:\\d\\d:\\d\\d  Get Version 00-01-40-00-00-00 ──$")
                    .match(details->document()->lastBlock().text())
                    .hasMatch());

        child<QLineEdit>(*form, "Rmac6")->setText("02");
        child<QPushButton>(*form, "DiagBtn")->click();
        QVERIFY2(QRegularExpression("^Diagnosed 00-01-40-00-00-00 to 00-01-40-00-00-02 in \\d+ s: SNR 23\\.45, PER "
                                    "0\\.001, PE 52 \\(40Mpbs\\)$")
                     .match(status->text())
                     .hasMatch(),
                 qPrintable(status->text()));
        QVERIFY(QRegularExpression("^── \\d\\d:\\d\\d:\\d\\d  Diagnose 00-01-40-00-00-00 to 00-01-40-00-00-02 ──$")
                    .match(details->document()->lastBlock().text())
                    .hasMatch());

        // Only what snr.tmp supplied is told; the edits' zeros were not measured.
        runner.effects["per_test.sh"] = [](const std::string& dir) { writeFile(fs::path(dir) / "snr.tmp", "18.5"); };
        child<QPushButton>(*form, "DiagBtn")->click();
        QVERIFY2(QRegularExpression("^Diagnosed 00-01-40-00-00-00 to 00-01-40-00-00-02 in \\d+ s: SNR 18\\.5$")
                     .match(status->text())
                     .hasMatch(),
                 qPrintable(status->text()));
        QCOMPARE(child<QLineEdit>(*form, "PEREdit")->text(), QString("0"));

        // No parameter file at all: the click ends before any log line.
        fs::remove(base->root / "Tool/prm_NDX470.dat");
        const QString logBefore = log->toPlainText();
        child<QPushButton>(*form, "DownloadBtn")->click();
        QCOMPARE(status->text(),
                 QString("Upgrade of 00-01-40-00-00-00 did not start: the parameter file could not be prepared"));
        QCOMPARE(colour(), QColor(200, 0, 0));
        QCOMPARE(log->toPlainText(), logBefore);
    }

    // A failed step ends the log with the line that says what to check for
    // that step, after the loader's own reason, before the final box.
    void nextStepLineByFailingStep()
    {
        const std::string capture = "hostlink: cannot capture on hl0: socket: Operation not permitted";
        using Arrange = std::function<void(ScriptedRunner&, const fs::path& root)>;
        auto code = [](const char* step, int value) -> Arrange {
            return [=](ScriptedRunner& r, const fs::path&) { r.codes[step] = value; };
        };
        const struct {
            const char* button;
            Arrange arrange;
            const char* stage;
            std::vector<std::string> lines;  // before the next-step line
        } cases[] = {
            {"DownloadBtn", [](ScriptedRunner&, const fs::path& root) { fs::remove(root / "Tool/reset.txt"); },
             "kit files", {"Err: Can't find Tool\\reset.txt file."}},
            {"DownloadBtn",
             [&](ScriptedRunner& r, const fs::path&) {
                 r.codes["connect"] = -5;
                 r.printed["connect"] = {capture};
             },
             "connect", {"Err: Can't connect to target 00-01-40-00-00-00", capture}},
            {"DownloadBtn", code("program_flash.sh", -1), "program_flash.sh",
             {"Err: can't run program_flash.bat", "Err: upgrade fail."}},
            {"DownloadBtn", code("program_flash.sh", -7), "program_flash.sh", {"start to upgrade :", "Err: upgrade fail."}},
            {"DownloadBtn", code("program_flash.sh", -101), "program_flash.sh input",
             {"Err: invalid input of program_flash.bat.", "Err: upgrade fail."}},
            {"DownloadBtn", code("program_flash.sh", -102), "parameter compiler",
             {"Err: failed to process parameters of tabgen.exe", "Err: upgrade fail."}},
            {"DownloadBtn", code("program_flash.sh", -103), "parameter file",
             {"Err: prm.inf not found.", "Err: upgrade fail."}},
            {"DownloadBtn", code("program_flash.sh", -104), "image generation",
             {"Err: image generation failed.", "Err: upgrade fail."}},
            {"DownloadBtn", code("program_flash.sh", -105), "flash programming",
             {"Err: flash programming failed.", "Err: upgrade fail."}},
            {"DownloadBtn", code("reset", -3), "reset", {"Err: Can't reset target"}},
            // The version lines go to the hidden memo; the log names the step.
            {"DownloadBtn", code("version.sh", -1), "version query", {"Reset target :", "Ok."}},
            {"VersionBtn", code("version.sh", -1), "version query", {}},
            {"DiagBtn",
             [&](ScriptedRunner& r, const fs::path&) {
                 r.codes["connect"] = -5;
                 r.printed["connect"] = {capture};
             },
             "connect (local device)", {capture}},
            {"DiagBtn",
             [](ScriptedRunner& r, const fs::path&) {
                 r.effects["version.sh"] = [](const std::string& dir) {
                     writeFile(fs::path(dir) / "verinfo.txt", "0.0.1\n");
                 };
             },
             "firmware version", {}},
            {"DiagBtn", [](ScriptedRunner&, const fs::path&) {}, "link test (remote device)", {}},
        };
        for (const auto& c : cases) {
            freshRun();
            boxes.shown.clear();
            c.arrange(runner, base->root);
            auto form = makeForm();
            child<QLineEdit>(*form, "Rmac6")->setText("02");
            const bool diagnosis = std::string(c.button) == "DiagBtn";
            auto* log = child<QPlainTextEdit>(*form, diagnosis ? "DetailsMemo" : "DiagMemo");
            QString logAtBox;
            boxes.onShow = [&](const ShownBox&) { logAtBox = log->toPlainText(); };
            child<QPushButton>(*form, c.button)->click();

            const std::string next = nextStepLine(c.stage);
            QVERIFY2(next.rfind("Next step: ", 0) == 0, c.stage);
            std::vector<std::string> expected = c.lines;
            expected.push_back(next);
            const int count = static_cast<int>(expected.size());
            QVERIFY2(lastLines(log, count) == joined(expected), qPrintable(QString(c.stage) + ":\n" + log->toPlainText()));
            QVERIFY2(logAtBox == log->toPlainText(), c.stage);
            const QString status = child<QLabel>(*form, "StatusLabel")->text();
            const QString mac = "00-01-40-00-00-00";
            const QString expectedStatus =
                std::string(c.button) == "VersionBtn" ? "Version query of " + mac + " failed"
                : diagnosis ? "Diagnosis of " + mac + " to 00-01-40-00-00-02 failed at " + c.stage
                            : "Upgrade of " + mac + " failed at " + c.stage;
            QCOMPARE(status, expectedStatus);
        }
    }

    // The last interface and target MAC used come back at the next start;
    // an interface no longer listed gives way to item 0.
    void remembersTheLastInterfaceAndMac()
    {
        interfaces.devices = {{"hl0", "veth hl0", "192.0.2.2"}, {"hl1", "veth hl1", "192.0.2.3"}};
        interfaces.adapters = {{"hl0", "192.0.2.2", false}, {"hl1", "192.0.2.3", false}};
        auto amacTexts = [&](TMainForm& form) {
            QStringList t;
            for (int i = 1; i <= 6; ++i) t << child<QLineEdit>(form, ("Amac" + std::to_string(i)).c_str())->text();
            return t.join(' ');
        };
        {
            auto form = makeForm();
            auto* combo = child<QComboBox>(*form, "IFSelectUpgrade");
            QCOMPARE(combo->currentIndex(), 0);
            combo->setCurrentIndex(1);
            const char* mac[] = {"0a", "3F", "71", "00", "00", "07"};
            for (int i = 0; i < 6; ++i)
                child<QLineEdit>(*form, ("Amac" + std::to_string(i + 1)).c_str())->setText(mac[i]);
            child<QPushButton>(*form, "VersionBtn")->click();
            // A click whose inputs check fails is not a choice used.
            child<QLineEdit>(*form, "Amac3")->setText("7");
            combo->setCurrentIndex(0);
            child<QPushButton>(*form, "DownloadBtn")->click();
            QCOMPARE(boxes.shown.back().text, std::string("Invalid MAC Address"));
        }
        QVERIFY(QFile::exists(settingsDir.filePath("Talvenrick/ndxupgrade.ini")));
        {
            auto form = makeForm();
            QCOMPARE(child<QComboBox>(*form, "IFSelectUpgrade")->currentIndex(), 1);
            QCOMPARE(child<QLabel>(*form, "IFStatusUpgrade")->text(), QString(" <fixed IP>: 192.0.2.3"));
            QCOMPARE(child<QComboBox>(*form, "IFSelectDiag")->currentIndex(), 0);
            QCOMPARE(amacTexts(*form), QString("0A 3F 71 00 00 07"));
            child<QPushButton>(*form, "VersionBtn")->click();
            QCOMPARE(runner.calls.back().argv[2], std::string("192.0.2.3"));
        }
        interfaces.devices = {{"hl0", "veth hl0", "192.0.2.2"}};
        {
            auto form = makeForm();
            QCOMPARE(child<QComboBox>(*form, "IFSelectUpgrade")->currentIndex(), 0);
            QCOMPARE(amacTexts(*form), QString("0A 3F 71 00 00 07"));
        }
    }

    // Details under the log in a splitter, wrapped; the log keeps twelve
    // lines in view; the MAC fields keep their size in any window.
    void layoutKeepsTheLogReadable()
    {
        auto form = shownForm(640, 600);
        auto* log = child<QPlainTextEdit>(*form, "DiagMemo");
        auto* details = child<QPlainTextEdit>(*form, "DetailsMemo");
        auto* splitter = child<QSplitter>(*form, "LogSplitter");
        auto logLines = [&] { return log->viewport()->height() / log->fontMetrics().lineSpacing(); };
        child<QToolButton>(*form, "DetailsBtn")->click();
        QTest::qWait(50);
        QVERIFY2(logLines() >= 12, qPrintable(QString::number(logLines())));
        QVERIFY(details->height() > 3 * details->fontMetrics().lineSpacing());
        QCOMPARE(details->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QCOMPARE(splitter->widget(0), child<QTabWidget>(*form, "PageControl1"));
        QVERIFY(splitter->widget(1)->isAncestorOf(details));
        splitter->setSizes({1, 10000});
        QTest::qWait(50);
        QVERIFY2(logLines() >= 12, qPrintable(QString::number(logLines())));

        auto fields = [&] {
            QList<int> geometry;
            for (const char* name : {"Amac1", "Amac2", "Amac6"})
                geometry << child<QLineEdit>(*form, name)->x() << child<QLineEdit>(*form, name)->width();
            geometry << child<QPushButton>(*form, "Amac6Inc")->x() - child<QPushButton>(*form, "Amac5Inc")->x();
            return geometry;
        };
        const QList<int> small = fields();
        form->resize(1400, 900);
        QTest::qWait(50);
        QCOMPARE(fields(), small);
    }

    // A disabled button says why in its tooltip, after its hint.
    void disabledButtonsSayWhy()
    {
        const QString notReady = "start to download\nDisabled: the interface chosen is not ready; it needs an IPv4 address.";
        const struct {
            std::vector<CaptureDevice> devices;
            std::vector<Adapter> adapters;
            QString download, version;
        } cases[] = {
            {{{"hl0", "veth hl0", "192.0.2.2"}}, {{"hl0", "192.0.2.2", false}}, "start to download",
             "get target's current version"},
            {{{"hl0", "veth hl0", ""}}, {{"hl0", "0.0.0.0", true}}, notReady,
             "get target's current version\nDisabled: the interface chosen is not ready; it needs an IPv4 address."},
            {{}, {}, "start to download\nDisabled: no interface is listed.",
             "get target's current version\nDisabled: no interface is listed."},
        };
        for (const auto& c : cases) {
            interfaces.devices = c.devices;
            interfaces.adapters = c.adapters;
            auto form = makeForm();
            QCOMPARE(child<QPushButton>(*form, "DownloadBtn")->toolTip(), c.download);
            QCOMPARE(child<QPushButton>(*form, "VersionBtn")->toolTip(), c.version);
            QCOMPARE(child<QPushButton>(*form, "DownloadBtn")->isEnabled(), c.download == "start to download");
        }
        interfaces = FakeInterfaces();
        auto form = makeForm();
        QString duringRun;
        runner.effects["connect"] = [&](const std::string&) {
            form->Timer1Timer();
            duringRun = child<QPushButton>(*form, "DiagBtn")->toolTip();
        };
        child<QPushButton>(*form, "DownloadBtn")->click();
        QCOMPARE(duringRun, QString("start to download\nDisabled while a step is running."));
        QCOMPARE(child<QPushButton>(*form, "DiagBtn")->toolTip(), QString("start to download"));
    }

    // --diagnostic-page shows the hidden page; a refreshed kit copy's notes
    // reach the log once.
    void startUpOptions()
    {
        const std::string note = "ndxupgrade: base directory /k (your working copy of /usr/share/k; refreshed from "
                                 "it now)\nndxupgrade: kept your own Tool/connect.txt; the installed kit's new one "
                                 "is Tool/connect.txt.new";
        for (bool refreshed : {false, true}) {
            FormServices s = services();
            s.baseNote = note;
            s.copyRefreshed = refreshed;
            s.diagnosticPage = refreshed;
            TMainForm form(s);
            QCOMPARE(child<QTabWidget>(form, "PageControl1")->isTabVisible(1), refreshed);
            QCOMPARE(child<QPlainTextEdit>(form, "DiagMemo")->toPlainText(),
                     refreshed ? QString::fromStdString(note) : QString());
            QCOMPARE(child<QPlainTextEdit>(form, "DetailsMemo")->toPlainText(), QString::fromStdString(note));
        }
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
        // As the loader: the backup script leaves the image in Kernel/.
        writeFile(base->root / "Tool/hostlink",
                  "#!/bin/sh\ncase \"$*\" in *backup.txt) head -c 428 /dev/zero > backup.bin ;; esac\nexit 0\n");
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
            QVERIFY2(boxes.shown[0].text == kQuitQuestion, boxes.shown[0].text.c_str());
            QCOMPARE(boxes.shown[0].caption, std::string("Confirm"));
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
            // SIGKILL to the group is not waited for: on a loaded machine the
            // loader may take a moment to go.
            QTRY_VERIFY_WITH_TIMEOUT(!processAlive(firstLine(kernel / "loader.pid")), 3000);
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
        QCOMPARE(boxes.shown.front().text, std::string(kQuitQuestion));
        QCOMPARE(boxes.shown.back().text, std::string("Upgrade complete. Current Version is 1.3.2"));
    }

    // The guides' pictures, made by the window itself (`make screenshots`
    // copies them into docs/): at start, during an upgrade with Details open,
    // after a success, after a failure with its next step, and the
    // Diagnostic page that --diagnostic-page shows. The children's lines are
    // those the kit's programs print against an emulated device.
    // Every run leaves its record: the History page lists them (only the
    // typed device's once a whole address is in the fields), shows the
    // selected one's log, and exports an upgrade's backup. A shared
    // database that cannot be reached is said once in the log; the records
    // wait on this PC.
    void historyPageRecordsEachRun()
    {
        QTemporaryDir state;
        qputenv("XDG_STATE_HOME", state.path().toUtf8());
        qunsetenv("NDX_HISTORY_DB");
        const std::string exported = state.path().toStdString() + "/exported.bin";
        FormServices s = services();
        s.history = true;
        std::string suggestedName;
        s.exportPath = [&](const std::string& suggested) {
            suggestedName = suggested;
            return exported;
        };
        TMainForm form(s);
        auto setMac = [&](const QString& mac) {
            const QStringList parts = mac.split('-');
            for (int i = 0; i < 6; ++i)
                child<QLineEdit>(form, ("Amac" + std::to_string(i + 1)).c_str())->setText(parts.value(i));
        };
        setMac("00-01-40-00-00-01");
        child<QPushButton>(form, "DownloadBtn")->click();
        setMac("00-01-40-00-00-02");
        child<QPushButton>(form, "VersionBtn")->click();
        QVERIFY(fs::exists(state.path().toStdString() + "/hostlink-toolset/history.sqlite"));

        auto* pages = child<QTabWidget>(form, "PageControl1");
        auto* table = form.findChild<QTableWidget*>("HistoryTable");
        QVERIFY(table);
        pages->setCurrentWidget(form.findChild<QWidget*>("History"));
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(table->item(0, 1)->text(), QString("version query"));
        setMac("00-01-40-00-00");
        pages->setCurrentIndex(0);
        pages->setCurrentWidget(form.findChild<QWidget*>("History"));
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(1, 1)->text(), QString("upgrade"));
        QCOMPARE(table->item(1, 3)->text(), QString("ok"));
        QCOMPARE(table->item(1, 6)->text(), QString("stored"));

        auto* exportBtn = form.findChild<QPushButton*>("ExportBackupBtn");
        table->selectRow(0);
        QVERIFY(!exportBtn->isEnabled());
        table->selectRow(1);
        QVERIFY(form.findChild<QPlainTextEdit*>("HistoryLog")->toPlainText().contains("Back up target :\nOk."));
        QVERIFY(exportBtn->isEnabled());
        exportBtn->click();
        QCOMPARE(readFile(exported), std::string(428, '\x5a'));
        QVERIFY(suggestedName.rfind("backup-00-01-40-00-00-01-", 0) == 0);
        QVERIFY(readFile(exported + ".hex").rfind("5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a\n", 0) == 0);
        QCOMPARE(boxes.shown.back().caption, std::string("Information"));

        // A shared database nobody answers: said once; the record waits here.
        auto* shared = form.findChild<QLineEdit*>("HistoryDbEdit");
        shared->setText("postgresql://line@127.0.0.1:1/history");
        emit shared->editingFinished();
        QCOMPARE(QSettings(QSettings::IniFormat, QSettings::UserScope, "Talvenrick", "ndxupgrade")
                     .value("history/database")
                     .toString(),
                 QString("postgresql://line@127.0.0.1:1/history"));
        setMac("00-01-40-00-00-02");
        child<QPushButton>(form, "VersionBtn")->click();
        const QString log = child<QPlainTextEdit>(form, "DiagMemo")->toPlainText();
        QCOMPARE(log.count("ndxupgrade: history: cannot reach postgresql://line@127.0.0.1:1/history: "), 1);
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(0, 3)->text(), QString("ok (unsent)"));
        qunsetenv("XDG_STATE_HOME");
    }

    void screenshots()
    {
        const QByteArray dirText = qgetenv("NDXUPGRADE_SCREENSHOT_DIR");
        if (dirText.isEmpty()) QSKIP("NDXUPGRADE_SCREENSHOT_DIR not set");
        const QString dir = QString::fromLocal8Bit(dirText);
        QDir().mkpath(dir);
        runner.printed["connect"] = {"1.3.2", "link 1", "network mode 1"};
        runner.printed["backup"] = {"1.3.1"};
        runner.printed["program_flash.sh"] = {"binary image file redirected to file image.dat"};
        runner.printed["version.sh"] = {"1.3.2"};
        runner.effects["per_test.sh"] = [](const std::string& d) {
            writeFile(fs::path(d) / "snr.tmp", "27.50 0.00e+00 52");
        };
        FormServices s = services();
        s.baseNote = "ndxupgrade: base directory /opt/ndx470";
        s.diagnosticPage = true;
        // The runs' records, for the History page's picture.
        QTemporaryDir state;
        qputenv("XDG_STATE_HOME", state.path().toUtf8());
        qunsetenv("NDX_HISTORY_DB");
        s.history = true;
        TMainForm form(s);
        form.resize(680, 800);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto save = [&](const char* name) {
            QTest::qWait(20);
            QVERIFY(form.grab().save(dir + "/" + name));
        };
        auto setMac = [&](const char* prefix, const char* mac) {
            const QStringList parts = QString(mac).split('-');
            for (int i = 0; i < 6; ++i)
                child<QLineEdit>(form, (std::string(prefix) + std::to_string(i + 1)).c_str())->setText(parts[i]);
        };
        setMac("Amac", "0A-3F-71-00-00-07");
        save("ndxupgrade-start.png");

        child<QToolButton>(form, "DetailsBtn")->click();
        runner.effects["program_flash.sh"] = [&](const std::string&) { save("ndxupgrade-running.png"); };
        child<QPushButton>(form, "DownloadBtn")->click();
        runner.effects.erase("program_flash.sh");
        save("ndxupgrade-upgrade.png");

        setMac("Amac", "0A-3F-71-00-00-09");
        runner.printed["connect"] = {"ERROR: failed to read memory"};
        runner.codes["connect"] = -1;
        child<QPushButton>(form, "DownloadBtn")->click();
        save("ndxupgrade-failure.png");

        runner.printed["connect"] = {"1.3.2", "link 1", "network mode 1"};
        runner.codes.clear();
        setMac("Lmac", "0A-3F-71-00-00-07");
        setMac("Rmac", "0A-3F-71-00-00-08");
        child<QTabWidget>(form, "PageControl1")->setCurrentIndex(1);
        child<QPushButton>(form, "DiagBtn")->click();
        save("ndxupgrade-diagnostic.png");

        // Every device's runs: no whole address in the fields.
        child<QLineEdit>(form, "Amac6")->clear();
        child<QTabWidget>(form, "PageControl1")->setCurrentWidget(form.findChild<QWidget*>("History"));
        form.findChild<QTableWidget*>("HistoryTable")->selectRow(2);
        save("ndxupgrade-history.png");
        qunsetenv("XDG_STATE_HOME");
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
        QCOMPARE(runner.steps(), (std::vector<std::string>{"connect", "backup", "program_flash.sh"}));
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
             {"connect", "backup", "program_flash.sh", "reset"},
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
