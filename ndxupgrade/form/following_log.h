#pragma once
// A memo that keeps its newest line in view as lines are added, as a
// terminal does: once the user scrolls up to read, the view stays where the
// user left it until the user scrolls back down to the end.

#include <QObject>

#include <string>

#include "../core/seams.h"

class QPlainTextEdit;
class QString;

namespace ndx {

class FollowingLog : public QObject, public LogMemo {
    Q_OBJECT
public:
    explicit FollowingLog(QPlainTextEdit* memo);

    void addLine(const std::string& line) override;
    void append(const QString& line);
    // Shows the newest line again, whatever the user scrolled to.
    void follow();
    bool following() const { return following_; }

private:
    QPlainTextEdit* memo_;
    bool following_ = true;
};

}  // namespace ndx
