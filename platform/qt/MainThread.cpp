#include "platform/qt/MainThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <utility>

namespace ovra {

void postToMainThread(std::function<void()> work) {
    auto* app = QCoreApplication::instance();
    if (app == nullptr) {
        return;
    }
    QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

}  // namespace ovra
