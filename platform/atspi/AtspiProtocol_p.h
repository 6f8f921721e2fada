#pragma once

// Private to the AT-SPI backend: the names of AT-SPI's D-Bus protocol, how its errors read in
// the AX vocabulary, and the handle the backend gives out for one element of another app.

#include <atspi/atspi-constants.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/accessibility/AccessibilityBackend.h"
#include "platform/atspi/DBusConnection.h"

namespace ovra::atspi::session {

using ax::AXError;
using Clock = std::chrono::steady_clock;

inline constexpr const char* kRootPath = "/org/a11y/atspi/accessible/root";
inline constexpr const char* kNullPath = "/org/a11y/atspi/null";
inline constexpr const char* kRegistry = "org.a11y.atspi.Registry";
inline constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
inline constexpr const char* kComponent = "org.a11y.atspi.Component";
inline constexpr const char* kAction = "org.a11y.atspi.Action";
inline constexpr const char* kText = "org.a11y.atspi.Text";
inline constexpr const char* kValue = "org.a11y.atspi.Value";
inline constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
inline constexpr const char* kApplication = "org.a11y.atspi.Application";
inline constexpr std::uint32_t kLabelledBy = ATSPI_RELATION_LABELLED_BY;

inline std::chrono::microseconds micros(double seconds) {
    return std::chrono::microseconds(static_cast<std::int64_t>(seconds * 1e6));
}

inline bool isRootPath(const std::string& path) {
    return path == kRootPath;
}

// Properties.Get of one property of an interface.
inline Message propertyGet(const std::string& busName, const std::string& path,
                           const char* interface, const char* property) {
    auto call = methodCall(busName, path, kProperties, "Get");
    if (call) {
        dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING,
                                 &property, DBUS_TYPE_INVALID);
    }
    return call;
}

// One element of another app: its bus name and object path, on the connection to the
// accessibility bus it was read on. A bus name means nothing on another connection: a new bus
// hands the same names to other apps. A web document presented as a scroll area has a second
// element on the same object: its web area, inside it.
class AtspiRef final : public ax::ElementRef {
  public:
    AtspiRef(std::string bus, std::string path, std::uint64_t connection, bool webArea = false)
        : bus_(std::move(bus)),
          path_(std::move(path)),
          connection_(connection),
          webArea_(webArea) {}
    std::string key() const override { return bus_ + path_ + (webArea_ ? "#web-area" : ""); }
    const std::string& bus() const { return bus_; }
    const std::string& path() const { return path_; }
    std::uint64_t connection() const { return connection_; }
    bool webArea() const { return webArea_; }

  private:
    std::string bus_;
    std::string path_;
    std::uint64_t connection_;
    bool webArea_;
};

inline AXError errorFor(const Reply& reply) {
    const std::string& name = reply.error;
    if (name == kNoReply || name == "org.freedesktop.DBus.Error.Timeout" ||
        name == "org.freedesktop.DBus.Error.TimedOut") {
        return AXError::timeout;
    }
    if (name == "org.freedesktop.DBus.Error.ServiceUnknown" ||
        name == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
        name == "org.freedesktop.DBus.Error.UnknownObject" || name == kDisconnected) {
        return AXError::appGone;
    }
    if (name == "org.freedesktop.DBus.Error.UnknownMethod" ||
        name == "org.freedesktop.DBus.Error.UnknownInterface" ||
        name == "org.freedesktop.DBus.Error.UnknownProperty" ||
        name == "org.freedesktop.DBus.Error.InvalidArgs") {
        return AXError::unsupportedAttribute;
    }
    return AXError::cannotComplete;
}

}  // namespace ovra::atspi::session
