// The application entry.

#include "conversion/U_Converting.h"
#include "conversion/U_shutDownRequest.h"
#include "core/AppFolders.h"
#include "core/AppSettings.h"
#include "core/MrvLog.h"
#include "core/SysInfoUtils.h"
#include "core/UnixSignals.h"
#include "editing/U_Clip.h"
#include "editing/U_Edit.h"
#include "engine/encoder/FFEncode.h"
#include "engine/widgets/TPreviewer.h"
#include "shell/AppTheme.h"
#include "shell/DesktopPrompts.h"
#include "shell/EngineLibraries.h"
#include "shell/InstanceMailbox.h"
#include "shell/SessionEnd.h"
#include "shell/U_Main.h"
#include "shell/U_OnlyApps.h"
#include "shell/U_about.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <exception>
#include <memory>
#include <utility>

namespace {

constexpr int kSplashMilliseconds = 800;

void WaitWhilePainting(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

int RunApplication(int& argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Morvane Reelcaster"));
    QGuiApplication::setDesktopFileName(QStringLiteral("reelcaster"));
    ApplyAppTheme(app);
    TDesktopPrompts desktopPrompts;
    const TPromptOverride prompts(desktopPrompts);

    // A termination request ends the session's windows, or skips them when it comes earlier.
    bool terminationRequested = false;
    QPointer<TMainfrm> mainForm;
    HandleTerminationSignals([&] {
        terminationRequested = true;
        if (mainForm)
            EndSession(mainForm);
    });

    auto splash = std::make_unique<Taboutfrm>();
    splash->ShowAsSplash();
    WaitWhilePainting(kSplashMilliseconds);

    WriteSystemInformation(ActivityLog());

    // A task's floating preview window, for encoders asked to show one.
    TCustomEncoder::SetDefaultPreviewerFactory([] { return std::make_unique<TPreviewer>(); });

    TMainfrm mainWindow;
    if (!LoadEngineLibraries(mainWindow.Encoder(), mainWindow.Player(), &mainWindow))
        return 1;
    mainForm = &mainWindow;
    TLogindShutdown shutdown;
    mainWindow.OpenConversion = [&mainWindow, &shutdown] {
        TConvertingfrm conversion(&mainWindow, mainWindow.List(), shutdown,
                                  [&mainWindow] { mainWindow.btnBrowseClick(); });
        conversion.exec();
    };
    mainWindow.OpenClip = [&mainWindow](TJobRow* owner) {
        TClipfrm clip(mainWindow.Player(), mainWindow.List(), owner, &mainWindow);
        clip.exec();
    };
    mainWindow.OpenEdit = [&mainWindow](TJobRow* row) {
        TEditfrm edit(mainWindow.Player(), row->Item, &mainWindow);
        edit.exec();
    };
    mainWindow.show();
    splash.reset();

    // Files named on the command line (the file manager's "Open With") are added once the
    // window is up; so are those that later starts hand over.
    const QStringList files = ExistingFiles(QApplication::arguments().mid(1));
    if (!files.isEmpty())
        QTimer::singleShot(0, &mainWindow,
                           [&mainWindow, files] { mainWindow.AddDroppedFiles(files); });
    TInstanceMailbox mailbox;
    QStringList handedOver;
    QTimer handOverWhenIdle;
    handOverWhenIdle.setInterval(300);
    QObject::connect(&handOverWhenIdle, &QTimer::timeout, &mainWindow, [&] {
        // Not into a list that a conversion or another loading is working on.
        if (QApplication::activeModalWidget() != nullptr)
            return;
        handOverWhenIdle.stop();
        mainWindow.AddDroppedFiles(std::exchange(handedOver, {}));
    });
    QObject::connect(&mailbox, &TInstanceMailbox::FilesReceived, &mainWindow,
                     [&](const QStringList& received) {
                         handedOver += received;
                         if (mainWindow.isMinimized())
                             mainWindow.showNormal();
                         mainWindow.raise();
                         mainWindow.activateWindow();
                         handOverWhenIdle.start();
                     });
    if (!mailbox.Listen())
        ActivityLog().WriteError(QStringLiteral("Files opened later cannot reach this window."));

    return terminationRequested ? 0 : QApplication::exec();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("Reelcaster"));
    QCoreApplication::setOrganizationName(QStringLiteral("Morvane"));

    // A second instance leaves at once and touches nothing, not even the log of the first.
    TOnlyApps onlyApp;
    if (!onlyApp.TryAcquire()) {
        // Files opened with a running Reelcaster go to it.
        QStringList arguments;
        for (int i = 1; i < argc; ++i)
            arguments << QString::fromLocal8Bit(argv[i]);
        const QStringList files = ExistingFiles(arguments);
        if (!files.isEmpty()) {
            QCoreApplication app(argc, argv);
            TInstanceMailbox::Send(files);
        }
        return 0;
    }

    const QString dataFolder = DataFolder();
    StartActivityLog(dataFolder);
    LoadSettings(dataFolder);

    int status = 1;
    try {
        status = RunApplication(argc, argv);
    } catch (const std::exception& error) {
        ActivityLog().WriteError(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ActivityLog().WriteError(QStringLiteral("Unexpected error; the application ends."));
    }

    ReleaseSettings();
    ReleaseActivityLog();
    return status;
}
