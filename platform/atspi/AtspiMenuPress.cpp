// Presses whose effect is a menu: a menu opener followed until its menu shows, and the button
// inside GTK 4's menu button.

#include <algorithm>
#include <array>
#include <fstream>
#include <memory>
#include <string_view>

#include "platform/atspi/AtspiMenuPress_p.h"

namespace ovra::atspi::session {

namespace {

// How often the opener is looked at while its menu comes up (GTK opens it from an idle
// callback, Qt at once).
constexpr double kMenuPoll = 0.02;
// The children looked at: a menu's first items show when it does.
constexpr std::size_t kChildrenLooked = 8;

std::vector<reply::ObjectRef> childrenOf(RequestPipeline& requests, const std::string& busName,
                                         const std::string& path, std::size_t most) {
    auto done = requests.call(methodCall(busName, path, kAccessible, "GetChildren"),
                              requests.timeoutFor(busName));
    auto kids = done.ok() ? reply::objectRefs(done.message.get()) : std::nullopt;
    std::vector<reply::ObjectRef> result;
    for (auto& kid : kids.value_or(std::vector<reply::ObjectRef>{})) {
        if (result.size() >= most) {
            break;
        }
        // Only the app's own objects: a child elsewhere is none of its menu.
        if (kid.bus == busName && kid.path != kNullPath) {
            result.push_back(std::move(kid));
        }
    }
    return result;
}

// Whether the opener's menu shows, by the opener or by the button inside it that was pressed
// (held down while the menu is open); absent when the app did not tell the opener's states.
std::optional<bool> menuShowing(RequestPipeline& requests, const std::string& busName,
                                const std::string& opener, const std::string& pressed) {
    const auto states = freshStates(requests, busName, opener);
    if (!states) {
        return std::nullopt;
    }
    std::vector<StateSet> children;
    for (const auto& kid : childrenOf(requests, busName, opener, kChildrenLooked)) {
        if (auto kidStates = freshStates(requests, busName, kid.path)) {
            children.push_back(*kidStates);
        }
    }
    if (menuShows(*states, children)) {
        return true;
    }
    const auto inner = pressed == opener ? std::nullopt : freshStates(requests, busName, pressed);
    return inner && menuShows(*inner, {});
}

ProcessState processState(std::int64_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    if (!file) {
        return ProcessState::ended;
    }
    // The state comes after the name, which is at most 64 bytes with its parentheses.
    std::array<char, 256> head{};
    file.read(head.data(), head.size());
    return processStateFromStat(
        std::string_view(head.data(), static_cast<std::size_t>(file.gcount())));
}

}  // namespace

std::optional<StateSet> freshStates(RequestPipeline& requests, const std::string& busName,
                                    const std::string& path) {
    auto done = requests.call(methodCall(busName, path, kAccessible, "GetState"),
                              requests.timeoutFor(busName));
    auto words = done.ok() ? reply::u32Array(done.message.get()) : std::nullopt;
    if (!words || words->empty()) {
        return std::nullopt;
    }
    return StateSet::fromWords((*words)[0], words->size() > 1 ? (*words)[1] : 0);
}

AfterUnanswered lookAfterUnanswered(AtspiSession& session, const std::string& busName,
                                    Clock::time_point sent) {
    AfterUnanswered after;
    const auto pid = session.apps().resolvedPidOf(busName);
    if (pid) {
        after.process = processState(*pid);
    }
    if (after.process != ProcessState::stopped && after.process != ProcessState::ended) {
        RequestPipeline& requests = session.requests();
        auto ping = requests.call(methodCall(busName, kRootPath, kAccessible, "GetRole"),
                                  requests.timeoutFor(busName));
        after.answersNow = ping.ok();
        after.leftBus = !ping.ok() && errorFor(ping) == AXError::appGone;
        if (!ping.ok() && pid) {
            after.process = processState(*pid);  // stopped, or ended, while it was asked
        }
    }
    after.toldSince = session.toldSince(busName, sent);
    return after;
}

std::optional<AXError> pressMenuOpener(AtspiSession& session, const std::string& busName,
                                       const std::string& path, int index,
                                       const std::string& opener) {
    RequestPipeline& requests = session.requests();
    const std::string& shower = opener.empty() ? path : opener;
    const bool before = menuShowing(requests, busName, shower, path).value_or(false);
    // GTK 2 tells its menu's items came to show, while their states, read, never say so.
    std::vector<std::string> items;
    for (auto& kid : childrenOf(requests, busName, shower, kChildrenLooked)) {
        items.push_back(std::move(kid.path));
    }
    auto call = methodCall(busName, path, kAction, "DoAction");
    if (!call) {
        return AXError::cannotComplete;
    }
    dbus_int32_t i = index;
    dbus_message_append_args(call.get(), DBUS_TYPE_INT32, &i, DBUS_TYPE_INVALID);
    // Shared with the handler: the answer may come long after (when a Qt button's menu closes).
    auto answer = std::make_shared<std::optional<Reply>>();
    const auto sent = Clock::now();
    requests.sendDirect(std::move(call), kMenuWait,
                        [answer](Reply reply) { *answer = std::move(reply); });
    session.noteChanged(busName);  // the press changes the app; read it afresh
    const auto until = sent + micros(kMenuWait);
    for (;;) {
        requests.pumpUntil([] { return false; }, kMenuPoll);
        if (answer->has_value()) {
            const Reply& got = **answer;
            if (got.ok() && reply::boolean(got.message.get()) == false) {
                return AXError::cannotComplete;  // the app refused the action
            }
            if (!got.ok() && errorFor(got) != AXError::timeout) {
                return errorFor(got);
            }
        }
        const auto now = menuShowing(requests, busName, shower, path);
        if ((now && *now != before) || (!before && session.toldShown(busName, items, sent))) {
            return std::nullopt;
        }
        if (!now) {
            // The app did not tell its states: stopped or gone, no menu comes in time.
            const AfterUnanswered after = lookAfterUnanswered(session, busName, sent);
            if (after.leftBus || after.process == ProcessState::stopped ||
                after.process == ProcessState::ended) {
                return unansweredVerdict(after).value_or(AXError::unconfirmed);
            }
        }
        if (Clock::now() >= until) {
            break;
        }
    }
    // The menu never came. An app that accepted the action has it: it is never sent again.
    const bool accepted = answer->has_value() && (*answer)->ok();
    // An app running the action without showing its menu leaves it unconfirmed too.
    return accepted ? AXError::unconfirmed
                    : unansweredVerdict(lookAfterUnanswered(session, busName, sent))
                          .value_or(AXError::unconfirmed);
}

std::optional<InnerButton> innerButton(AtspiSession& session, const std::string& busName,
                                       const std::string& path) {
    RequestPipeline& requests = session.requests();
    NodeCache& nodes = session.nodes();
    Node& n = nodes.node(busName, path);
    nodes.settle(n, [](Node& t) { return t.role.settled(); });
    if (!n.hasRole()) {
        return std::nullopt;
    }
    // One more than the most it may hold: a button with more parts is no such button.
    const auto kids = childrenOf(requests, busName, path, kMostButtonParts + 1);
    std::vector<std::uint32_t> roles;
    std::vector<std::vector<std::string>> actions;
    for (const auto& kid : kids) {
        auto role = requests.call(methodCall(busName, kid.path, kAccessible, "GetRole"),
                                  requests.timeoutFor(busName));
        AXError error = AXError::cannotComplete;
        auto names = nodes.freshActions(busName, kid.path, error);
        roles.push_back(role.ok() ? reply::u32(role.message.get()).value_or(0) : 0);
        actions.push_back(names.value_or(std::vector<std::string>{}));
    }
    const auto found = innerPress(n.role.value, actions, roles);
    if (!found) {
        return std::nullopt;
    }
    return InnerButton{kids[*found].path, std::move(actions[*found])};
}

}  // namespace ovra::atspi::session
