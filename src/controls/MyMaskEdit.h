#pragma once

// A masked edit box that tells when it loses the keyboard focus (MyonExit); losing the focus
// does not validate the mask.

#include <QLineEdit>

#include <functional>

class TMyMaskEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit TMyMaskEdit(QWidget* parent = nullptr) : QLineEdit(parent) {}

    std::function<void(TMyMaskEdit* Sender)> MyonExit;

protected:
    void focusOutEvent(QFocusEvent* event) override {
        QLineEdit::focusOutEvent(event);
        if (MyonExit)
            MyonExit(this);
    }
};
