#pragma once

#include "../core/seams.h"

class QWidget;

namespace ndx {

class QtMessageBoxes : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void show(const std::string& caption, const std::string& text, BoxIcon icon) override;
    bool ask(const std::string& caption, const std::string& text) override;

private:
    QWidget* parent_;
};

}  // namespace ndx
