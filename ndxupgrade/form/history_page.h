#pragma once
// The History page: the recent operations of the history (only those of the
// device in the Upgrade page's fields once a whole MAC is typed there), the
// log lines of the one selected, its parameter backup exported on request,
// and the shared database to use.

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

#include "../core/seams.h"
#include "../history/operation_record.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace ndx {

class HistoryStore;

class HistoryPage : public QWidget {
    Q_OBJECT
public:
    struct Services {
        MessageBoxes& boxes;
        // The device to show alone ("" for all).
        std::function<std::string()> macFilter;
        // Where an exported backup goes; "" when the user gave up.
        std::function<std::string(const std::string& suggested)> exportPath;
    };
    HistoryPage(Services services, QWidget* parent = nullptr);

    // None: the page stays empty.
    void setStore(HistoryStore* store);
    void setSharedDatabase(const std::string& text);
    // Reads the records again.
    void refresh();

signals:
    // The user typed another shared database ("" for this PC's file).
    void sharedDatabaseChanged(const QString& text);

private:
    void showSelected();
    void exportSelected();

    Services services_;
    HistoryStore* store_ = nullptr;
    std::vector<OperationRecord> records_;
    QTableWidget* HistoryTable = nullptr;
    QPlainTextEdit* HistoryLog = nullptr;
    QPushButton* ExportBackupBtn = nullptr;
    QLineEdit* HistoryDbEdit = nullptr;
    QLabel* HistoryWhere = nullptr;
};

}  // namespace ndx
