#pragma once

// The loading-progress window: adds the chosen files to the job list one after another, showing
// each name and the share done, and keeps the names that could not be added with the reasons.

#include "shell/SkinnedDialog.h"

#include <QStringList>

#include <functional>

class QLabel;
class QProgressBar;
class QTimer;

class TAddFilefrm : public TSkinnedDialog {
    Q_OBJECT

public:
    // Adds one file; false, with the reason, when it could not.
    using TAddFile = std::function<bool(const QString& file, QString* reason)>;
    TAddFilefrm(QWidget* parent, const QStringList& files, TAddFile add);

    // "name: reason" (the name without folder) for each file that could not be added.
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
    TAddFile FAdd;
    QStringList FFailed;
};
