#include "shell/U_Main.h"

#include "shell/AppFolders.h"
#include "shell/AppSettings.h"
#include "shell/WorkFolders.h"

#include <QDir>

TMainfrm::TMainfrm(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Morvane Reelcaster"));
    resize(1000, 660);

    SetTempPath(QueryTempPath());
    // The default folders exist whatever the settings point at.
    const QString data = DataFolder();
    QDir().mkpath(data + QStringLiteral("Output"));
    QDir().mkpath(data + QStringLiteral("Snapshot"));
}

TMainfrm::~TMainfrm() {
    RemoveScaledWatermarkFolder();
}
