#include "platform/x11/OwnWindows.h"

#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <QGuiApplication>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <string>

#include "platform/x11/QtXcbEvents.h"
#include "platform/x11/Xcb.h"

namespace ovra::x11 {

namespace {

// The X screen number of $DISPLAY (":0.1" is screen 1); 0 when it names none.
int screenNumber() {
    const char* display = std::getenv("DISPLAY");
    if (!display) {
        return 0;
    }
    const std::string name(display);
    const auto colon = name.rfind(':');
    const auto dot = name.find('.', colon == std::string::npos ? 0 : colon);
    return dot == std::string::npos ? 0 : std::atoi(name.c_str() + dot + 1);
}

// The root window of screen `number`, or of the last screen when there are fewer.
xcb_window_t rootWindow(xcb_connection_t* connection, int number) {
    xcb_screen_iterator_t roots = xcb_setup_roots_iterator(xcb_get_setup(connection));
    if (roots.rem == 0) {
        return XCB_NONE;
    }
    for (int i = 0; i < number && roots.rem > 1; ++i) {
        xcb_screen_next(&roots);
    }
    return roots.data->root;
}

// Atoms by name, asked for all at once: one round trip.
template <std::size_t N>
std::array<xcb_atom_t, N> internAtoms(xcb_connection_t* connection,
                                      const std::array<std::string_view, N>& names) {
    std::array<xcb_intern_atom_cookie_t, N> cookies;
    for (std::size_t i = 0; i < N; ++i) {
        cookies[i] = xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(names[i].size()),
                                     names[i].data());
    }
    std::array<xcb_atom_t, N> atoms;
    for (std::size_t i = 0; i < N; ++i) {
        const auto reply = own(xcb_intern_atom_reply(connection, cookies[i], nullptr));
        atoms[i] = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }
    return atoms;
}

std::optional<std::uint32_t> cardinal(xcb_connection_t* connection, xcb_window_t window,
                                      xcb_atom_t property) {
    const auto cookie = xcb_get_property(connection, 0, window, property, XCB_ATOM_CARDINAL, 0, 1);
    const auto reply = own(xcb_get_property_reply(connection, cookie, nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4) {
        return std::nullopt;
    }
    return *static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
}

template <class T>
T clamped(int value) {
    return static_cast<T>(
        std::clamp<int>(value, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
}

std::vector<xcb_rectangle_t> xcbRectangles(const std::vector<ShapeRect>& rectangles) {
    std::vector<xcb_rectangle_t> out;
    out.reserve(rectangles.size());
    for (const ShapeRect& r : rectangles) {
        out.push_back({clamped<std::int16_t>(r.x), clamped<std::int16_t>(r.y),
                       clamped<std::uint16_t>(r.width), clamped<std::uint16_t>(r.height)});
    }
    return out;
}

class XcbInputCatcher final : public InputCatcher {
  public:
    XcbInputCatcher(xcb_connection_t* connection, xcb_window_t root, xcb_window_t covered,
                    std::function<void(const CaughtButton&)> caught)
        : connection_(connection),
          root_(root),
          covered_(covered),
          catcher_(xcb_generate_id(connection)),
          events_([this, caught = std::move(caught)](const xcb_generic_event_t& event) {
              const int type = event.response_type & 0x7f;
              if (type != XCB_BUTTON_PRESS && type != XCB_BUTTON_RELEASE) {
                  return;
              }
              // Press and release events share one layout.
              const auto& button = reinterpret_cast<const xcb_button_press_event_t&>(event);
              if (button.event == catcher_ && caught) {
                  caught({button.event_x, button.event_y, button.detail, type == XCB_BUTTON_PRESS,
                          button.time});
              }
          }) {
        const std::array<std::uint32_t, 2> values{
            1, XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE};
        // Override-redirect: the window manager neither frames nor moves it.
        xcb_create_window(connection_, 0, catcher_, root_, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                          XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values.data());
    }
    ~XcbInputCatcher() override {
        xcb_destroy_window(connection_, catcher_);
        xcb_flush(connection_);
    }
    XcbInputCatcher(const XcbInputCatcher&) = delete;
    XcbInputCatcher& operator=(const XcbInputCatcher&) = delete;

    void cover(const std::vector<ShapeRect>& rectangles) override {
        xcb_connection_t* c = connection_;
        if (rectangles.empty()) {
            xcb_unmap_window(c, catcher_);
            xcb_flush(c);
            return;
        }
        const auto geometry =
            own(xcb_get_geometry_reply(c, xcb_get_geometry(c, covered_), nullptr));
        const auto tree = own(xcb_query_tree_reply(c, xcb_query_tree(c, covered_), nullptr));
        const auto place = own(xcb_translate_coordinates_reply(
            c, xcb_translate_coordinates(c, covered_, root_, 0, 0), nullptr));
        if (!geometry || !tree || !place) {
            return;  // the covered window is gone
        }
        // Just above the covered window when it stands on the root, as override-redirect windows
        // do; else above every window.
        const bool sibling = tree->parent == root_;
        std::vector<std::uint32_t> values{static_cast<std::uint32_t>(place->dst_x),
                                          static_cast<std::uint32_t>(place->dst_y), geometry->width,
                                          geometry->height};
        std::uint16_t mask = XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                             XCB_CONFIG_WINDOW_HEIGHT | XCB_CONFIG_WINDOW_STACK_MODE;
        if (sibling) {
            mask |= XCB_CONFIG_WINDOW_SIBLING;
            values.push_back(covered_);
        }
        values.push_back(XCB_STACK_MODE_ABOVE);
        xcb_configure_window(c, catcher_, mask, values.data());
        const std::vector<xcb_rectangle_t> shape = xcbRectangles(rectangles);
        xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED,
                             catcher_, 0, 0, static_cast<std::uint32_t>(shape.size()),
                             shape.data());
        xcb_map_window(c, catcher_);
        xcb_flush(c);
    }

  private:
    xcb_connection_t* connection_;
    xcb_window_t root_;
    xcb_window_t covered_;
    xcb_window_t catcher_;
    EventWatch events_;
};

}  // namespace

struct OwnWindows::Impl {
    xcb_connection_t* connection = nullptr;
    int screen = 0;
    xcb_window_t root = XCB_NONE;

    xcb_atom_t compositorSelection() {
        return internAtom(connection, "_NET_WM_CM_S" + std::to_string(screen));
    }
};

OwnWindows::OwnWindows(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
OwnWindows::~OwnWindows() = default;

std::unique_ptr<OwnWindows> OwnWindows::open() {
    auto* app = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!app || !app->connection()) {
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->connection = app->connection();
    impl->screen = screenNumber();
    impl->root = rootWindow(impl->connection, impl->screen);
    if (impl->root == XCB_NONE) {
        return nullptr;
    }
    return std::unique_ptr<OwnWindows>(new OwnWindows(std::move(impl)));
}

void OwnWindows::setInputPassesThrough(WindowId window, bool passes) {
    if (passes) {
        xcb_shape_rectangles(impl_->connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT,
                             XCB_CLIP_ORDERING_UNSORTED, window, 0, 0, 0, nullptr);
    } else {
        xcb_shape_mask(impl_->connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, window, 0, 0,
                       XCB_NONE);
    }
}

void OwnWindows::setVisibleShape(WindowId window,
                                 const std::optional<std::vector<ShapeRect>>& rectangles) {
    if (!rectangles) {
        xcb_shape_mask(impl_->connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, window, 0, 0,
                       XCB_NONE);
        return;
    }
    const std::vector<xcb_rectangle_t> shape = xcbRectangles(*rectangles);
    xcb_shape_rectangles(impl_->connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING,
                         XCB_CLIP_ORDERING_YX_BANDED, window, 0, 0,
                         static_cast<std::uint32_t>(shape.size()), shape.data());
}

std::unique_ptr<InputCatcher> OwnWindows::catchInput(
    WindowId window, std::function<void(const CaughtButton&)> caught) {
    return std::make_unique<XcbInputCatcher>(impl_->connection, impl_->root, window,
                                             std::move(caught));
}

void OwnWindows::sync() {
    xcb_connection_t* c = impl_->connection;
    own(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

void OwnWindows::keepOnEveryDesktop(WindowId window) {
    xcb_connection_t* c = impl_->connection;
    const auto atoms = internAtoms<6>(
        c, {"_NET_WM_STATE_ABOVE", "_NET_WM_STATE_STICKY", "_NET_WM_STATE_SKIP_TASKBAR",
            "_NET_WM_STATE_SKIP_PAGER", "_NET_WM_STATE", "_NET_WM_DESKTOP"});
    const std::array<xcb_atom_t, 4> states{atoms[0], atoms[1], atoms[2], atoms[3]};
    // Qt adds its own states to these when it maps the window.
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atoms[4], XCB_ATOM_ATOM, 32,
                        static_cast<std::uint32_t>(states.size()), states.data());
    const std::uint32_t everyDesktop = 0xFFFFFFFF;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atoms[5], XCB_ATOM_CARDINAL, 32, 1,
                        &everyDesktop);
    xcb_flush(c);
}

bool OwnWindows::bringForward(WindowId window, std::optional<std::uint32_t> eventTime) {
    xcb_connection_t* c = impl_->connection;
    const auto source = static_cast<std::uint32_t>(RequestSource::application);
    const auto atoms =
        internAtoms<3>(c, {"_NET_CURRENT_DESKTOP", "_NET_WM_DESKTOP", "_NET_ACTIVE_WINDOW"});
    if (const auto desktop = cardinal(c, impl_->root, atoms[0])) {
        sendToWindowManager(c, impl_->root, window, atoms[1], {*desktop, source, 0});
    }
    if (eventTime) {
        sendToWindowManager(c, impl_->root, window, atoms[2], {source, *eventTime, XCB_NONE});
    }
    xcb_flush(c);
    return eventTime.has_value();
}

bool OwnWindows::compositorRuns() {
    xcb_connection_t* c = impl_->connection;
    const auto owner = own(xcb_get_selection_owner_reply(
        c, xcb_get_selection_owner(c, impl_->compositorSelection()), nullptr));
    return owner && owner->owner != XCB_NONE;
}

std::unique_ptr<Watch> OwnWindows::watchCompositor(std::function<void(bool runs)> changed) {
    xcb_connection_t* c = impl_->connection;
    const xcb_atom_t selection = impl_->compositorSelection();
    const auto version =
        own(xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 5, 0), nullptr));
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_xfixes_id);
    if (selection == XCB_ATOM_NONE || !version || !extension || !extension->present) {
        return nullptr;
    }
    xcb_xfixes_select_selection_input(c, impl_->root, selection,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    xcb_flush(c);
    const std::uint8_t notifyType = extension->first_event + XCB_XFIXES_SELECTION_NOTIFY;
    return std::make_unique<EventWatch>([selection, notifyType, changed = std::move(changed)](
                                            const xcb_generic_event_t& event) {
        if ((event.response_type & 0x7f) != notifyType) {
            return;
        }
        const auto& notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t&>(event);
        if (notify.selection == selection) {
            changed(notify.owner != XCB_NONE);
        }
    });
}

std::unique_ptr<Watch> OwnWindows::watchCurrentDesktop(std::function<void()> switched) {
    const xcb_atom_t current = internAtom(impl_->connection, "_NET_CURRENT_DESKTOP");
    return std::make_unique<EventWatch>(
        [current, switched = std::move(switched)](const xcb_generic_event_t& event) {
            if ((event.response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
                reinterpret_cast<const xcb_property_notify_event_t&>(event).atom == current) {
                switched();
            }
        });
}

std::unique_ptr<Watch> OwnWindows::watchKeyboardTaken(WindowId window,
                                                      std::function<void()> taken) {
    xcb_connection_t* c = impl_->connection;
    // Every window this connection makes (all of Qt's) has an id inside its resource range.
    const xcb_setup_t* setup = xcb_get_setup(c);
    const std::uint32_t base = setup->resource_id_base;
    const std::uint32_t mask = setup->resource_id_mask;
    return std::make_unique<EventWatch>(
        [c, window, base, mask, taken = std::move(taken)](const xcb_generic_event_t& event) {
            if ((event.response_type & 0x7f) != XCB_FOCUS_OUT) {
                return;
            }
            const auto& out = reinterpret_cast<const xcb_focus_out_event_t&>(event);
            // A grab starting (mode Grab) lends the keyboard until it ends; focus going to a child
            // window stays inside; Pointer details only follow the pointer.
            const bool moved =
                out.mode == XCB_NOTIFY_MODE_NORMAL || out.mode == XCB_NOTIFY_MODE_WHILE_GRABBED;
            if (out.event != window || !moved || out.detail == XCB_NOTIFY_DETAIL_INFERIOR ||
                out.detail == XCB_NOTIFY_DETAIL_POINTER) {
                return;
            }
            // Where the focus is now, not where this event says it went: it may have come back.
            const auto focus = own(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
            if (!focus) {
                return;
            }
            const bool ours = focus->focus != XCB_NONE &&
                              focus->focus != XCB_INPUT_FOCUS_POINTER_ROOT &&
                              (focus->focus & ~mask) == base;
            if (!ours) {
                taken();
            }
        });
}

}  // namespace ovra::x11
