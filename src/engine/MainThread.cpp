#include "engine/MainThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace engine {

bool IsMainThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

void RunInMainThread(const std::function<void()>& call) {
    if (IsMainThread()) {
        call();
        return;
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), call, Qt::BlockingQueuedConnection);
}

} // namespace engine
