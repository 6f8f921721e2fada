#include "platform/desktopstatus/AppearanceSource.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>

namespace ovra::desktopstatus {

namespace {

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kSettings = QStringLiteral("org.freedesktop.portal.Settings");
const QString kNamespace = QStringLiteral("org.freedesktop.appearance");
const QString kKey = QStringLiteral("color-scheme");
constexpr int kPortalTimeoutMs = 500;

// The portal wraps the value in one or two variants depending on its version.
QVariant unwrapped(QVariant value) {
    for (int depth = 0; depth < 3 && value.canConvert<QDBusVariant>() &&
                        value.userType() == qMetaTypeId<QDBusVariant>();
         ++depth) {
        value = value.value<QDBusVariant>().variant();
    }
    return value;
}

std::optional<unsigned> schemeOf(const QVariant& value) {
    const QVariant scheme = unwrapped(value);
    if (scheme.typeId() != QMetaType::UInt) {
        return std::nullopt;
    }
    return scheme.toUInt();
}

}  // namespace

AppearanceSource::AppearanceSource(desktop::DesktopSettings& settings, QObject* parent)
    : QObject(parent), settings_(settings) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    bus.connect(QString(), kPortalPath, kSettings, QStringLiteral("SettingChanged"), this,
                SLOT(settingChanged(QString, QString, QDBusVariant)));
    QDBusMessage read =
        QDBusMessage::createMethodCall(kPortal, kPortalPath, kSettings, QStringLiteral("Read"));
    read << kNamespace << kKey;
    read.setAutoStartService(false);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(read, kPortalTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusMessage reply = call->reply();
                if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
                    portalSays(schemeOf(reply.arguments().front()));
                }
            });
}

void AppearanceSource::portalSays(std::optional<unsigned> scheme) {
    const std::optional<bool> before = prefersDark();
    portal_ = scheme;
    if (prefersDark() != before && changed_) {
        changed_();
    }
}

AppearanceSource::~AppearanceSource() = default;

std::optional<bool> AppearanceSource::fromPortal(std::optional<unsigned> value) {
    if (value == 1U) {
        return true;
    }
    if (value == 2U) {
        return false;
    }
    return std::nullopt;
}

std::optional<bool> AppearanceSource::fromGnome(const std::optional<std::string>& value) {
    if (value == "prefer-dark") {
        return true;
    }
    if (value == "prefer-light") {
        return false;
    }
    return std::nullopt;
}

std::optional<bool> AppearanceSource::prefersDark() {
    if (const auto portal = fromPortal(portal_)) {
        return portal;
    }
    return fromGnome(settings_.text("org.gnome.desktop.interface", "color-scheme"));
}

void AppearanceSource::settingChanged(const QString& space, const QString& key,
                                      const QDBusVariant& value) {
    if (space == kNamespace && key == kKey) {
        portal_ = schemeOf(value.variant());
        if (changed_) {
            changed_();
        }
    }
}

}  // namespace ovra::desktopstatus
