#include "main_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTime>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <cstdio>

#include "../core/diagnostics.h"
#include "../core/find_devices.h"
#include "../core/next_step.h"
#include "../core/program_version.h"
#include "../core/run_and_wait.h"
#include "../core/upgrade.h"
#include "../history/history_store.h"
#include "following_log.h"
#include "history_page.h"
#include "mac_entry.h"

namespace ndx {
namespace {

const char* const kQuitQuestion =
    "A device is being programmed. Stopping now may leave its flash half-programmed. Quit anyway?";

// Why a button is disabled, after its hint in the tooltip.
const char* const kWhyBusy = "Disabled while a step is running.";
const char* const kWhyNotReady = "Disabled: the interface chosen is not ready; it needs an IPv4 address.";
const char* const kWhyNoInterface = "Disabled: no interface is listed.";

const char* const kDownloadHint = "start to download";
const char* const kVersionHint = "get target's current version";
const char* const kDiagHint = "start to download";
const char* const kFindHint = "find the devices on the wire";

// The progress log keeps this many lines in view, however far Details opens.
const int kLogLinesKept = 12;

// Per user: ~/.config/Talvenrick/ndxupgrade.ini.
const char* const kLastInterfaceKey = "upgrade/interface";
const char* const kLastTargetKey = "upgrade/targetMac";
const char* const kSharedHistoryKey = "history/database";

QSettings userSettings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "Talvenrick", "ndxupgrade");
}

const char* const kDhcpNote =
    "This interface uses DHCP, and it needs \n"
    "about 1 minute to get ready after you \n"
    "connect the HPNA switch with PC.";

class EditsDisplay : public DiagDisplay {
public:
    EditsDisplay(QLineEdit* snr, QLineEdit* per, QLineEdit* pe) : snr_(snr), per_(per), pe_(pe) {}
    void showResults(const std::string& snr, const std::string& per, const std::string& pe) override
    {
        snr_->setText(QString::fromStdString(snr));
        per_->setText(QString::fromStdString(per));
        pe_->setText(QString::fromStdString(pe));
    }
    void supplied(int count) override { supplied_ = count; }

    // The values snr.tmp supplied, for the outcome: "SNR 23.45, PER 0.001".
    QString measured() const
    {
        const std::pair<const char*, QLineEdit*> values[] = {{"SNR", snr_}, {"PER", per_}, {"PE", pe_}};
        QStringList parts;
        for (int i = 0; i < supplied_ && i < 3; ++i)
            parts << QString("%1 %2").arg(values[i].first, values[i].second->text());
        return parts.join(", ");
    }

private:
    QLineEdit *snr_, *per_, *pe_;
    int supplied_ = 0;
};

template <typename W>
W* named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* label(const char* name, const char* text)
{
    return named(new QLabel(QString::fromLatin1(text)), name);
}

QPushButton* button(const char* name, const char* text, const char* hint = nullptr)
{
    auto* b = named(new QPushButton(QString::fromLatin1(text)), name);
    if (hint) b->setToolTip(QString::fromLatin1(hint));
    return b;
}

QLineEdit* resultEdit(const char* name, const char* hint, int maxLength)
{
    auto* e = named(new QLineEdit, name);
    e->setReadOnly(true);
    e->setToolTip(QString::fromLatin1(hint));
    if (maxLength > 0) e->setMaxLength(maxLength);
    return e;
}

QLabel* statusPanel(const char* name)
{
    auto* p = named(new QLabel, name);
    p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    p->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    p->setAutoFillBackground(true);
    p->setMinimumWidth(260);
    p->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    return p;
}

QPlainTextEdit* noteMemo(const char* name)
{
    auto* m = named(new QPlainTextEdit(QString::fromLatin1(kDhcpNote)), name);
    m->setReadOnly(true);
    m->setVisible(false);
    return m;
}

void paintPanel(QLabel* panel, const StatusPanel& state)
{
    panel->setText(QString::fromStdString(state.text));
    QPalette palette = panel->palette();
    if (state.colour == PanelColour::Aqua) palette.setColor(QPalette::Window, QColor(0, 255, 255));
    if (state.colour == PanelColour::Red) palette.setColor(QPalette::Window, QColor(255, 0, 0));
    panel->setPalette(palette);
}

}  // namespace

