#pragma once

// The main window.

#include <QWidget>

class TMainfrm : public QWidget {
    Q_OBJECT

public:
    explicit TMainfrm(QWidget* parent = nullptr);
    ~TMainfrm() override;
};
