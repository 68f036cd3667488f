// Every test program runs inside a QApplication (offscreen under ctest), so engine events
// that go through the main thread and widgets both work.

#include <gmock/gmock.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>

namespace {

QtMessageHandler gDefaultHandler = nullptr;

// The offscreen platform cannot shape windows; saying so for every window only buries the
// messages that matter.
void QuietOffscreenLimits(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.startsWith(QLatin1String("This plugin does not support")))
        return;
    if (gDefaultHandler != nullptr)
        gDefaultHandler(type, context, text);
    else
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

} // namespace

// Sanitizer builds: leaks are errors too, and a report names its place. These hooks stand in
// for environment variables, which ctest's discovered tests cannot be given reliably.
extern "C" const char* __asan_default_options() {
    return "detect_leaks=1:abort_on_error=0";
}
extern "C" const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1";
}

int main(int argc, char** argv) {
    // Headless unless told otherwise, also when ctest lists the tests.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Tests never depend on the machine's sound device (build machines have none): SDL's
    // dummy driver consumes the sound in real time like a device would.
    qputenv("SDL_AUDIODRIVER", "dummy");
    // Qt wants a private runtime folder; test machines often have none.
    QTemporaryDir runtimeDir;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        QFile::setPermissions(runtimeDir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                     QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtimeDir.path().toUtf8());
    }
    gDefaultHandler = qInstallMessageHandler(QuietOffscreenLimits);
    QApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