TMainForm::TMainForm(const FormServices& services, QWidget* parent)
    : QWidget(parent), services_(services), procedureBoxes_(services.boxes, quiet())
{
    setObjectName("TMainForm");
    auto* layout = new QVBoxLayout(this);
    PageControl1 = named(new QTabWidget, "PageControl1");
    PageControl1->addTab(buildUpgradeSheet(), "Upgrade");
    PageControl1->addTab(buildDiagnosticSheet(), "Diagnostic");
    historyPage_ = new HistoryPage({services_.boxes, [this] { return typedTarget(); }, services_.exportPath});
    PageControl1->addTab(historyPage_, "History");
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] {
        if (PageControl1->currentWidget() == historyPage_) historyPage_->refresh();
    });
    connect(historyPage_, &HistoryPage::sharedDatabaseChanged, this, &TMainForm::changeSharedDatabase);
    // Details under the pages, as far as the user drags it; the page keeps
    // its log's lines in view.
    LogSplitter = named(new QSplitter(Qt::Vertical), "LogSplitter");
    LogSplitter->addWidget(PageControl1);
    LogSplitter->addWidget(buildDetails());
    LogSplitter->setChildrenCollapsible(false);
    LogSplitter->setStretchFactor(0, 1);
    LogSplitter->setStretchFactor(1, 0);
    layout->addWidget(LogSplitter, 1);
    layout->addWidget(buildStatusBar());
    for (FieldEdits* edits : {&amac_, &lmac_, &rmac_}) new MacEntry(*edits, services_.primarySelection, this);
    Timer1 = named(new QTimer(this), "Timer1");
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);

    setWindowTitle(QString::fromLatin1("NDX Firmware Upgrade Utility Version ") + kProgramVersion);
    fillInterfaceCombo(IFSelectUpgrade);
    fillInterfaceCombo(IFSelectDiag);
    restoreLastChoice();
    // Both refreshes run before either note is shown, so both notes follow
    // the flag left by the diagnostic page.
    bool upgradeReady = refreshPage(IFSelectUpgrade, IFStatusUpgrade);
    showAvailability(DownloadBtn, kDownloadHint, IFSelectUpgrade, upgradeReady);
    showAvailability(VersionBtn, kVersionHint, IFSelectUpgrade, upgradeReady);
    showAvailability(FindBtn, kFindHint, IFSelectUpgrade, upgradeReady);
    showAvailability(DiagBtn, kDiagHint, IFSelectDiag, refreshPage(IFSelectDiag, IFStatusDiag));
    MemoDiag->setVisible(dhcpWait_);
    MemoUpgrade->setVisible(dhcpWait_);
    Timer1->start();
    // Engineers ask for the Diagnostic page on the command line.
    PageControl1->setTabVisible(1, services_.diagnosticPage);

    // A refresh may have kept the user's files in place of new ones: say so
    // where the technician reads, not only in the collapsed Details.
    if (services_.copyRefreshed)
        for (const QString& line : QString::fromStdString(services_.baseNote).split('\n')) diagLog_->append(line);

    if (services_.history) openHistory(userSettings().value(kSharedHistoryKey).toString().toStdString());

    // Wide enough for the log's next-step lines without scrolling sideways.
    resize(sizeHint().expandedTo(QSize(680, 640)));

    connect(IFSelectUpgrade, &QComboBox::currentIndexChanged, this, &TMainForm::IFSelectUpgradeChange);
    connect(IFSelectDiag, &QComboBox::currentIndexChanged, this, &TMainForm::IFSelectDiagChange);
}

TMainForm::~TMainForm() = default;

void TMainForm::openHistory(const std::string& setting)
{
    historyPage_->setSharedDatabase(setting);
    historyPage_->setStore(nullptr);
    history_.reset();
    // Said once each, in the log and on standard error.
    const auto notice = [this](const std::string& line) {
        diagLog_->addLine(line);
        std::fprintf(stderr, "%s\n", line.c_str());
    };
    std::string error;
    if (!makeHistoryStore(services_.historyDb, setting, notice, history_, error)) {
        notice(kHistoryNoticePrefix + error);
        return;
    }
    history_->start();
    historyPage_->setStore(history_.get());
}

void TMainForm::changeSharedDatabase(const QString& text)
{
    QSettings settings = userSettings();
    if (settings.value(kSharedHistoryKey).toString() == text) return;
    settings.setValue(kSharedHistoryKey, text);
    if (services_.history) openHistory(text.toStdString());
}

std::string TMainForm::typedTarget() const
{
    std::string text;
    for (QLineEdit* edit : amac_) text += (text.empty() ? "" : "-") + edit->text().trimmed().toStdString();
    std::string target;
    normalMac(text, target);
    return target;
}

std::string TMainForm::interfaceName(QComboBox* combo) const
{
    const int index = combo->currentIndex();
    if (index < 0 || static_cast<std::size_t>(index) >= interfaceTable_.size()) return {};
    return interfaceTable_[static_cast<std::size_t>(index)].deviceName;
}

