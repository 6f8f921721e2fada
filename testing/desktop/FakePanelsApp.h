#pragma once

// A scripted native app on the real accessibility bus whose window holds unnamed panels nested
// without end in sight: every panel holds `wide` more, `deep` levels down, as a layout of
// containers does. Optionally a "Start" button before them, and a panel that declares one
// child but lists `liar` of them. It speaks like Qt (property by property) and never ends:
// whatever a reader asks, it answers at once, so any "not responding" is the reader's own doing.

#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "testing/desktop/AtspiPeer.h"

namespace ovra::testing {

struct PanelShape {
    int wide = 60;
    int deep = 6;
    int liar = 0;        // when above 0, a panel that declares 1 child and lists this many
    bool button = true;  // a "Start" button before the panels
    std::array<std::int32_t, 4> frame{100, 100, 800, 600};  // the window's, on screen
};

class FakePanelsApp {
  public:
    explicit FakePanelsApp(PanelShape shape) : shape_(shape) {
        peer_.start([this](DBusMessage* call) { return answer(call); });
    }

    bool ready() const { return peer_.ready(); }
    const std::string& busName() const { return peer_.busName(); }
    int calls(const std::string& member) { return peer_.calls(member); }

  private:
    // Roles and states by their AT-SPI numbers: application 75, frame 23, panel 39, push button
    // 43; states active 1, enabled 8, sensitive 24, showing 25, visible 30.
    static constexpr std::uint32_t kShown = (1U << 8) | (1U << 24) | (1U << 25) | (1U << 30);

    struct Object {
        std::uint32_t role = 39;
        std::string name;
        std::array<std::int32_t, 4> extents{};
        std::int32_t declared = 0;  // ChildCount
        std::int32_t listed = 0;    // GetChildren
        std::string childPrefix;    // a child's path is this and its index
        std::uint32_t states = kShown;
    };

    // The object at `path`, made up from the path itself: "/w", "/w/b", "/w/p3/p0/p59" (a
    // panel three levels down), "/w/x" and "/w/x/c7" (the liar and its children).
    std::optional<Object> lookup(std::string_view path) const {
        const auto [x, y, w, h] = shape_.frame;
        Object panel;
        panel.extents = {x + 10, y + 50, w - 20, h - 60};
        if (path == AtspiPeer::kRoot) {
            return Object{75, "Panels", {}, 1, 1, "", 0};
        }
        if (path == "/w") {
            const std::int32_t count =
                shape_.wide + (shape_.button ? 1 : 0) + (shape_.liar ? 1 : 0);
            return Object{23, "Panels", shape_.frame, count, count, "/w/", kShown | 1U};
        }
        if (path == "/w/b" && shape_.button) {
            return Object{43, "Start", {x + 10, y + 10, 100, 30}, 0, 0, "", kShown};
        }
        if (path == "/w/x" && shape_.liar > 0) {
            panel.declared = 1;
            panel.listed = shape_.liar;
            panel.childPrefix = "/w/x/c";
            return panel;
        }
        if (path.starts_with("/w/x/c") && shape_.liar > 0) {
            return index(path.substr(6), shape_.liar) ? std::optional(panel) : std::nullopt;
        }
        // Panels: "/p<i>" once per level.
        std::string_view rest = path.substr(std::min<std::size_t>(2, path.size()));
        if (!path.starts_with("/w/p")) {
            return std::nullopt;
        }
        int level = 0;
        while (!rest.empty()) {
            if (!rest.starts_with("/p")) {
                return std::nullopt;
            }
            rest.remove_prefix(2);
            const std::size_t end = std::min(rest.find('/'), rest.size());
            if (!index(rest.substr(0, end), shape_.wide) || ++level > shape_.deep) {
                return std::nullopt;
            }
            rest.remove_prefix(end);
        }
        if (level < shape_.deep) {
            panel.declared = panel.listed = shape_.wide;
            panel.childPrefix = std::string(path) + "/p";
        }
        return panel;
    }

    static bool index(std::string_view digits, int below) {
        int value = -1;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value);
        return error == std::errc() && end == digits.data() + digits.size() && value >= 0 &&
               value < below;
    }

    std::string childPath(const Object& object, int i) const {
        if (object.role == 75) {
            return "/w";
        }
        if (object.role == 23) {
            // The window: the button, the panels, the liar.
            if (shape_.button && i == 0) {
                return "/w/b";
            }
            const int panel = i - (shape_.button ? 1 : 0);
            return panel < shape_.wide ? "/w/p" + std::to_string(panel) : "/w/x";
        }
        return object.childPrefix + std::to_string(i);
    }

    static std::string parentOf(std::string_view path) {
        if (path == "/w") {
            return AtspiPeer::kRoot;
        }
        return std::string(path.substr(0, path.rfind('/')));
    }

