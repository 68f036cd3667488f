#include "shell/U_AddFile.h"

#include "core/U_TreelistFormat.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

TAddFilefrm::TAddFilefrm(QWidget* parent, const QStringList& files, TAddFile add)
    : TSkinnedDialog(parent, QStringLiteral("Loading Progress"), FrameSet, false), FFiles(files),
      FAdd(std::move(add)) {
    setObjectName(QStringLiteral("AddFilefrm"));
    setFixedSize(356, 139);
    auto* layout = new QVBoxLayout(Content());
    layout->setContentsMargins(16, 12, 16, 14);
    layout->setSpacing(8);
    auto* caption = new QLabel(QStringLiteral("Adding Files:"), Content());
    lblFileName = new QLabel(Content());
    lblFileName->setObjectName(QStringLiteral("lblFileName"));
    lblFileName->setMinimumWidth(300);
    prgTotal = new QProgressBar(Content());
    prgTotal->setObjectName(QStringLiteral("prgTotal"));
    prgTotal->setRange(0, 100);
    prgTotal->setValue(0);
    prgTotal->setTextVisible(true);
    layout->addWidget(caption);
    layout->addWidget(lblFileName);
    layout->addWidget(prgTotal);
    layout->addStretch(1);

    tmrOpenFile = new QTimer(this);
    tmrOpenFile->setObjectName(QStringLiteral("tmrOpenFile"));
    tmrOpenFile->setInterval(1);
    connect(tmrOpenFile, &QTimer::timeout, this, &TAddFilefrm::tmrOpenFileTimer);

    CentreOnDesktop(this);
}

void TAddFilefrm::FirstShow() {
    FFailed.clear();
    tmrOpenFile->start();
}

void TAddFilefrm::tmrOpenFileTimer() {
    tmrOpenFile->stop();
    for (int i = 0; i < FFiles.size(); ++i) {
        const QString name = QFileInfo(FFiles[i]).fileName();
        lblFileName->setText(FitLabelText(lblFileName->fontMetrics(), lblFileName->width(), name));
        QString reason;
        if (!FAdd(FFiles[i], &reason))
            FFailed << (reason.isEmpty() ? name : name + QStringLiteral(": ") + reason);
        prgTotal->setValue((i + 1) * 100 / int(FFiles.size()));
        // The window is painted between files.
        QEventLoop pause;
        QTimer::singleShot(kPauseMilliseconds, &pause, &QEventLoop::quit);
        pause.exec(QEventLoop::ExcludeUserInputEvents);
    }
    accept();
}