QWidget* TMainForm::buildDetails()
{
    auto* box = detailsBox_ = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    DetailsBtn = named(new QToolButton, "DetailsBtn");
    DetailsBtn->setText("Details");
    DetailsBtn->setToolTip("what the loader and the scripts print");
    DetailsBtn->setCheckable(true);
    DetailsBtn->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    DetailsBtn->setArrowType(Qt::RightArrow);
    DetailsBtn->setAutoRaise(true);
    DetailsMemo = named(new QPlainTextEdit, "DetailsMemo");
    DetailsMemo->setReadOnly(true);
    // Paths and the loader's reasons are long: wrapped, every line is read
    // from its start without scrolling sideways.
    DetailsMemo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    DetailsMemo->setMaximumBlockCount(20000);
    DetailsMemo->setMinimumHeight(DetailsMemo->fontMetrics().lineSpacing() * 4);
    DetailsMemo->setVisible(false);
    detailsLog_ = new FollowingLog(DetailsMemo);
    if (!services_.baseNote.empty()) detailsLog_->addLine(services_.baseNote);
    connect(DetailsBtn, &QToolButton::toggled, this, &TMainForm::openDetails);
    column->addWidget(DetailsBtn, 0, Qt::AlignLeft);
    column->addWidget(DetailsMemo);
    box->setMaximumHeight(DetailsBtn->sizeHint().height());
    return box;
}

void TMainForm::openDetails(bool open)
{
    DetailsBtn->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
    DetailsMemo->setVisible(open);
    // Closed, the pane is its button alone; open, it takes a third of the
    // splitter, or what the page's minimum leaves.
    detailsBox_->setMaximumHeight(open ? QWIDGETSIZE_MAX : DetailsBtn->sizeHint().height());
    if (!open) return;
    const QList<int> sizes = LogSplitter->sizes();
    const int total = sizes.value(0) + sizes.value(1);
    const int details = std::max(total / 3, detailsBox_->minimumSizeHint().height());
    LogSplitter->setSizes({total - details, details});
    DetailsMemo->horizontalScrollBar()->setValue(0);
    if (detailsLog_->following()) detailsLog_->follow();
}

QStatusBar* TMainForm::buildStatusBar()
{
    auto* bar = named(new QStatusBar, "StatusBar");
    bar->setSizeGripEnabled(false);
    StatusLabel = named(new QLabel("Ready"), "StatusLabel");
    BusyBar = named(new QProgressBar, "BusyBar");
    BusyBar->setRange(0, 0);  // no known end: a busy indicator
    BusyBar->setMaximumWidth(120);
    BusyBar->setTextVisible(false);
    BusyBar->setVisible(false);
    bar->addWidget(StatusLabel, 1);
    bar->addPermanentWidget(BusyBar);
    ElapsedTimer = named(new QTimer(this), "ElapsedTimer");
    ElapsedTimer->setInterval(500);
    connect(ElapsedTimer, &QTimer::timeout, this, &TMainForm::showElapsed);
    return bar;
}

QWidget* TMainForm::buildMacRow(const QString& prefix, FieldEdits& edits)
{
    auto* row = new QWidget;
    auto* grid = new QGridLayout(row);
    grid->setContentsMargins(0, 0, 0, 0);
    // The six fields read as one address: the same width and spacing in any
    // window, the room to spare after the last one.
    grid->setHorizontalSpacing(6);
    grid->setColumnStretch(6, 1);
    const int width = row->fontMetrics().horizontalAdvance(QStringLiteral("WW")) + 20;
    const char* initial[6] = {"00", "01", "40", "00", "00", "00"};
    for (int i = 0; i < 6; ++i) {
        auto* edit = new QLineEdit(QString::fromLatin1(initial[i]));
        edit->setObjectName(prefix + QString::number(i + 1));
        edit->setMaxLength(2);
        edit->setFixedWidth(width);
        edits[i] = edit;
        grid->addWidget(edit, 0, i);
        if (i < 3) continue;
        auto* inc = new QPushButton("+");
        inc->setObjectName(prefix + QString::number(i + 1) + "Inc");
        auto* dec = new QPushButton("-");
        dec->setObjectName(prefix + QString::number(i + 1) + "Dec");
        inc->setFixedWidth(width);
        dec->setFixedWidth(width);
        connect(inc, &QPushButton::clicked, this, [this, edit] { stepField(edit, StepDirection::Up); });
        connect(dec, &QPushButton::clicked, this, [this, edit] { stepField(edit, StepDirection::Down); });
        grid->addWidget(inc, 1, i);
        grid->addWidget(dec, 2, i);
    }
    return row;
}

