// What an element is in the AX tree: its role, whether it is a top-level window, a label that
// wraps a control, the selected pages of a tab group, and the follow-up reads its role calls
// for.

#include "platform/atspi/AtspiSession.h"

namespace ovra::atspi::session {

std::optional<std::uint32_t> AtspiSession::parentRole(const Node& n) {
    if (Node* parent = find(n.parentKey);
        parent && parent->role.state == Part<std::uint32_t>::State::done) {
        return parent->role.value;
    }
    return std::nullopt;
}

bool AtspiSession::isTopLevel(const Node& n) {
    if (!n.parentKey.empty()) {
        return n.parentKey == n.bus + kRootPath;
    }
    if (n.props.state == Part<reply::AccessibleProps>::State::done && n.props.value.parent) {
        return isRootPath(n.props.value.parent->path);
    }
    return false;
}

AXRole AtspiSession::axRole(Node& n) {
    if (n.mapped) {
        return *n.mapped;
    }
    RoleFacts facts;
    facts.role = n.role.value;
    facts.states = n.states.value;
    facts.attributes = n.attributes.value;
    facts.isTopLevel = isTopLevel(n);
    facts.parentRole = parentRole(n);
    if (n.children.state == Part<std::vector<reply::ObjectRef>>::State::done) {
        for (const auto& child : n.children.value) {
            Node* c = find(child.bus + child.path);
            if (c && c->role.state == Part<std::uint32_t>::State::done &&
                c->role.value == static_cast<std::uint32_t>(ATSPI_ROLE_ENTRY)) {
                facts.hasEntryChild = true;
            }
        }
    }
    facts.wrapsControl = wrapsControl(n);
    AXRole result = mapRole(facts);
    // A combo box's entry child may still come in; everything else is settled once its parts are.
    const bool settled = n.states.state == Part<StateSet>::State::done &&
                         (n.attributes.settled() || !roleNeedsAttributes(n.role.value)) &&
                         (n.parentKey.empty() || facts.parentRole.has_value()) &&
                         n.role.value != static_cast<std::uint32_t>(ATSPI_ROLE_COMBO_BOX) &&
                         wrapSettled(n);
    if (settled && n.role.state == Part<std::uint32_t>::State::done) {
        n.mapped = result;
    }
    return result;
}

namespace {

constexpr std::int32_t kMostWrappedChildren = 16;

bool isLabelWithChildren(const Node& n) {
    return n.role.state == Part<std::uint32_t>::State::done &&
           n.role.value == static_cast<std::uint32_t>(ATSPI_ROLE_LABEL) &&
           n.props.state == Part<reply::AccessibleProps>::State::done &&
           n.props.value.childCount.value_or(0) > 0 &&
           n.props.value.childCount.value_or(0) <= kMostWrappedChildren;
}

}  // namespace

void AtspiSession::followUps(Node& n) {
    if (n.childBasesWanted && n.children.settled()) {
        // What a label holds decides what the label is: read the roles of its children.
        n.childBasesWanted = false;
        for (const auto& child : liveChildren(n)) {
            Node& c = node(child.bus, child.path);
            adopt(n, c);
            requestBase(c);
        }
    }
    if (n.followUpsIssued || !n.baseSettled() || n.role.state != Part<std::uint32_t>::State::done) {
        return;
    }
    n.followUpsIssued = true;
    const std::uint32_t role = n.role.value;
    if (isLabelWithChildren(n)) {
        n.childBasesWanted = true;
        requestChildren(n);
    }
    if (roleNeedsAttributes(role)) {
        requestAttributes(n);
    }
    const std::string axrole = axRole(n).role;
    if (CandidateRoles::pressableContainers().contains(axrole)) {
        requestActions(n);
    }
    // Only editable combo boxes carry text; GTK logs criticals when others are asked.
    const bool hasText =
        isTextInputRole(role) && (role != static_cast<std::uint32_t>(ATSPI_ROLE_COMBO_BOX) ||
                                  n.states.value.has(ATSPI_STATE_EDITABLE));
    if (hasText) {
        auto call = methodCall(n.bus, n.path, kProperties, "Get");
        const char* interface = kText;
        const char* property = "CharacterCount";
        if (call) {
            dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING,
                                     &property, DBUS_TYPE_INVALID);
        }
        request(n, &Node::characterCount, std::move(call),
                [](DBusMessage* m) -> std::optional<std::int32_t> {
                    auto count = reply::variantNumber(m);
                    if (!count || !std::isfinite(*count) || *count < 0 || *count > 2.0e9) {
                        return std::nullopt;
                    }
                    return static_cast<std::int32_t>(*count);
                });
    }
    if (isRangeRole(role)) {
        requestRangeProperty(n, &Node::minimum, "MinimumValue");
        requestRangeProperty(n, &Node::maximum, "MaximumValue");
        requestRangeProperty(n, &Node::current, "CurrentValue");
    }
    const bool named = n.props.state == Part<reply::AccessibleProps>::State::done &&
                       n.props.value.name && !n.props.value.name->empty();
    if (isStaticTextRole(role) && !named) {
        requestText(n);
    }
    const bool leaf = axrole == "AXStaticText" || axrole == "AXImage";
    const bool stops = CandidateRoles::interactive().contains(axrole) && axrole != "AXLink" &&
                       axrole != "AXComboBox";
    const std::int32_t count = n.props.state == Part<reply::AccessibleProps>::State::done
                                   ? n.props.value.childCount.value_or(0)
                                   : 0;
    if (!leaf && !stops && count > 0 &&
        static_cast<std::size_t>(count) <= options.prefetchChildLimit) {
        requestChildren(n);
    }
}

