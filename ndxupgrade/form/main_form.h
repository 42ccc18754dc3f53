#pragma once
// TMainForm: the technician's window. It holds the controls and the form
// state; the procedures themselves live in the widget-free core.

#include <QElapsedTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../core/interface_status.h"
#include "../core/interruption.h"
#include "../core/kit_lock.h"
#include "../core/mac_fields.h"
#include "../core/quiet_seams.h"
#include "../core/seams.h"
#include "../core/session.h"
#include "../history/operation_trace.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QTimer;
class QToolButton;

namespace ndx {

struct FormServices {
    InterfaceSource& interfaces;
    ProcessRunner& runner;
    MessageBoxes& boxes;
    std::string base;      // the installation tree (see core/base_directory.h)
    std::string baseNote = {};  // the start-up's line about it, first in the Details pane
    // The base note tells of a working copy refreshed at this start: the
    // progress log shows it too, once.
    bool copyRefreshed = false;
    // Show the Diagnostic page, which the window hides otherwise.
    bool diagnosticPage = false;
    // What a middle-click pastes (the primary selection); none: the system's.
    std::function<std::string()> primarySelection = {};
    // Keep every operation in the history (history/history_store.h), and
    // the shared database the command line names ("": NDX_HISTORY_DB, else
    // the window's setting, else this PC's file).
    bool history = false;
    std::string historyDb = {};
    // Where Export backup writes; none: a file dialog asks.
    std::function<std::string(const std::string& suggested)> exportPath = {};
};

class FollowingLog;
class HistoryPage;
class HistoryStore;

class TMainForm : public QWidget, private ChildOutput {
    Q_OBJECT
public:
    explicit TMainForm(const FormServices& services, QWidget* parent = nullptr);
    ~TMainForm() override;

    // True from the click of DownloadBtn, VersionBtn, DiagBtn or FindBtn until its
    // procedure ends; those buttons stay disabled meanwhile, so a second click
    // cannot start a second loader on the same device.
    bool procedureRunning() const { return busy_; }

    // A stop signal (platform/stop_signals.h): when idle the window closes at
    // once; mid-procedure the running child is stopped as by Exit, the
    // procedure unwinds, the log tells what was stopped, and then the window
    // closes.
    void stopBySignal(int signalNumber);

signals:
    // The window has closed for good: the application should end.
    void quitRequested();

public slots:
    void ExitBtnClick();
    void IFSelectUpgradeChange();
    void IFSelectDiagChange();
    void Timer1Timer();
    void DownloadBtnClick();
    void VersionBtnClick();
    void DiagBtnClick();
    void FindBtnClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    using FieldEdits = std::array<QLineEdit*, 6>;
    enum class RunKind { Upgrade, Version, Diagnosis, Find };

