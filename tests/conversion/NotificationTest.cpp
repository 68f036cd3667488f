// The desktop notification at the end of a batch, received by a fake notification service on a
// private D-Bus daemon of the test's own.

#include "conversion/U_Converting.h"
#include "conversion/U_shutDownRequest.h"
#include "core/AppSettings.h"
#include "core/MrvLog.h"
#include "core/U_TreelistModel.h"
#include "engine/FFLoad.h"
#include "engine/probe/FFDecode.h"

#include "common/Conversion.h"
#include "common/FakePrompts.h"
#include "common/TestMedia.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// What a desktop's notification server offers, recording what it is told.
class TFakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList Received;

public slots:
    uint Notify(const QString& application, uint, const QString&, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap&, int) {
        Received << application + " | " + summary + " | " + body;
        return uint(Received.size());
    }
};

namespace {

class NotificationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FFLoader().LoadLibraries(TLibrarySet::All()));
        qputenv("REELCASTER_HOME", home.path().toUtf8());
        StartActivityLog(home.path());
        LoadSettings(home.path());
        output = home.filePath("out") + '/';
        QDir().mkpath(output);
        // A bus of the test's own: what the desktop's would do, without the desktop.
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        ASSERT_TRUE(daemon.waitForReadyRead(10000)) << "dbus-daemon is needed (package dbus)";
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        ASSERT_FALSE(address.isEmpty());
    }
    void TearDown() override {
        QDBusConnection::disconnectFromBus("service");
        QDBusConnection::disconnectFromBus("client");
        daemon.kill();
        daemon.waitForFinished();
        ReleaseSettings();
        ReleaseActivityLog();
        qunsetenv("REELCASTER_HOME");
    }
    // Converts a copy of a short file; `during` runs at the first progress report.
    void Convert(const std::function<void(TConvertingfrm&)>& during) {
        const QString source = home.filePath(QStringLiteral("src%1.mp4").arg(++runs));
        ASSERT_TRUE(QFile::copy(testmedia::Path(testmedia::kVideoOnly), source));
        TJobList list;
        ASSERT_TRUE(list.AddSourceFile(source, decoder, output));
        TConvertingfrm window(nullptr, list, shutdown, [] {});
        window.Notifier = TDesktopNotifier(QDBusConnection::connectToBus(address, "client"));
        AtFirstReport(window, {}, [&] { during(window); });
        ASSERT_TRUE(RunConversionWindow(window));
        ASSERT_TRUE(QFile::exists(output + QStringLiteral("src%1.flv").arg(runs)));
    }

    QTemporaryDir home;
    QString output;
    QProcess daemon;
    QString address;
    TFakePrompts prompts;
    TNoShutdown shutdown;
    TFFDecoder decoder;
    int runs = 0;
};

} // namespace

TEST_F(NotificationTest, ABatchEndingBehindAnotherWindowIsToldToTheDesktop) {
    QWidget elsewhere;
    const auto workElsewhere = [&](TConvertingfrm&) {
        elsewhere.show();
        elsewhere.activateWindow();
    };
    // No notification service: nothing told, nothing goes wrong.
    Convert(workElsewhere);
    EXPECT_TRUE(prompts.Calls.contains("Information: File conversion is completed!"));

    TFakeNotifications server;
    QDBusConnection service = QDBusConnection::connectToBus(address, "service");
    ASSERT_TRUE(service.registerObject("/org/freedesktop/Notifications", &server,
                                       QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService("org.freedesktop.Notifications"));

    Convert(workElsewhere);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !server.Received.isEmpty(); }, 10000));
    EXPECT_EQ(server.Received,
              QStringList{"Reelcaster | Reelcaster | File conversion is completed!"});

    // The user watches the conversion window: its own message says it all.
    server.Received.clear();
    Convert([](TConvertingfrm& window) {
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    });
    EXPECT_FALSE(QTest::qWaitFor([&] { return !server.Received.isEmpty(); }, 500));
}

#include "NotificationTest.moc"
