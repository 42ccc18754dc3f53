#include "mac_entry.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>

namespace ndx {
namespace {

bool isModifierKey(int key)
{
    return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_Meta ||
           key == Qt::Key_AltGr || key == Qt::Key_CapsLock;
}

std::string clipboardText()
{
    return QGuiApplication::clipboard()->text().toStdString();
}

std::string systemSelection()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    return clipboard->supportsSelection() ? clipboard->text(QClipboard::Selection).toStdString() : std::string();
}

}  // namespace

MacEntry::MacEntry(const std::array<QLineEdit*, 6>& fields, std::function<std::string()> primarySelection,
                   QObject* parent)
    : QObject(parent), fields_(fields),
      primarySelection_(primarySelection ? std::move(primarySelection) : systemSelection)
{
    for (int i = 0; i < 6; ++i) {
        fields_[i]->installEventFilter(this);
        connect(fields_[i], &QLineEdit::textEdited, this, [this, i] { edited(i); });
    }
}

int MacEntry::indexOf(QObject* watched) const
{
    for (int i = 0; i < 6; ++i)
        if (fields_[i] == watched) return i;
    return -1;
}

void MacEntry::fill(const MacFields& fields)
{
    for (int i = 0; i < 6; ++i) fields_[i]->setText(QString::fromStdString(fields[i]));
    fields_[5]->setFocus(Qt::OtherFocusReason);
    fields_[5]->end(false);
    advancedInto_ = -1;
}

void MacEntry::edited(int index)
{
    QLineEdit* field = fields_[index];
    if (advancedInto_ == index) advancedInto_ = -1;
    if (index == 5 || field->text().size() != 2 || field->cursorPosition() != 2) return;
    QLineEdit* next = fields_[index + 1];
    next->setFocus(Qt::OtherFocusReason);
    // Selected, so the next two keys replace what it holds.
    next->selectAll();
    advancedInto_ = index + 1;
}

bool MacEntry::pasteWhole(const std::string& text)
{
    MacFields fields;
    if (!parseFullMac(text, fields)) return false;
    fill(fields);
    return true;
}

void MacEntry::showContextMenu(QLineEdit* field, const QPoint& globalPosition)
{
    QMenu* menu = field->createStandardContextMenu();
    if (auto* paste = menu->findChild<QAction*>(QStringLiteral("edit-paste"))) {
        disconnect(paste, &QAction::triggered, nullptr, nullptr);
        connect(paste, &QAction::triggered, field, [this, field] {
            if (!pasteWhole(clipboardText())) field->paste();
        });
    }
    menu->exec(globalPosition);
    delete menu;
}

bool MacEntry::eventFilter(QObject* watched, QEvent* event)
{
    const int index = indexOf(watched);
    if (index < 0) return QObject::eventFilter(watched, event);
    QLineEdit* field = fields_[index];

    // Moving by hand (a click, Tab) ends a typed run; our own moves do not.
    if ((event->type() == QEvent::FocusIn && static_cast<QFocusEvent*>(event)->reason() != Qt::OtherFocusReason) ||
        event->type() == QEvent::MouseButtonPress) {
        typed_.reset();
        advancedInto_ = -1;
    } else if (event->type() == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton) {
        // The field's own middle-click paste would keep two characters.
        return pasteWhole(primarySelection_());
    } else if (event->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        if (drop->mimeData()->hasText() && pasteWhole(drop->mimeData()->text().toStdString())) {
            drop->acceptProposedAction();
            return true;
        }
    } else if (event->type() == QEvent::ContextMenu) {
        showContextMenu(field, static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    } else if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Paste)) {
            typed_.reset();
            return pasteWhole(clipboardText());
        }
        if (isModifierKey(key->key())) return false;
        if (key->text().size() != 1) {
            typed_.reset();
            return false;
        }
        const char c = key->text().at(0).toLatin1();
        MacFields fields;
        if (typed_.key(c, fields)) {
            fill(fields);
            return true;
        }
        // The separator after a pair that moved on belongs to the pair, not
        // to the next field.
        const bool untouched = field->text().isEmpty() || field->selectedText() == field->text();
        if ((c == ':' || c == '-') && index == advancedInto_ && untouched) return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace ndx