QWidget* TMainForm::buildUpgradeSheet()
{
    auto* page = named(new QWidget, "UpgradeSheet");
    auto* grid = new QGridLayout(page);
    grid->addWidget(label("Label1", "Target MAC "), 0, 0);
    QWidget* macRow = buildMacRow("Amac", amac_);
    // Beside the fields, and what it found under them.
    auto* macGrid = static_cast<QGridLayout*>(macRow->layout());
    FindBtn = button("FindBtn", "Find", kFindHint);
    macGrid->addWidget(FindBtn, 0, 6, Qt::AlignLeft);
    FoundSelect = named(new QComboBox, "FoundSelect");
    FoundSelect->setVisible(false);
    macGrid->addWidget(FoundSelect, 3, 0, 1, 6);
    grid->addWidget(macRow, 0, 1);
    connect(FindBtn, &QPushButton::clicked, this, &TMainForm::FindBtnClick);
    connect(FoundSelect, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) fillTarget(FoundSelect->itemText(index).toStdString());
    });
    grid->addWidget(label("Label2", "Interface "), 1, 0);
    IFSelectUpgrade = named(new QComboBox, "IFSelectUpgrade");
    grid->addWidget(IFSelectUpgrade, 1, 1);
    grid->addWidget(label("Label4", "Interface Status : "), 2, 0);
    IFStatusUpgrade = statusPanel("IFStatusUpgrade");
    grid->addWidget(IFStatusUpgrade, 2, 1);
    grid->addWidget(label("Label3", "Upgrade Diagnostic"), 3, 0, 1, 2);
    DiagMemo = named(new QPlainTextEdit, "DiagMemo");
    DiagMemo->setReadOnly(true);
    DiagMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    DiagMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    DiagMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    DiagMemo->setMinimumHeight(DiagMemo->fontMetrics().lineSpacing() * kLogLinesKept + 2 * DiagMemo->frameWidth() +
                               DiagMemo->horizontalScrollBar()->sizeHint().height() +
                               2 * static_cast<int>(DiagMemo->document()->documentMargin()) + 4);
    diagLog_ = new FollowingLog(DiagMemo);
    grid->addWidget(DiagMemo, 4, 0, 1, 2);
    MemoUpgrade = noteMemo("MemoUpgrade");
    versionLog_ = new FollowingLog(MemoUpgrade);
    grid->addWidget(MemoUpgrade, 5, 0, 1, 2);

    auto* buttons = new QHBoxLayout;
    DownloadBtn = button("DownloadBtn", "Download", kDownloadHint);
    VersionBtn = button("VersionBtn", "Get Version", kVersionHint);
    auto* exitBtn = button("ExitBtn", "Exit");
    buttons->addWidget(DownloadBtn);
    buttons->addWidget(VersionBtn);
    buttons->addWidget(exitBtn);
    grid->addLayout(buttons, 6, 0, 1, 2);
    connect(DownloadBtn, &QPushButton::clicked, this, &TMainForm::DownloadBtnClick);
    connect(VersionBtn, &QPushButton::clicked, this, &TMainForm::VersionBtnClick);
    connect(exitBtn, &QPushButton::clicked, this, &TMainForm::ExitBtnClick);
    return page;
}

