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

std::shared_ptr<bool> AtFirstReport(TConvertingfrm& window,
                                    std::function<bool(const TProgressInfo&)> wanted,
                                    std::function<void()> action) {
    auto ran = std::make_shared<bool>(false);
    const TProgressEvent windowProgress = window.Encoder().OnProgress;
    window.Encoder().OnProgress = [windowProgress, ran, wanted = std::move(wanted),
                                   action = std::move(action)](QObject* sender,
                                                               TProgressInfo* info) {
        windowProgress(sender, info);
        if (*ran || (wanted && !wanted(*info)))
            return;
        *ran = true;
        action();
    };
    return ran;
}

bool ConvertCheckedItems(TJobList& list) {
    TNoShutdown shutdown;
    TConvertingfrm conversion(nullptr, list, shutdown, [] {});
    return RunConversionWindow(conversion);
}
