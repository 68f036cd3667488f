// Every test program runs inside a QApplication (offscreen under ctest), so engine events
// that go through the main thread and widgets both work.

#include <gmock/gmock.h>

#include <QApplication>

int main(int argc, char** argv) {
    // Headless unless told otherwise, also when ctest lists the tests.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
