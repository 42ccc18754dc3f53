#pragma once
// The six two-digit MAC fields of one address as one entry: typing a second
// digit moves on to the next field, and a whole address pasted (Ctrl+V, the
// context menu, a middle-click, a drop) or scanned into any of them fills all
// six. Everything else is the fields' own editing.

#include <QObject>

#include <array>
#include <functional>
#include <string>

#include "../core/mac_fields.h"

class QLineEdit;

namespace ndx {

class MacEntry : public QObject {
    Q_OBJECT
public:
    // primarySelection: what a middle-click pastes; none: the system's
    // selection, where the platform has one.
    MacEntry(const std::array<QLineEdit*, 6>& fields, std::function<std::string()> primarySelection,
             QObject* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int indexOf(QObject* watched) const;
    void fill(const MacFields& fields);
    void edited(int index);
    bool pasteWhole(const std::string& text);
    void showContextMenu(QLineEdit* field, const QPoint& globalPosition);

    std::array<QLineEdit*, 6> fields_;
    std::function<std::string()> primarySelection_;
    TypedMac typed_;
    int advancedInto_ = -1;  // the field the last move-on went to, while nothing is typed in it
};

}  // namespace ndx
