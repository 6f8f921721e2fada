// Native presses by the way that works, and rows of native lists and trees chosen through their
// container's selection.

#include <algorithm>

#include "platform/atspi/AtspiMenuPress_p.h"
#include "platform/atspi/AtspiNativePress_p.h"

namespace ovra::atspi::session {

namespace {

constexpr const char* kSelection = "org.a11y.atspi.Selection";
// How often the row is looked at while its selection comes.
constexpr double kRowPoll = 0.02;

struct Known {
    std::uint32_t role = 0;
    std::optional<reply::ObjectRef> parent;
};

std::optional<Known> known(NodeCache& nodes, const std::string& busName, const std::string& path) {
    Node& n = nodes.node(busName, path);
    nodes.settle(n, [](Node& t) { return t.role.settled() && t.props.settled(); });
    if (!n.hasRole()) {
        return std::nullopt;
    }
    return Known{n.role.value, n.props.done() ? n.props.value.parent : std::nullopt};
}

}  // namespace

std::optional<RowContainer> rowContainer(AtspiSession& session, const std::string& busName,
                                         const std::string& path) {
    auto self = known(session.nodes(), busName, path);
    if (!self || !isRowRole(self->role)) {
        return std::nullopt;
    }
    std::string child = path;
    std::optional<reply::ObjectRef> above = self->parent;
    // A cell inside a row, or inside a cell holding its parts: the nearest container holds the
    // selection.
    for (int level = 0; level < 3 && above && above->bus == busName; ++level) {
        auto parent = known(session.nodes(), busName, above->path);
        if (!parent) {
            return std::nullopt;
        }
        if (isRowContainerRole(parent->role)) {
            RequestPipeline& requests = session.requests();
            auto names =
                requests.call(methodCall(busName, above->path, kAccessible, "GetInterfaces"),
                              requests.timeoutFor(busName));
            const auto list = names.ok() ? reply::stringArray(names.message.get()) : std::nullopt;
            const bool selects =
                list && std::find(list->begin(), list->end(), kSelection) != list->end();
            return RowContainer{above->path, parent->role, selects, child};
        }
        if (parent->role != static_cast<std::uint32_t>(ATSPI_ROLE_TABLE_ROW) &&
            parent->role != static_cast<std::uint32_t>(ATSPI_ROLE_TABLE_CELL)) {
            return std::nullopt;
        }
        child = above->path;
        above = parent->parent;
    }
    return std::nullopt;
}

std::optional<bool> selectedNow(AtspiSession& session, const std::string& busName,
                                const std::string& path) {
    const auto states = freshStates(session.requests(), busName, path);
    if (!states || !states->has(ATSPI_STATE_SELECTABLE)) {
        return std::nullopt;
    }
    return states->has(ATSPI_STATE_SELECTED);
}

std::optional<AXError> selectRow(AtspiSession& session, const std::string& busName,
                                 const std::string& path, const RowContainer& container) {
    RequestPipeline& requests = session.requests();
    // The place among the container's children of the row (or of the cell holding the element)
    // is the number its selection goes by.
    auto index =
        requests.call(methodCall(busName, container.child, kAccessible, "GetIndexInParent"),
                      requests.timeoutFor(busName));
    if (!index.ok()) {
        return errorFor(index);
    }
    dbus_int32_t at = -1;
    if (!dbus_message_get_args(index.message.get(), nullptr, DBUS_TYPE_INT32, &at,
                               DBUS_TYPE_INVALID) ||
        at < 0) {
        return AXError::unsupportedAttribute;
    }
    auto call = methodCall(busName, container.path, kSelection, "SelectChild");
    if (!call) {
        return AXError::cannotComplete;
    }
    dbus_message_append_args(call.get(), DBUS_TYPE_INT32, &at, DBUS_TYPE_INVALID);
    auto done = requests.call(std::move(call), requests.timeoutFor(busName));
    session.noteChanged(busName);  // the choice changes the app; read it afresh
    if (!done.ok()) {
        return errorFor(done);
    }
    if (reply::boolean(done.message.get()) == false) {
        return AXError::unsupportedAttribute;
    }
    const auto until = Clock::now() + micros(kRowWait);
    while (selectedNow(session, busName, path) != true) {
        if (Clock::now() >= until) {
            return AXError::unconfirmed;
        }
        requests.pumpUntil([] { return false; }, kRowPoll);
    }
    return std::nullopt;
}

std::optional<AXError> pressNative(AtspiSession& session, const std::string& busName,
                                   const std::string& path,
                                   const std::vector<std::string>& actions) {
    if (actions.empty()) {
        // GTK 4's menu button: the button inside it opens the menu.
        if (auto inner = innerButton(session, busName, path)) {
            if (auto innerIndex = atspiActionFor("AXPress", inner->actions)) {
                return pressMenuOpener(session, busName, inner->path, *innerIndex, path);
            }
        }
    }
    NodeCache& nodes = session.nodes();
    Node& n = nodes.node(busName, path);
    nodes.settle(n, [](Node& t) { return t.role.settled(); });
    if (!n.hasRole()) {
        return n.role.failed() ? n.role.error : AXError::cannotComplete;
    }
    PressFacts facts{n.role.value, actions};
    const std::string& kit = session.apps().knownToolkit(busName).name;
    facts.qt = kit == "Qt" || kit == "qt";
    const auto container =
        isRowRole(n.role.value) ? rowContainer(session, busName, path) : std::nullopt;
    if (container) {
        facts.containerRole = container->role;
    }
    // Where it lies tells a toolbar's checkable button from a check box.
    if (facts.qt && !container) {
        const auto self = known(nodes, busName, path);
        const auto parent = self && self->parent && self->parent->bus == busName
                                ? known(nodes, busName, self->parent->path)
                                : std::nullopt;
        if (parent) {
            facts.parentRole = parent->role;
        }
    }
    const auto index = atspiActionFor("AXPress", actions);
    switch (pressWay(facts)) {
        case PressWay::click:
            return AXError::unsupportedAttribute;
        case PressWay::menu:
            return pressMenuOpener(session, busName, path, index.value_or(0));
        case PressWay::action:
            break;
    }
    auto call = methodCall(busName, path, kAction, "DoAction");
    if (!call) {
        return AXError::cannotComplete;
    }
    dbus_int32_t i = index.value_or(0);
    dbus_message_append_args(call.get(), DBUS_TYPE_INT32, &i, DBUS_TYPE_INVALID);
    RequestPipeline& requests = session.requests();
    const auto sent = Clock::now();
    auto done = requests.call(std::move(call), requests.timeoutFor(busName));
    session.noteChanged(busName);  // the press changes the app; read it afresh
    if (!done.ok()) {
        const AXError error = errorFor(done);
        if (error == AXError::timeout) {
            return unansweredVerdict(lookAfterUnanswered(session, busName, sent));
        }
        return error;
    }
    if (reply::boolean(done.message.get()) == false) {
        return AXError::cannotComplete;
    }
    return std::nullopt;
}

std::optional<AXError> pickRow(AtspiSession& session, const std::string& busName,
                               const std::string& path) {
    const auto container = rowContainer(session, busName, path);
    if (!container || !container->selects) {
        return AXError::unsupportedAttribute;
    }
    return selectRow(session, busName, path, *container);
}

}  // namespace ovra::atspi::session