QWidget* TMainForm::buildDiagnosticSheet()
{
    auto* page = named(new QWidget, "Diagnostic");
    auto* grid = new QGridLayout(page);
    grid->addWidget(label("Label15", "Topology:"), 0, 0);
    grid->addWidget(
        label("Label10", "Local PC --->A Target(Local)---------HPNA line-------->B Target(Remote)"), 0, 1);
    grid->addWidget(label("Label5", "A Target (Local) MAC "), 1, 0);
    grid->addWidget(buildMacRow("Lmac", lmac_), 1, 1);
    grid->addWidget(label("Label9", "B Target (Remote) MAC"), 2, 0);
    grid->addWidget(buildMacRow("Rmac", rmac_), 2, 1);
    grid->addWidget(label("Label7", "PC Interface "), 3, 0);
    IFSelectDiag = named(new QComboBox, "IFSelectDiag");
    grid->addWidget(IFSelectDiag, 3, 1);
    grid->addWidget(label("Label8", "Interface Status : "), 4, 0);
    IFStatusDiag = statusPanel("IFStatusDiag");
    grid->addWidget(IFStatusDiag, 4, 1);
    grid->addWidget(label("Label13", "Diagnostic Result :"), 5, 0, 1, 2);

    auto* results = new QHBoxLayout;
    SNREdit = resultEdit("SNREdit", "Signal Noise Ratio", 5);
    PEREdit = resultEdit("PEREdit", "Packet Error Rate", 5);
    PEEdit = resultEdit("PEEdit", "Tx Payload Encoding", 0);
    PEEdit->installEventFilter(this);
    results->addWidget(label("Label11", "SNR"));
    results->addWidget(SNREdit);
    results->addWidget(label("Label12", "PER"));
    results->addWidget(PEREdit);
    results->addWidget(label("PELab", "PE"));
    results->addWidget(PEEdit);
    grid->addLayout(results, 6, 0, 1, 2);

    PEGroupBox = named(new QGroupBox("Set Diagnostic PE"), "PEGroupBox");
    auto* peRow = new QHBoxLayout(PEGroupBox);
    DiagPEEdit = named(new QLineEdit("255"), "DiagPEEdit");
    peRow->addWidget(label("Label14", "PE :"));
    peRow->addWidget(DiagPEEdit);
    PEGroupBox->setVisible(false);
    grid->addWidget(PEGroupBox, 7, 0, 1, 2);

    MemoDiag = noteMemo("MemoDiag");
    QPalette red = MemoDiag->palette();
    red.setColor(QPalette::Text, Qt::red);
    MemoDiag->setPalette(red);
    grid->addWidget(MemoDiag, 8, 0, 1, 2);
    grid->setRowStretch(8, 1);

    auto* buttons = new QHBoxLayout;
    DiagBtn = button("DiagBtn", "Diagnose", kDiagHint);
    auto* exitBtn = button("Button14", "Exit");
    buttons->addWidget(DiagBtn);
    buttons->addWidget(exitBtn);
    grid->addLayout(buttons, 9, 0, 1, 2);
    connect(DiagBtn, &QPushButton::clicked, this, &TMainForm::DiagBtnClick);
    connect(exitBtn, &QPushButton::clicked, this, &TMainForm::ExitBtnClick);
    return page;
}

void TMainForm::fillInterfaceCombo(QComboBox* combo)
{
    std::vector<std::string> items;
    QSignalBlocker quiet(combo);
    combo->clear();
    if (!fillInterfaceTable(services_.interfaces, services_.boxes, interfaceTable_, items)) return;
    for (const std::string& item : items) combo->addItem(QString::fromStdString(item));
    combo->setCurrentIndex(items.empty() ? -1 : 0);
}

bool TMainForm::refreshPage(QComboBox* combo, QLabel* panel)
{
    int index = combo->currentIndex();
    InterfaceEntry* entry =
        index >= 0 && static_cast<std::size_t>(index) < interfaceTable_.size() ? &interfaceTable_[index] : nullptr;
    StatusPanel state;
    state.text = panel->text().toStdString();
    bool ready = refreshStatus(services_.interfaces, services_.boxes, entry, state, dhcpWait_);
    if (entry) paintPanel(panel, state);
    return ready;
}

void TMainForm::refreshUpgradePage()
{
    bool ready = refreshPage(IFSelectUpgrade, IFStatusUpgrade);
    showAvailability(DownloadBtn, kDownloadHint, IFSelectUpgrade, ready);
    showAvailability(VersionBtn, kVersionHint, IFSelectUpgrade, ready);
    showAvailability(FindBtn, kFindHint, IFSelectUpgrade, ready);
    MemoUpgrade->setVisible(dhcpWait_);
}

void TMainForm::refreshDiagnosticPage()
{
    bool ready = refreshPage(IFSelectDiag, IFStatusDiag);
    showAvailability(DiagBtn, kDiagHint, IFSelectDiag, ready);
    MemoDiag->setVisible(dhcpWait_);
}

void TMainForm::showAvailability(QPushButton* button, const char* hint, QComboBox* combo, bool ready)
{
    const char* why = busy_ ? kWhyBusy : combo->count() == 0 ? kWhyNoInterface : !ready ? kWhyNotReady : nullptr;
    button->setEnabled(!why);
    button->setToolTip(why ? QString::fromLatin1(hint) + '\n' + why : QString::fromLatin1(hint));
}

void TMainForm::restoreLastChoice()
{
    const QSettings settings = userSettings();
    const std::string device = settings.value(kLastInterfaceKey).toString().toStdString();
    for (std::size_t i = 0; !device.empty() && i < interfaceTable_.size(); ++i)
        if (interfaceTable_[i].deviceName == device && static_cast<int>(i) < IFSelectUpgrade->count()) {
            QSignalBlocker quiet(IFSelectUpgrade);
            IFSelectUpgrade->setCurrentIndex(static_cast<int>(i));
            break;
        }
    fillTarget(settings.value(kLastTargetKey).toString().toStdString());
}

void TMainForm::rememberChoice(const std::string& target)
{
    const std::string interface = interfaceName(IFSelectUpgrade);
    if (interface.empty()) return;
    QSettings settings = userSettings();
    settings.setValue(kLastInterfaceKey, QString::fromStdString(interface));
    settings.setValue(kLastTargetKey, QString::fromStdString(target));
}

