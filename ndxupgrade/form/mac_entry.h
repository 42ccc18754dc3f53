#pragma once
// The six two-digit MAC fields of one address as one entry: typing a second
// digit moves on to the next field, and a whole address pasted or scanned
// into any of them fills all six. Everything else is the fields' own editing.

#include <QObject>

#include <array>

#include "../core/mac_fields.h"

class QLineEdit;

namespace ndx {

class MacEntry : public QObject {
    Q_OBJECT
public:
    MacEntry(const std::array<QLineEdit*, 6>& fields, QObject* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int indexOf(QObject* watched) const;
    void fill(const MacFields& fields);
    void edited(int index);
    bool pasteWhole();
    void showContextMenu(QLineEdit* field, const QPoint& globalPosition);

    std::array<QLineEdit*, 6> fields_;
    TypedMac typed_;
    int advancedInto_ = -1;  // the field the last move-on went to, while nothing is typed in it
};

}  // namespace ndx
