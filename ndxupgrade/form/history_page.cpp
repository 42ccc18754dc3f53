#include "history_page.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "../history/history_commands.h"
#include "../history/history_output.h"
#include "../history/history_store.h"

namespace ndx {
namespace {

// The page shows the newest ones; --history has them all.
const int kRecordsShown = 500;

const char* const kColumns[] = {"Started (UTC)", "Action", "MAC", "Result", "Step", "Version", "Backup", "Host"};

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

}  // namespace

HistoryPage::HistoryPage(Services services, QWidget* parent) : QWidget(parent), services_(std::move(services))
{
    setObjectName("History");
    auto* column = new QVBoxLayout(this);
    HistoryWhere = new QLabel;
    HistoryWhere->setObjectName("HistoryWhere");
    HistoryWhere->setWordWrap(true);
    column->addWidget(HistoryWhere);

    HistoryTable = new QTableWidget(0, static_cast<int>(std::size(kColumns)));
    HistoryTable->setObjectName("HistoryTable");
    QStringList headers;
    for (const char* h : kColumns) headers << h;
    HistoryTable->setHorizontalHeaderLabels(headers);
    HistoryTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    HistoryTable->setSelectionMode(QAbstractItemView::SingleSelection);
    HistoryTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    HistoryTable->verticalHeader()->setVisible(false);
    HistoryTable->horizontalHeader()->setStretchLastSection(true);
    HistoryLog = new QPlainTextEdit;
    HistoryLog->setObjectName("HistoryLog");
    HistoryLog->setReadOnly(true);
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(HistoryTable);
    split->addWidget(HistoryLog);
    column->addWidget(split, 1);

    auto* row = new QHBoxLayout;
    ExportBackupBtn = new QPushButton("Export backup");
    ExportBackupBtn->setObjectName("ExportBackupBtn");
    ExportBackupBtn->setToolTip("write the selected upgrade's parameter backup as a 428-byte file and its hex text");
    ExportBackupBtn->setEnabled(false);
    row->addWidget(ExportBackupBtn);
    row->addStretch(1);
    row->addWidget(new QLabel("Shared database:"));
    HistoryDbEdit = new QLineEdit;
    HistoryDbEdit->setObjectName("HistoryDbEdit");
    HistoryDbEdit->setPlaceholderText("postgresql://user@host:port/db (empty: this PC only)");
    HistoryDbEdit->setMinimumWidth(300);
    row->addWidget(HistoryDbEdit);
    column->addLayout(row);

    connect(HistoryTable, &QTableWidget::itemSelectionChanged, this, &HistoryPage::showSelected);
    connect(ExportBackupBtn, &QPushButton::clicked, this, &HistoryPage::exportSelected);
    connect(HistoryDbEdit, &QLineEdit::editingFinished, this,
            [this] { emit sharedDatabaseChanged(HistoryDbEdit->text().trimmed()); });
}

void HistoryPage::setStore(HistoryStore* store)
{
    store_ = store;
    refresh();
}

void HistoryPage::setSharedDatabase(const std::string& text)
{
    QSignalBlocker quiet(HistoryDbEdit);
    HistoryDbEdit->setText(q(text));
}

void HistoryPage::refresh()
{
    records_.clear();
    HistoryTable->setRowCount(0);
    HistoryLog->clear();
    ExportBackupBtn->setEnabled(false);
    if (!store_) {
        HistoryWhere->setText("No history is kept.");
        return;
    }
    std::string error;
    std::unique_ptr<HistoryDatabase> db = store_->openForReading(error);
    if (!db) {
        HistoryWhere->setText(q("The history cannot be read: " + error));
        return;
    }
    HistoryFilter filter;
    filter.mac = services_.macFilter ? services_.macFilter() : std::string();
    filter.limit = kRecordsShown;
    if (!db->query(filter, records_, error)) {
        HistoryWhere->setText(q("The history cannot be read: " + error));
        return;
    }
    HistoryWhere->setText(q("History in " + db->location().shown() +
                            (filter.mac.empty() ? std::string() : ", device " + filter.mac) + ": " +
                            std::to_string(records_.size()) + (records_.size() == 1 ? " operation" : " operations") +
                            (static_cast<int>(records_.size()) == kRecordsShown ? " (the newest)" : "")));
    HistoryTable->setRowCount(static_cast<int>(records_.size()));
    for (std::size_t i = 0; i < records_.size(); ++i) {
        const OperationRecord& r = records_[i];
        const QString cells[] = {q(startedToTheSecond(r)),
                                 q(r.action),
                                 q(devicesText(r)),
                                 q(r.result + (r.unsent ? " (unsent)" : "")),
                                 q(r.failedStep),
                                 q(versionsText(r, "")),
                                 q(r.backupStatus),
                                 q(r.host)};
        for (int c = 0; c < static_cast<int>(std::size(cells)); ++c)
            HistoryTable->setItem(static_cast<int>(i), c, new QTableWidgetItem(cells[c]));
    }
    HistoryTable->resizeColumnsToContents();
}

void HistoryPage::showSelected()
{
    const QList<QTableWidgetItem*> selected = HistoryTable->selectedItems();
    const int row = selected.isEmpty() ? -1 : selected.front()->row();
    if (row < 0 || static_cast<std::size_t>(row) >= records_.size()) {
        HistoryLog->clear();
        ExportBackupBtn->setEnabled(false);
        return;
    }
    HistoryLog->setPlainText(q(records_[static_cast<std::size_t>(row)].log));
    ExportBackupBtn->setEnabled(records_[static_cast<std::size_t>(row)].backupStatus == "stored");
}

void HistoryPage::exportSelected()
{
    const QList<QTableWidgetItem*> selected = HistoryTable->selectedItems();
    const int row = selected.isEmpty() ? -1 : selected.front()->row();
    if (!store_ || row < 0 || static_cast<std::size_t>(row) >= records_.size()) return;
    const OperationRecord& r = records_[static_cast<std::size_t>(row)];
    std::string error;
    std::unique_ptr<HistoryDatabase> db = store_->openForReading(error);
    ParameterBackup backup;
    bool found = false;
    if (!db || !db->backupOf(r.uid, backup, found, error) || !found) {
        services_.boxes.show("Error", "Can't read the backup of " + r.mac + (error.empty() ? "" : ": " + error),
                             BoxIcon::Error);
        return;
    }
    std::string suggested = "backup-" + r.mac + "-" + r.startedAt.substr(0, 10) + ".bin";
    const std::string path =
        services_.exportPath
            ? services_.exportPath(suggested)
            : QFileDialog::getSaveFileName(this, "Export backup", q(suggested), "Parameter image (*.bin)").toStdString();
    if (path.empty()) return;
    if (!writeBackupFiles(path, backup, error)) {
        services_.boxes.show("Error", "Can't write the backup " + error, BoxIcon::Error);
        return;
    }
    services_.boxes.show("Information",
                         "Backup of " + backup.mac + " taken " + backup.takenAt + " written to " + path + " and " +
                             path + ".hex",
                         BoxIcon::Information);
}

}  // namespace ndx
