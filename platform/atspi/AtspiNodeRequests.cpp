// The reads of one element: the requests for its parts, each sent once and kept in its node, and
// the fallbacks for toolkits that answer only some ways of asking.

#include "platform/atspi/AtspiSession.h"

namespace ovra::atspi::session {

Node& AtspiSession::node(const std::string& busName, const std::string& path) {
    std::string key = busName + path;
    auto it = nodes.find(key);
    if (it == nodes.end()) {
        auto fresh = std::make_unique<Node>();
        fresh->bus = busName;
        fresh->path = path;
        it = nodes.emplace(std::move(key), std::move(fresh)).first;
    }
    return *it->second;
}

Node* AtspiSession::find(const std::string& key) {
    auto it = nodes.find(key);
    return it == nodes.end() ? nullptr : it->second.get();
}

void AtspiSession::requestBase(Node& n, bool urgent) {
    // The hot path of a warm reading: nothing to ask, and no message built for nothing.
    if (!n.role.unread() && !n.states.unread() && !n.props.unread() && !n.extents.unread()) {
        return;
    }
    request(n, &Node::role, methodCall(n.bus, n.path, kAccessible, "GetRole"), reply::u32, urgent);
    request(
        n, &Node::states, methodCall(n.bus, n.path, kAccessible, "GetState"),
        [](DBusMessage* m) -> std::optional<StateSet> {
            auto words = reply::u32Array(m);
            if (!words || words->empty()) {
                return std::nullopt;
            }
            return StateSet::fromWords((*words)[0], words->size() > 1 ? (*words)[1] : 0);
        },
        urgent);
    requestProps(n, urgent);
    if (isRootPath(n.path)) {
        // Application objects have no extents.
        n.extents.failWith(AXError::unsupportedAttribute);
    } else if (n.extents.unread()) {
        request(
            n, &Node::extents, extentsCall(n),
            [](DBusMessage* m) -> std::optional<Rect> {
                auto values = reply::i32Struct(m);
                if (!values || values->size() != 4) {
                    return std::nullopt;
                }
                return Rect{static_cast<double>((*values)[0]), static_cast<double>((*values)[1]),
                            static_cast<double>((*values)[2]), static_cast<double>((*values)[3])};
            },
            urgent);
    }
}

Message AtspiSession::extentsCall(const Node& n) const {
    auto call = methodCall(n.bus, n.path, kComponent, "GetExtents");
    // Root-window space; GTK 4 has only window-relative frames and complains for every
    // screen frame asked of it, so it is asked for what it gives anyway.
    dbus_uint32_t type = knownToolkit(n.bus).windowRelativeExtents ? ATSPI_COORD_TYPE_WINDOW
                                                                   : ATSPI_COORD_TYPE_SCREEN;
    if (call) {
        dbus_message_append_args(call.get(), DBUS_TYPE_UINT32, &type, DBUS_TYPE_INVALID);
    }
    return call;
}

void AtspiSession::requestProps(Node& n, bool urgent) {
    if (!n.props.unread()) {
        return;
    }
    n.props.state = Part<reply::AccessibleProps>::State::pending;
    if (!knownToolkit(n.bus).answersGetAll) {
        requestPropsOneByOne(n, urgent);
        return;
    }
    const std::string key = n.key();
    enqueue(
        n.bus, propertyCall(n.bus, n.path, "GetAll", nullptr),
        [this, key, urgent](Reply reply) {
            Node* target = find(key);
            if (target == nullptr) {
                return;
            }
            if (reply.ok()) {
                if (auto props = reply::accessibleProps(reply.message.get())) {
                    target->props.set(std::move(*props));
                } else {
                    target->props.failWith(AXError::wrongType);
                }
            } else if (errorFor(reply) == AXError::unsupportedAttribute) {
                requestPropsOneByOne(*target, urgent);
                return;
            } else {
                target->props.failWith(errorFor(reply));
            }
            followUps(*target);
        },
        urgent);
}

Message AtspiSession::propertyCall(const std::string& busName, const std::string& path,
                                   const char* method, const char* property) {
    auto call = methodCall(busName, path, kProperties, method);
    const char* interface = kAccessible;
    if (call) {
        dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_INVALID);
        if (property != nullptr) {
            dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &property, DBUS_TYPE_INVALID);
        }
    }
    return call;
}

