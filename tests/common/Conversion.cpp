#include "common/Conversion.h"

#include "conversion/U_Converting.h"
#include "engine/encoder/FFEncode.h"

#include <QTimer>

bool RunConversionWindow(TConvertingfrm& window, int* result) {
    bool timedOut = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        timedOut = true;
        window.Encoder().Stop(true);
        window.done(QDialog::Rejected);
    });
    guard.start(60000);
    const int ended = window.exec();
    if (result != nullptr)
        *result = ended;
    return !timedOut;
}

bool ConvertCheckedItems(TJobList& list) {
    TNoShutdown shutdown;
    TConvertingfrm conversion(nullptr, list, shutdown, [] {});
    return RunConversionWindow(conversion);
}