    DBusMessage* answer(DBusMessage* call) {
        const std::string_view member = dbus_message_get_member(call);
        const std::string path = dbus_message_get_path(call);
        const char* about = nullptr;
        const char* property = nullptr;
        dbus_message_get_args(call, nullptr, DBUS_TYPE_STRING, &about, DBUS_TYPE_STRING, &property,
                              DBUS_TYPE_INVALID);
        const std::string_view interface = about ? about : "";
        const std::string_view name = property ? property : "";
        const auto object = lookup(path);
        if (!object) {
            return dbus_message_new_error(call, "org.freedesktop.DBus.Error.UnknownObject",
                                          path.c_str());
        }
        DBusMessage* reply = dbus_message_new_method_return(call);
        DBusMessageIter iter, inner;
        dbus_message_iter_init_append(reply, &iter);
        if (member == "Get" && interface == "org.a11y.atspi.Application") {
            AtspiPeer::appendVariant(&iter, "s", DBUS_TYPE_STRING,
                                     name == "ToolkitName" ? &kToolkit : &kVersion);
        } else if (member == "Get" && interface == "org.a11y.atspi.Accessible") {
            if (name == "Name" || name == "Description") {
                const char* text = name == "Name" ? object->name.c_str() : "";
                AtspiPeer::appendVariant(&iter, "s", DBUS_TYPE_STRING, &text);
            } else if (name == "ChildCount") {
                AtspiPeer::appendVariant(&iter, "i", DBUS_TYPE_INT32, &object->declared);
            } else {
                dbus_message_iter_open_container(&iter, DBUS_TYPE_VARIANT, "(so)", &inner);
                peer_.appendRef(&inner, parentOf(path));
                dbus_message_iter_close_container(&iter, &inner);
            }
        } else if (member == "GetRole") {
            dbus_message_iter_append_basic(&iter, DBUS_TYPE_UINT32, &object->role);
        } else if (member == "GetState") {
            const std::uint32_t high = 0;
            dbus_message_iter_open_container(&iter, DBUS_TYPE_ARRAY, "u", &inner);
            dbus_message_iter_append_basic(&inner, DBUS_TYPE_UINT32, &object->states);
            dbus_message_iter_append_basic(&inner, DBUS_TYPE_UINT32, &high);
            dbus_message_iter_close_container(&iter, &inner);
        } else if (member == "GetExtents" && object->role != 75) {
            dbus_message_iter_open_container(&iter, DBUS_TYPE_STRUCT, nullptr, &inner);
            for (std::int32_t v : object->extents) {
                dbus_message_iter_append_basic(&inner, DBUS_TYPE_INT32, &v);
            }
            dbus_message_iter_close_container(&iter, &inner);
        } else if (member == "GetChildren") {
            dbus_message_iter_open_container(&iter, DBUS_TYPE_ARRAY, "(so)", &inner);
            for (int i = 0; i < object->listed; ++i) {
                peer_.appendRef(&inner, childPath(*object, i));
            }
            dbus_message_iter_close_container(&iter, &inner);
        } else if (member == "GetChildAtIndex") {
            dbus_int32_t i = -1;
            dbus_message_get_args(call, nullptr, DBUS_TYPE_INT32, &i, DBUS_TYPE_INVALID);
            peer_.appendRef(&iter, i >= 0 && i < object->listed ? childPath(*object, i)
                                                                : "/org/a11y/atspi/null");
        } else if (member == "GetInterfaces") {
            dbus_message_iter_open_container(&iter, DBUS_TYPE_ARRAY, "s", &inner);
            AtspiPeer::appendString(&inner, "org.a11y.atspi.Accessible");
            AtspiPeer::appendString(&inner, "org.a11y.atspi.Component");
            if (object->role == 43) {
                AtspiPeer::appendString(&inner, "org.a11y.atspi.Action");
            }
            dbus_message_iter_close_container(&iter, &inner);
        } else if (member == "GetAttributes") {
            dbus_message_iter_open_container(&iter, DBUS_TYPE_ARRAY, "{ss}", &inner);
            dbus_message_iter_close_container(&iter, &inner);
        } else if (object->role == 43 && member == "GetActions") {
            DBusMessageIter action;
            dbus_message_iter_open_container(&iter, DBUS_TYPE_ARRAY, "(sss)", &inner);
            dbus_message_iter_open_container(&inner, DBUS_TYPE_STRUCT, nullptr, &action);
            for (const char* text : {"Press", "", ""}) {
                AtspiPeer::appendString(&action, text);
            }
            dbus_message_iter_close_container(&inner, &action);
            dbus_message_iter_close_container(&iter, &inner);
        } else if (object->role == 43 && member == "GetName") {
            AtspiPeer::appendString(&iter, "Press");
        } else if (object->role == 43 && member == "DoAction") {
            const dbus_bool_t done = TRUE;
            dbus_message_iter_append_basic(&iter, DBUS_TYPE_BOOLEAN, &done);
        } else {
            dbus_message_unref(reply);
            // Like Qt's bridge for what it does not offer.
            return dbus_message_new_error(call, "org.freedesktop.DBus.Error.UnknownMethod",
                                          std::string(member).c_str());
        }
        return reply;
    }

    static constexpr const char* kToolkit = "Qt";
    static constexpr const char* kVersion = "5.15.8";

    PanelShape shape_;
    AtspiPeer peer_;  // last: its thread ends before the rest goes
};

}  // namespace ovra::testing
