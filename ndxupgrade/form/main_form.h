#pragma once
// TMainForm: the technician's window. It holds the controls and the form
// state; the procedures themselves live in the widget-free core.

#include <QWidget>

#include <array>
#include <string>

#include "../core/interface_status.h"
#include "../core/mac_fields.h"
#include "../core/seams.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;

namespace ndx {

struct FormServices {
    InterfaceSource& interfaces;
    ProcessRunner& runner;
    MessageBoxes& boxes;
    std::string base;  // the current directory at start-up
};

class TMainForm : public QWidget {
    Q_OBJECT
public:
    explicit TMainForm(const FormServices& services, QWidget* parent = nullptr);

    // True from the click of DownloadBtn, VersionBtn or DiagBtn until its
    // procedure ends; those buttons stay disabled meanwhile, so a second click
    // cannot start a second loader on the same device.
    bool procedureRunning() const { return busy_; }

public slots:
    void ExitBtnClick();
    void IFSelectUpgradeChange();
    void IFSelectDiagChange();
    void Timer1Timer();
    void DownloadBtnClick();
    void VersionBtnClick();
    void DiagBtnClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using FieldEdits = std::array<QLineEdit*, 6>;

    QWidget* buildUpgradeSheet();
    QWidget* buildDiagnosticSheet();
    QWidget* buildMacRow(const QString& prefix, FieldEdits& edits);
    void fillInterfaceCombo(QComboBox* combo);
    bool refreshPage(QComboBox* combo, QLabel* panel);
    void refreshUpgradePage();
    void refreshDiagnosticPage();
    void stepField(QLineEdit* edit, StepDirection direction);
    MacFields fieldTexts(const FieldEdits& edits) const;
    std::string selectedIp(QComboBox* combo) const;
    void setBusy(bool busy);
    void PEEditKeyDown(int key, Qt::KeyboardModifiers modifiers);

    FormServices services_;
    InterfaceTable interfaceTable_;
    bool dhcpWait_ = false;
    bool busy_ = false;
    bool refreshing_ = false;
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
    QLineEdit* SNREdit = nullptr;
    QLineEdit* PEREdit = nullptr;
    QLineEdit* PEEdit = nullptr;
    QLineEdit* DiagPEEdit = nullptr;
    QGroupBox* PEGroupBox = nullptr;
    QTimer* Timer1 = nullptr;
};

}  // namespace ndx
