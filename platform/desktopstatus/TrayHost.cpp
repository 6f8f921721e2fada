#include "platform/desktopstatus/TrayHost.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QTimer>

namespace ovra::desktopstatus {

namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");

TrayHost hostFrom(const QDBusMessage& reply) {
    if (reply.type() == QDBusMessage::ReplyMessage) {
        return TrayHost::answers;
    }
    const QString error = reply.errorName();
    // The bus's answers for a name no one owns.
    if (error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
        error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")) {
        return TrayHost::none;
    }
    // Nothing came back in time, or the connection is gone.
    if (error == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
        error == QLatin1String("org.freedesktop.DBus.Error.Timeout") ||
        error == QLatin1String("org.freedesktop.DBus.Error.TimedOut") ||
        error == QLatin1String("org.freedesktop.DBus.Error.Disconnected") ||
        error == QLatin1String("org.freedesktop.DBus.Error.NoServer") || error.isEmpty()) {
        return TrayHost::silent;
    }
    // Any other error came from the watcher itself: it answers.
    return TrayHost::answers;
}

}  // namespace

void askTrayHost(QObject& context, std::function<void(TrayHost)> answer) {
    askTrayHost(QDBusConnection::sessionBus(), context, std::move(answer));
}

void askTrayHost(const QDBusConnection& bus, QObject& context,
                 std::function<void(TrayHost)> answer) {
    if (!bus.isConnected()) {
        // No bus: Qt makes an XEmbed icon without asking anything.
        QTimer::singleShot(0, &context, [answer = std::move(answer)] { answer(TrayHost::none); });
        return;
    }
    // The property Qt reads first. The bus answers at once when no one owns the name, the
    // watcher itself otherwise.
    QDBusMessage get = QDBusMessage::createMethodCall(
        kWatcher, QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kWatcher << QStringLiteral("IsStatusNotifierHostRegistered");
    get.setAutoStartService(false);
    auto* call = new QDBusPendingCallWatcher(bus.asyncCall(get, kTrayAnswerMs), &context);
    QObject::connect(call, &QDBusPendingCallWatcher::finished, &context,
                     [answer = std::move(answer)](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         answer(hostFrom(finished->reply()));
                     });
}

}  // namespace ovra::desktopstatus
