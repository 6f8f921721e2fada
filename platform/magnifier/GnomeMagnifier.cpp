#include "platform/magnifier/GnomeMagnifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <algorithm>
#include <cmath>
#include <limits>

namespace ovra::magnifier {

namespace {

const QString kService = QStringLiteral("org.gnome.Magnifier");
const QString kPath = QStringLiteral("/org/gnome/Magnifier");
const QString kInterface = QStringLiteral("org.gnome.Magnifier");
const QString kZoomRegion = QStringLiteral("org.gnome.Magnifier.ZoomRegion");
constexpr int kTimeoutMs = 500;

int coordinate(double value) {
    constexpr double limit = std::numeric_limits<int>::max() / 2.0;
    return static_cast<int>(std::lround(std::clamp(value, -limit, limit)));
}

}  // namespace

GnomeMagnifier::GnomeMagnifier(desktop::DesktopSettings& settings) : settings_(settings) {}

GnomeMagnifier::~GnomeMagnifier() = default;

bool GnomeMagnifier::switchedOn(desktop::DesktopSettings& settings) {
    return settings.boolean("org.gnome.desktop.a11y.applications", "screen-magnifier-enabled")
        .value_or(false);
}

bool GnomeMagnifier::isOn() {
    return switchedOn(settings_);
}

bool GnomeMagnifier::followsFocus() {
    const auto tracking = settings_.text("org.gnome.desktop.a11y.magnifier", "focus-tracking");
    return tracking && *tracking != "none";
}

void GnomeMagnifier::changeFocus(const Rect& rect) {
    if (!rect.isFinite() || rect.isNull()) {
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    QDBusMessage regions = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                          QStringLiteral("getZoomRegions"));
    regions.setAutoStartService(false);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(regions, kTimeoutMs));
    const Point middle = rect.center();
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [middle](QDBusPendingCallWatcher* call) {
                         call->deleteLater();
                         const QDBusPendingReply<QList<QDBusObjectPath>> reply = *call;
                         if (reply.isError() || reply.value().isEmpty()) {
                             return;
                         }
                         QDBusMessage shift = QDBusMessage::createMethodCall(
                             kService, reply.value().front().path(), kZoomRegion,
                             QStringLiteral("shiftContentsTo"));
                         shift << coordinate(middle.x) << coordinate(middle.y);
                         shift.setAutoStartService(false);
                         QDBusConnection::sessionBus().asyncCall(shift, kTimeoutMs);
                     });
}

}  // namespace ovra::magnifier