void AtspiSession::adopt(const Node& parent, Node& child) {
    if (child.parentKey.empty()) {
        child.parentKey = parent.key();
    }
    child.windowKey = topLevelKey(parent);
    child.inDocument =
        parent.inDocument || (parent.role.state == Part<std::uint32_t>::State::done &&
                              isWebDocumentRole(parent.role.value));
}

std::string AtspiSession::topLevelKey(const Node& n) {
    return isTopLevel(n) ? n.key() : n.windowKey;
}

bool AtspiSession::wrapSettled(const Node& n) {
    if (!isLabelWithChildren(n)) {
        return true;
    }
    if (!n.children.settled() || n.childBasesWanted) {
        return false;
    }
    const auto kids = liveChildren(n);
    return std::all_of(kids.begin(), kids.end(), [&](const reply::ObjectRef& child) {
        const Node* c = find(child.bus + child.path);
        return c != nullptr && c->role.settled();
    });
}

bool AtspiSession::wrapsControl(const Node& n) {
    if (!isLabelWithChildren(n) ||
        n.children.state != Part<std::vector<reply::ObjectRef>>::State::done) {
        return false;
    }
    const auto kids = liveChildren(n);
    return std::any_of(kids.begin(), kids.end(), [&](const reply::ObjectRef& child) {
        const Node* c = find(child.bus + child.path);
        return c != nullptr && c->role.state == Part<std::uint32_t>::State::done &&
               isControlRole(c->role.value);
    });
}

Node* AtspiSession::wrappingLabel(const Node& n) {
    Node* parent = find(n.parentKey);
    return parent != nullptr && wrapsControl(*parent) ? parent : nullptr;
}

std::vector<std::pair<Node*, reply::ObjectRef>> AtspiSession::selectedPages(Node& group) {
    std::vector<Node*> tabs;
    for (const auto& child : liveChildren(group)) {
        Node& tab = node(child.bus, child.path);
        adopt(group, tab);
        requestBase(tab, true);
        tabs.push_back(&tab);
    }
    auto selected = [](const Node* tab) {
        return tab->role.state == Part<std::uint32_t>::State::done &&
               tab->role.value == static_cast<std::uint32_t>(ATSPI_ROLE_PAGE_TAB) &&
               tab->states.state == Part<StateSet>::State::done &&
               tab->states.value.has(ATSPI_STATE_SELECTED);
    };
    waitUntil(
        [&] {
            return std::all_of(tabs.begin(), tabs.end(), [](const Node* tab) {
                return tab->role.settled() && tab->states.settled();
            });
        },
        waitBudget(group.bus));
    std::erase_if(tabs, [&](const Node* tab) { return !selected(tab); });
    for (Node* tab : tabs) {
        requestChildren(*tab, true);
    }
    waitUntil(
        [&] {
            return std::all_of(tabs.begin(), tabs.end(),
                               [](const Node* tab) { return tab->children.settled(); });
        },
        waitBudget(group.bus));
    std::vector<std::pair<Node*, reply::ObjectRef>> pages;
    for (Node* tab : tabs) {
        for (const auto& page : liveChildren(*tab)) {
            pages.emplace_back(tab, page);
        }
    }
    return pages;
}

void AtspiSession::settle(Node& n, const std::function<bool(Node&)>& ready) {
    requestBase(n, true);
    followUps(n);
    const std::string key = n.key();
    waitUntil(
        [&] {
            Node* target = find(key);
            return target == nullptr || ready(*target);
        },
        waitBudget(n.bus));
}

}  // namespace ovra::atspi::session