void TMainForm::ExitBtnClick()
{
    if (!confirmQuit()) return;
    // Mid-procedure the window closes once the procedure has unwound.
    if (busy_) return;
    close();
    emit quitRequested();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (busy_) {
        event->ignore();
        confirmQuit();
        return;
    }
    QWidget::closeEvent(event);
}

bool TMainForm::confirmQuit()
{
    if (!busy_ || quitting_) return true;
    if (!services_.boxes.ask("Confirm", kQuitQuestion)) return false;
    quitting_ = true;
    const std::string stopped = services_.runner.shutDown();
    const std::string line = "Quit: " + (stopped.empty() ? std::string("no child was running") : stopped) + ".";
    diagLog_->addLine(line);
    detailsLog_->addLine("ndxupgrade: " + line);
    return true;
}

void TMainForm::stopBySignal(int signalNumber)
{
    if (stopSignal_) return;
    stopSignal_ = signalNumber;
    if (!busy_) {
        close();
        emit quitRequested();
        return;
    }
    // The procedure unwinds without asking anyone: a box it had open closes.
    quitting_ = true;
    services_.runner.shutDown();
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->reject();
}

bool TMainForm::takeKit(std::optional<KitLock>& lock)
{
    lock.emplace(services_.base);
    if (lock->refusal().empty()) return true;
    services_.boxes.show("Error", lock->refusal(), BoxIcon::Error);
    return false;
}

void TMainForm::finishProcedure(const Session& session, Procedure procedure, const std::string& devices,
                                bool succeeded)
{
    versionText_ = session.versionText;
    if (trace_ && history_) {
        history_->write(trace_->finish(session, succeeded, quitting_ && !succeeded));
        historyPage_->refresh();
    }
    trace_.reset();
    setBusy(false);
    // A signal that came after the last step leaves a finished procedure as it is.
    if (stopSignal_ && !succeeded) {
        const std::string line = interruptedLine(stopSignal_, procedure, devices, session.stage);
        diagLog_->addLine(line);
        detailsLog_->addLine("ndxupgrade: " + line);
    }
    if (!quitting_) return;
    close();
    emit quitRequested();
}

void TMainForm::IFSelectUpgradeChange()
{
    refreshUpgradePage();
}

void TMainForm::IFSelectDiagChange()
{
    refreshDiagnosticPage();
}

void TMainForm::Timer1Timer()
{
    // A failing refresh shows a modal box whose event loop keeps the timer
    // ticking; without this guard every second would stack another box.
    if (refreshing_) return;
    refreshing_ = true;
    refreshUpgradePage();
    refreshDiagnosticPage();
    refreshing_ = false;
}

void TMainForm::stepField(QLineEdit* edit, StepDirection direction)
{
    std::string text = edit->text().toStdString();
    if (!stepMacField(text, direction)) {
        services_.boxes.show("Error", conversionErrorText(edit->text().toStdString()), BoxIcon::Error);
        return;
    }
    edit->setText(QString::fromStdString(text));
}

MacFields TMainForm::fieldTexts(const FieldEdits& edits) const
{
    MacFields fields;
    for (std::size_t i = 0; i < edits.size(); ++i) fields[i] = edits[i]->text().toStdString();
    return fields;
}

std::string TMainForm::selectedIp(QComboBox* combo) const
{
    int index = combo->currentIndex();
    if (index < 0 || static_cast<std::size_t>(index) >= interfaceTable_.size()) return {};
    return interfaceTable_[index].ipv4;
}

Session TMainForm::makeSession(LogMemo* failureHints)
{
    return Session{services_.base, interfaceIp_, versionText_, services_.runner, procedureBoxes_, this, failureHints};
}

void TMainForm::beginRun(const char* action, const std::string& macs, std::optional<OperationSubject> subject)
{
    trace_.reset();
    if (subject) {
        subject->base = services_.base;
        trace_.emplace(std::move(*subject));
    }
    setBusy(true);
    StatusLabel->setPalette(QPalette());  // the style's own colour again
    StatusLabel->setText(QString());
    detailsLog_->append(QString::fromUtf8("── %1  %2 %3 ──")
                            .arg(QTime::currentTime().toString("HH:mm:ss"), action, QString::fromStdString(macs)));
    runClock_.start();
}

