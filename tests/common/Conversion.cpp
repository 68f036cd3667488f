#include "common/Conversion.h"

#include "conversion/U_Converting.h"
#include "conversion/U_shutDownRequest.h"
#include "engine/encoder/FFEncode.h"

#include <QTimer>

namespace {

class NoShutdown : public ISystemShutdown {
public:
    bool PowerOff(QString*) override { return false; }
};

} // namespace

bool ConvertCheckedItems(TJobList& list) {
    NoShutdown shutdown;
    TConvertingfrm conversion(nullptr, list, shutdown, [] {});
    bool timedOut = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        timedOut = true;
        conversion.Encoder().Stop(true);
        conversion.done(QDialog::Rejected);
    });
    guard.start(60000);
    conversion.exec();
    return !timedOut;
}
