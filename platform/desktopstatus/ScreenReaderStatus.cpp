#include "platform/desktopstatus/ScreenReaderStatus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <fstream>
#include <string>

namespace ovra::desktopstatus {

namespace {

bool busSaysEnabled() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.a11y.Status") << QStringLiteral("ScreenReaderEnabled");
    get.setAutoStartService(false);
    const QDBusMessage reply = bus.call(get, QDBus::Block, 250);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return false;
    }
    const QVariant value = reply.arguments().front().value<QDBusVariant>().variant();
    return value.typeId() == QMetaType::Bool && value.toBool();
}

}  // namespace

bool processRunning(const char* name, const std::filesystem::path& proc) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(proc, error)) {
        const std::string pid = entry.path().filename().string();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::ifstream comm(entry.path() / "comm");
        std::string command;
        if (std::getline(comm, command) && command == name) {
            return true;
        }
    }
    return false;
}

bool screenReaderRunning() {
    return busSaysEnabled() || processRunning("orca");
}

}  // namespace ovra::desktopstatus