// Before the final box: the outcome in the status bar until the next run,
// and in the log the new version or what to check next.
void TMainForm::concludeRun(RunKind kind, const Session& session, const std::string& macs, bool ok,
                            const QString& measuredResults)
{
    if (quitting_) return;
    const QString seconds = QString::number((runClock_.elapsed() + 500) / 1000);
    const QString mac = QString::fromStdString(macs);
    const QString version = QString::fromStdString(session.versionText);
    const QString stage = QString::fromStdString(session.stage);
    FollowingLog* log = kind == RunKind::Diagnosis ? detailsLog_ : diagLog_;
    if (!ok) {
        const std::string next = nextStepLine(session.stage);
        if (!next.empty()) log->addLine(next);
    }
    switch (kind) {
    case RunKind::Upgrade:
        if (ok) diagLog_->addLine("Current version: " + session.versionText);
        showOutcome(ok ? QString("Upgraded %1 to %2 in %3 s").arg(mac, version, seconds)
                       : QString("Upgrade of %1 failed at %2").arg(mac, stage),
                    ok);
        break;
    case RunKind::Version:
        showOutcome(ok ? QString("Version of %1: %2 (read in %3 s)").arg(mac, version, seconds)
                       : QString("Version query of %1 failed").arg(mac),
                    ok);
        break;
    case RunKind::Diagnosis:
        showOutcome(ok ? QString("Diagnosed %1 in %2 s: %3").arg(mac, seconds, measuredResults)
                       : QString("Diagnosis of %1 failed at %2").arg(mac, stage),
                    ok);
        break;
    case RunKind::Find: showOutcome(measuredResults, ok); break;
    }
}

void TMainForm::showOutcome(const QString& text, bool ok)
{
    QPalette palette;
    palette.setColor(QPalette::WindowText, ok ? QColor(0, 128, 0) : QColor(200, 0, 0));
    StatusLabel->setPalette(palette);
    StatusLabel->setText(text);
}

void TMainForm::childStarted(const std::string& child)
{
    runningChild_ = child;
    stepClock_.start();
    BusyBar->setVisible(true);
    ElapsedTimer->start();
    showElapsed();
}

void TMainForm::childLine(const std::string& child, const std::string& line)
{
    if (trace_) trace_->tail().add(labelledChildLine(child, line));
    detailsLog_->addLine(labelledChildLine(child, line));
}

void TMainForm::childEnded(const std::string& child, int code)
{
    ElapsedTimer->stop();
    BusyBar->setVisible(false);
    StatusLabel->setText(QString::fromStdString(child) + QString(" ended with status %1 after %2 s")
                                                              .arg(code)
                                                              .arg(stepClock_.elapsed() / 1000));
}

void TMainForm::showElapsed()
{
    StatusLabel->setText(QString::fromStdString(runningChild_) +
                         QString(" running: %1 s").arg(stepClock_.elapsed() / 1000));
}

void TMainForm::setBusy(bool busy)
{
    busy_ = busy;
    if (busy) {
        showAvailability(DownloadBtn, kDownloadHint, IFSelectUpgrade, false);
        showAvailability(VersionBtn, kVersionHint, IFSelectUpgrade, false);
        showAvailability(FindBtn, kFindHint, IFSelectUpgrade, false);
        showAvailability(DiagBtn, kDiagHint, IFSelectDiag, false);
    } else {
        Timer1Timer();
    }
}

void TMainForm::DownloadBtnClick()
{
    MacAddress target{};
    std::optional<KitLock> kit;
    if (busy_ ||
        !checkUpgradeInputs(selectedIp(IFSelectUpgrade), fieldTexts(amac_), services_.boxes, interfaceIp_, target) ||
        !takeKit(kit))
        return;
    const std::string mac = macText(target);
    rememberChoice(mac);
    beginRun("Upgrade", mac, OperationSubject{kActionUpgrade, interfaceName(IFSelectUpgrade), mac});
    QuietLog diagLog(*diagLog_, quiet()), versionLog(*versionLog_, quiet());
    TailedLog tailedDiag(diagLog, trace_->tail()), tailedVersion(versionLog, trace_->tail());
    Session session = makeSession(&tailedDiag);
    session.concluded = [&](bool ok) { concludeRun(RunKind::Upgrade, session, mac, ok); };
    const ClickOutcome outcome = downloadClick(session, target, tailedDiag, &tailedVersion);
    // A parameter file that cannot be prepared ends the click with its own
    // box, before the procedure and its outcome.
    if (outcome == ClickOutcome::Stopped && !quitting_)
        showOutcome(QString("Upgrade of %1 did not start: the parameter file could not be prepared")
                        .arg(QString::fromStdString(mac)),
                    false);
    finishProcedure(session, Procedure::Upgrade, mac, outcome == ClickOutcome::Success);
}

