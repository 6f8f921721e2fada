#include "platform/desktopstatus/AccessibilityStatus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QTimer>

namespace ovra::desktopstatus {

namespace {

void askStatus(const QString& property, std::function<void(bool)> answer) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        QTimer::singleShot(0, [answer = std::move(answer)] { answer(false); });
        return;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.a11y.Status") << property;
    get.setAutoStartService(false);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(get, 500));
    QObject::connect(
        watcher, &QDBusPendingCallWatcher::finished, watcher,
        [answer = std::move(answer)](QDBusPendingCallWatcher* call) {
            call->deleteLater();
            const QDBusMessage reply = call->reply();
            bool enabled = false;
            if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
                const QVariant value = reply.arguments().front().value<QDBusVariant>().variant();
                enabled = value.typeId() == QMetaType::Bool && value.toBool();
            }
            answer(enabled);
        });
}

}  // namespace

void askAccessibilityEnabled(std::function<void(bool)> answer) {
    askStatus(QStringLiteral("IsEnabled"), std::move(answer));
}

void askScreenReaderEnabled(std::function<void(bool)> answer) {
    askStatus(QStringLiteral("ScreenReaderEnabled"), std::move(answer));
}

}  // namespace ovra::desktopstatus