void AtspiSession::requestPropsOneByOne(Node& n, bool urgent) {
    struct Collected {
        reply::AccessibleProps props;
        int missing = 4;
        bool answered = false;
        AXError error = AXError::cannotComplete;
    };
    auto collected = std::make_shared<Collected>();
    const std::string key = n.key();
    for (const char* property : {"Name", "Description", "ChildCount", "Parent"}) {
        enqueue(
            n.bus, propertyCall(n.bus, n.path, "Get", property),
            [this, key, collected, property](Reply reply) {
                const std::string_view name = property;
                if (reply.ok()) {
                    collected->answered = true;
                    DBusMessage* m = reply.message.get();
                    if (name == "Name") {
                        collected->props.name = reply::variantString(m);
                    } else if (name == "Description") {
                        collected->props.description = reply::variantString(m);
                    } else if (name == "ChildCount") {
                        if (auto count = reply::variantNumber(m);
                            count && *count >= 0 && *count <= 2.0e9) {
                            collected->props.childCount = static_cast<std::int32_t>(*count);
                        }
                    } else {
                        collected->props.parent = reply::objectRef(m);
                    }
                } else {
                    collected->error = errorFor(reply);
                }
                if (--collected->missing > 0) {
                    return;
                }
                if (Node* target = find(key)) {
                    if (collected->answered) {
                        target->props.set(std::move(collected->props));
                    } else {
                        target->props.failWith(collected->error);
                    }
                    followUps(*target);
                }
            },
            urgent);
    }
}

void AtspiSession::requestAttributes(Node& n, bool urgent) {
    if (!n.attributes.unread()) {
        return;
    }
    request(
        n, &Node::attributes, methodCall(n.bus, n.path, kAccessible, "GetAttributes"),
        [](DBusMessage* m) -> std::optional<ObjectAttributes> {
            auto entries = reply::stringMap(m);
            if (!entries) {
                return std::nullopt;
            }
            ObjectAttributes map;
            for (auto& [key, value] : *entries) {
                map.emplace(std::move(key), std::move(value));
            }
            return map;
        },
        urgent);
}

void AtspiSession::requestActions(Node& n, bool urgent) {
    if (!n.actions.unread()) {
        return;
    }
    // Asking an object without the Action interface for actions makes GTK log criticals.
    if (n.interfaces.unread()) {
        n.interfaces.state = Part<std::vector<std::string>>::State::pending;
        const std::string key = n.key();
        enqueue(
            n.bus, methodCall(n.bus, n.path, kAccessible, "GetInterfaces"),
            [this, key, urgent](Reply reply) {
                Node* target = find(key);
                if (target == nullptr) {
                    return;
                }
                auto names = reply.ok() ? reply::stringArray(reply.message.get()) : std::nullopt;
                if (names) {
                    target->interfaces.set(std::move(*names));
                } else {
                    target->interfaces.failWith(reply.ok() ? AXError::wrongType : errorFor(reply));
                }
                requestActions(*target, urgent);
            },
            urgent);
        return;
    }
    if (n.interfaces.state == Part<std::vector<std::string>>::State::pending) {
        return;
    }
    if (n.interfaces.state == Part<std::vector<std::string>>::State::failed) {
        n.actions.failWith(n.interfaces.error);
        return;
    }
    if (std::find(n.interfaces.value.begin(), n.interfaces.value.end(), kAction) ==
        n.interfaces.value.end()) {
        n.actions.set({});
        return;
    }
    n.actions.state = Part<std::vector<std::string>>::State::pending;
    const std::string key = n.key();
    enqueue(
        n.bus, methodCall(n.bus, n.path, kAction, "GetActions"),
        [this, key, urgent](Reply reply) {
            Node* target = find(key);
            if (target == nullptr) {
                return;
            }
            if (!reply.ok()) {
                target->actions.failWith(errorFor(reply));
                return;
            }
            auto names = reply::actionNames(reply.message.get());
            if (!names) {
                target->actions.failWith(AXError::wrongType);
                return;
            }
            // GetActions gives names in the user's language, which Chromium leaves empty and
            // Gecko fills with ";;": the count comes from it, each action's own name from
            // GetName.
            if (names->empty()) {
                target->actions.set({});
            } else {
                requestActionNames(*target, names->size(), urgent);
            }
        },
        urgent);
}

