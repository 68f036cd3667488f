#pragma once

// The loading-progress window: adds the chosen files to the job list one after another, showing
// each name and the share done, and keeps the names that could not be added.

#include "shell/SkinnedDialog.h"

#include <QStringList>

#include <functional>

class QLabel;
class QProgressBar;
class QTimer;

class TAddFilefrm : public TSkinnedDialog {
    Q_OBJECT

public:
    // `add` adds one file and says whether it could.
    TAddFilefrm(QWidget* parent, const QStringList& files, std::function<bool(const QString&)> add);

    // The file names (without folder) that could not be added.
    const QStringList& Failed() const { return FFailed; }

    QLabel* lblFileName = nullptr;
    QProgressBar* prgTotal = nullptr;
    QTimer* tmrOpenFile = nullptr;

    static constexpr int kPauseMilliseconds = 50;

protected:
    void FirstShow() override;

private:
    void tmrOpenFileTimer();

    QStringList FFiles;
    std::function<bool(const QString&)> FAdd;
    QStringList FFailed;
};