    QWidget* buildUpgradeSheet();
    QWidget* buildDiagnosticSheet();
    QWidget* buildMacRow(const QString& prefix, FieldEdits& edits);
    void fillInterfaceCombo(QComboBox* combo);
    bool refreshPage(QComboBox* combo, QLabel* panel);
    void refreshUpgradePage();
    void refreshDiagnosticPage();
    // Enables a button when its page's interface is ready and no step runs;
    // a disabled one says why in its tooltip, after its hint.
    void showAvailability(QPushButton* button, const char* hint, QComboBox* combo, bool ready);
    // The last interface and target MAC used, kept per user.
    void restoreLastChoice();
    void rememberChoice(const std::string& macText);
    void stepField(QLineEdit* edit, StepDirection direction);
    // The devices a search found, in FoundSelect; one fills the fields at once.
    void showFound(const std::vector<MacAddress>& devices);
    void fillTarget(const std::string& macText);
    MacFields fieldTexts(const FieldEdits& edits) const;
    std::string selectedIp(QComboBox* combo) const;
    void setBusy(bool busy);
    void PEEditKeyDown(int key, Qt::KeyboardModifiers modifiers);
    QWidget* buildDetails();
    void openDetails(bool open);
    QStatusBar* buildStatusBar();
    Session makeSession(LogMemo* failureHints);
    // A run: from its inputs check passed to its outcome on the status bar
    // and, for an operation on a device, its record in the history (a search
    // has none).
    void beginRun(const char* action, const std::string& macs, std::optional<OperationSubject> subject = {});
    void concludeRun(RunKind kind, const Session& session, const std::string& macs, bool ok,
                     const QString& measuredResults = {});
    void showOutcome(const QString& text, bool ok);
    // Once the user or a signal ends the window mid-procedure, the procedure
    // unwinds silently (see core/quiet_seams.h).
    QuietWhen quiet()
    {
        return [this] { return quitting_; };
    }
    // While a procedure runs: asks whether to quit anyway and, if so, stops
    // the running child. True when the window may close.
    bool confirmQuit();
    // True when the procedure may start: no other holds the kit (else the
    // box that says so has been shown).
    bool takeKit(std::optional<KitLock>& lock);
    // After a procedure: the line about a stop signal that ended it, and the
    // window's end when the user or a signal asked for it.
    void finishProcedure(const Session& session, Procedure procedure, const std::string& devices, bool succeeded);
    void showElapsed();
    // The history of this window: the shared database of the command line,
    // else NDX_HISTORY_DB, else `setting`, else this PC's file.
    void openHistory(const std::string& setting);
    void changeSharedDatabase(const QString& text);
    std::string typedTarget() const;
    std::string interfaceName(QComboBox* combo) const;

    // ChildOutput: the Details pane and the status bar.
    void childStarted(const std::string& child) override;
    void childLine(const std::string& child, const std::string& line) override;
    void childEnded(const std::string& child, int code) override;

    FormServices services_;
    InterfaceTable interfaceTable_;
    bool dhcpWait_ = false;
    bool busy_ = false;
    bool refreshing_ = false;
    bool quitting_ = false;
    int stopSignal_ = 0;
    QuietBoxes procedureBoxes_;
    std::string runningChild_;
    QElapsedTimer stepClock_;
    QElapsedTimer runClock_;
    std::string interfaceIp_;
    std::string versionText_;

    QTabWidget* PageControl1 = nullptr;
    FieldEdits amac_{}, lmac_{}, rmac_{};
    QComboBox* IFSelectUpgrade = nullptr;
    QComboBox* IFSelectDiag = nullptr;
    QLabel* IFStatusUpgrade = nullptr;
    QLabel* IFStatusDiag = nullptr;
    QPlainTextEdit* DiagMemo = nullptr;
    QPlainTextEdit* MemoUpgrade = nullptr;
    QPlainTextEdit* MemoDiag = nullptr;
    QPushButton* DownloadBtn = nullptr;
    QPushButton* VersionBtn = nullptr;
    QPushButton* DiagBtn = nullptr;
    QPushButton* FindBtn = nullptr;
    QComboBox* FoundSelect = nullptr;
    QLineEdit* SNREdit = nullptr;
    QLineEdit* PEREdit = nullptr;
    QLineEdit* PEEdit = nullptr;
    QLineEdit* DiagPEEdit = nullptr;
    QGroupBox* PEGroupBox = nullptr;
    QTimer* Timer1 = nullptr;
    QToolButton* DetailsBtn = nullptr;
    QPlainTextEdit* DetailsMemo = nullptr;
    QWidget* detailsBox_ = nullptr;
    QSplitter* LogSplitter = nullptr;
    FollowingLog* diagLog_ = nullptr;
    FollowingLog* versionLog_ = nullptr;
    FollowingLog* detailsLog_ = nullptr;
    QLabel* StatusLabel = nullptr;
    QProgressBar* BusyBar = nullptr;
    QTimer* ElapsedTimer = nullptr;
    HistoryPage* historyPage_ = nullptr;
    std::unique_ptr<HistoryStore> history_;
    // The run in progress, for its record.
    std::optional<OperationTrace> trace_;
};

}  // namespace ndx