void AtspiSession::requestActionNames(Node& n, std::size_t count, bool urgent) {
    struct Collected {
        std::vector<std::string> names;
        std::size_t missing = 0;
        std::optional<AXError> error;
    };
    auto collected = std::make_shared<Collected>();
    collected->names.resize(count);
    collected->missing = count;
    const std::string key = n.key();
    for (std::size_t i = 0; i < count; ++i) {
        auto call = methodCall(n.bus, n.path, kAction, "GetName");
        auto index = static_cast<dbus_int32_t>(i);
        if (call) {
            dbus_message_append_args(call.get(), DBUS_TYPE_INT32, &index, DBUS_TYPE_INVALID);
        }
        enqueue(
            n.bus, std::move(call),
            [this, key, collected, i](Reply reply) {
                if (auto name = reply.ok() ? reply::string(reply.message.get()) : std::nullopt) {
                    collected->names[i] = std::move(*name);
                } else if (!collected->error) {
                    collected->error = reply.ok() ? AXError::wrongType : errorFor(reply);
                }
                if (--collected->missing > 0) {
                    return;
                }
                if (Node* target = find(key)) {
                    if (collected->error) {
                        target->actions.failWith(*collected->error);
                    } else {
                        target->actions.set(std::move(collected->names));
                    }
                }
            },
            urgent);
    }
}

std::optional<std::vector<std::string>> AtspiSession::freshActions(const std::string& busName,
                                                                   const std::string& path,
                                                                   AXError& error) {
    Node* live = actionsOf(busName, path, true);
    if (live == nullptr || !live->actions.settled()) {
        error = AXError::timeout;
        return std::nullopt;
    }
    if (live->actions.state == Part<std::vector<std::string>>::State::failed) {
        error = live->actions.error;
        return std::nullopt;
    }
    return live->actions.value;
}

Node* AtspiSession::actionsOf(const std::string& busName, const std::string& path, bool fresh) {
    const std::string key = busName + path;
    for (int ask = 0;; ++ask) {
        if (fresh || ask > 0) {
            forget(key);
        }
        requestActions(node(busName, path), true);
        waitUntil(
            [&] {
                Node* t = find(key);
                return t == nullptr || t->actions.settled();
            },
            waitBudget(busName));
        Node* live = find(key);
        if (live == nullptr || live->actions.state != Part<std::vector<std::string>>::State::done) {
            return live;
        }
        const bool offersSome =
            std::find(live->interfaces.value.begin(), live->interfaces.value.end(), kAction) !=
            live->interfaces.value.end();
        if (!live->actions.value.empty() || !offersSome || ask > 0 ||
            !knownToolkit(busName).actionsComeLate || actionsArrived.contains(busName)) {
            actionsArrived.insert(busName);
            return live;
        }
        // The first time for this app: its actions are on their way.
        actionsArrived.insert(busName);
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
    }
}

void AtspiSession::forget(const std::string& key) {
    if (Node* n = find(key)) {
        n->interfaces = {};
        n->actions = {};
    }
}

void AtspiSession::requestText(Node& n, bool urgent) {
    if (!n.text.unread()) {
        return;
    }
    auto call = methodCall(n.bus, n.path, kText, "GetText");
    dbus_int32_t start = 0;
    dbus_int32_t end = -1;
    if (call) {
        dbus_message_append_args(call.get(), DBUS_TYPE_INT32, &start, DBUS_TYPE_INT32, &end,
                                 DBUS_TYPE_INVALID);
    }
    request(n, &Node::text, std::move(call), reply::string, urgent);
}

void AtspiSession::requestRangeProperty(Node& n, Part<double> Node::*part, const char* property) {
    auto call = methodCall(n.bus, n.path, kProperties, "Get");
    const char* interface = kValue;
    if (call) {
        dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING,
                                 &property, DBUS_TYPE_INVALID);
    }
    request(n, part, std::move(call), reply::variantNumber);
}

void AtspiSession::requestChildren(Node& n, bool urgent) {
    if (!n.children.unread()) {
        return;
    }
    request(n, &Node::children, methodCall(n.bus, n.path, kAccessible, "GetChildren"),
            reply::objectRefs, urgent);
}

}  // namespace ovra::atspi::session
