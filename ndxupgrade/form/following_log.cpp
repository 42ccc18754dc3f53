#include "following_log.h"

#include <QPlainTextEdit>
#include <QScrollBar>

namespace ndx {

FollowingLog::FollowingLog(QPlainTextEdit* memo) : QObject(memo), memo_(memo)
{
    QScrollBar* bar = memo_->verticalScrollBar();
    // Any move of the view (the user's, or the memo's own when its size
    // changes) tells whether it is at the end; a longer log alone moves
    // nothing, so it cannot end the following.
    connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) { following_ = value >= bar->maximum(); });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        if (following_) bar->setValue(maximum);
    });
}

void FollowingLog::addLine(const std::string& line)
{
    append(QString::fromStdString(line));
}

void FollowingLog::append(const QString& line)
{
    const bool follow = following_;
    memo_->appendPlainText(line);
    if (!follow) return;
    memo_->verticalScrollBar()->setValue(memo_->verticalScrollBar()->maximum());
    memo_->horizontalScrollBar()->setValue(memo_->horizontalScrollBar()->minimum());
    following_ = true;
}

void FollowingLog::follow()
{
    following_ = true;
    memo_->verticalScrollBar()->setValue(memo_->verticalScrollBar()->maximum());
}

}  // namespace ndx
