#include "platform/qt/MainThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <utility>

#include "platform/qt/MainThreadActivity.h"

namespace ovra {

void postToMainThread(std::function<void()> work) {
    auto* app = QCoreApplication::instance();
    if (app == nullptr) {
        return;
    }
    QMetaObject::invokeMethod(
        app,
        [work = std::move(work)] {
            activity::running(work.target_type());
            work();
        },
        Qt::QueuedConnection);
}

}  // namespace ovra