void TMainForm::VersionBtnClick()
{
    MacAddress target{};
    std::optional<KitLock> kit;
    if (busy_ ||
        !checkUpgradeInputs(selectedIp(IFSelectUpgrade), fieldTexts(amac_), services_.boxes, interfaceIp_, target) ||
        !takeKit(kit))
        return;
    const std::string mac = macText(target);
    rememberChoice(mac);
    beginRun("Get Version", mac, OperationSubject{kActionVersionQuery, interfaceName(IFSelectUpgrade), mac});
    QuietLog diagLog(*diagLog_, quiet()), versionLog(*versionLog_, quiet());
    TailedLog tailedDiag(diagLog, trace_->tail()), tailedVersion(versionLog, trace_->tail());
    Session session = makeSession(&tailedDiag);
    session.concluded = [&](bool ok) { concludeRun(RunKind::Version, session, mac, ok); };
    const bool read = versionClick(session, target, &tailedVersion);
    finishProcedure(session, Procedure::VersionQuery, mac, read);
}

void TMainForm::DiagBtnClick()
{
    MacAddress local{}, remote{};
    std::optional<KitLock> kit;
    if (busy_ ||
        !checkDiagnosticInputs(selectedIp(IFSelectDiag), fieldTexts(lmac_), fieldTexts(rmac_), services_.boxes,
                               interfaceIp_, local, remote) ||
        !takeKit(kit))
        return;
    const std::string macs = macText(local) + " to " + macText(remote);
    beginRun("Diagnose", macs,
             OperationSubject{kActionDiagnosis, interfaceName(IFSelectDiag), macText(local), macText(remote)});
    // The loader's reason is already among the children's lines in Details,
    // where the diagnosis's next step goes too: the page has no log.
    Session session = makeSession(nullptr);
    EditsDisplay display(SNREdit, PEREdit, PEEdit);
    session.concluded = [&](bool ok) { concludeRun(RunKind::Diagnosis, session, macs, ok, display.measured()); };
    const bool diagnosed = diagnoseClick(session, local, remote, DiagPEEdit->text().toStdString(), display);
    finishProcedure(session, Procedure::Diagnosis, macText(local) + " and " + macText(remote), diagnosed);
}

void TMainForm::FindBtnClick()
{
    std::optional<KitLock> kit;
    if (busy_ || !checkFindInputs(selectedIp(IFSelectUpgrade), services_.boxes, interfaceIp_) || !takeKit(kit))
        return;
    const std::string interface = interfaceName(IFSelectUpgrade);
    beginRun("Find", interface);
    QuietLog diagLog(*diagLog_, quiet());
    Session session = makeSession(&diagLog);
    diagLog.addLine("-----------------------------------------------");
    const FoundDevices found = findDevices(session, 0, &diagLog);
    showFound(found.devices);
    const QString where = QString::fromStdString(interface);
    QString outcome;
    switch (found.outcome) {
    case FindOutcome::Found:
        outcome = QString("Found %1 on %2")
                      .arg(found.devices.size() == 1 ? QString("1 device") : QString("%1 devices").arg(found.devices.size()),
                           where);
        break;
    case FindOutcome::NoneFound: outcome = QString("No device answered on %1").arg(where); break;
    case FindOutcome::Failed:
        outcome = QString("Find on %1 failed at %2").arg(where, QString::fromStdString(session.stage));
        break;
    }
    concludeRun(RunKind::Find, session, interface, found.outcome == FindOutcome::Found, outcome);
    finishProcedure(session, Procedure::DeviceSearch, interface, found.outcome == FindOutcome::Found);
}

void TMainForm::showFound(const std::vector<MacAddress>& devices)
{
    {
        QSignalBlocker quiet(FoundSelect);
        FoundSelect->clear();
        for (const MacAddress& mac : devices) FoundSelect->addItem(QString::fromStdString(macText(mac)));
        FoundSelect->setCurrentIndex(-1);
        FoundSelect->setPlaceholderText(QString("%1 devices found: pick the target").arg(devices.size()));
        FoundSelect->setVisible(!devices.empty());
    }
    if (devices.size() == 1) {
        FoundSelect->setCurrentIndex(0);
        diagLog_->addLine("Target MAC: " + macText(devices.front()));
    } else if (devices.size() > 1) {
        diagLog_->addLine("Pick the target under the MAC fields.");
    }
}

void TMainForm::fillTarget(const std::string& text)
{
    MacFields fields;
    if (!parseFullMac(text, fields)) return;
    for (std::size_t i = 0; i < fields.size(); ++i) amac_[i]->setText(QString::fromStdString(fields[i]));
}

void TMainForm::PEEditKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    const Qt::KeyboardModifiers chord = Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier;
    if (key == Qt::Key_K && (modifiers & chord) == chord) PEGroupBox->setVisible(true);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == PEEdit && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        PEEditKeyDown(key->key(), key->modifiers());
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace ndx
