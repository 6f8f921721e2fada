#include "platform/atspi/AtspiBackend.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "platform/atspi/AtspiSession.h"

namespace ovra::atspi {

using namespace session;

namespace {

// Why no call can reach this element at all: not one of ours, read on a connection that has
// since closed (its bus name may belong to another app now), or no bus to send on.
std::optional<AXError> unreachable(const AtspiRef* ref, const AtspiSession& session) {
    if (ref == nullptr || ref->bus().empty() || ref->connection() != session.connection) {
        return AXError::appGone;
    }
    if (!session.bus) {
        return AXError::cannotComplete;
    }
    return std::nullopt;
}

}  // namespace

struct AtspiBackend::Impl final : AtspiSession {
    using AtspiSession::AtspiSession;
};

AtspiBackend::AtspiBackend(AtspiOptions options) : impl_(std::make_unique<Impl>(options)) {
    drainer_ = std::jthread([this](std::stop_token stop) {
        while (!stop.stop_requested()) {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, stop, std::chrono::milliseconds(250), [] { return false; });
            if (!stop.stop_requested()) {
                impl_->drain();
            }
        }
    });
}
AtspiBackend::~AtspiBackend() = default;

std::optional<std::string> AtspiBackend::trustProblem() {
    std::lock_guard lock(mutex_);
    return impl_->trustProblem();
}

bool AtspiBackend::isProcessTrusted() {
    std::lock_guard lock(mutex_);
    return !impl_->trustProblem().has_value();
}

std::optional<ax::RunningApp> AtspiBackend::frontmostApp() {
    std::lock_guard lock(mutex_);
    std::optional<std::int64_t> pid;
    if (auto* workspace = impl_->x11()) {
        if (auto active = workspace->activeWindow()) {
            pid = active->pid;
        }
    }
    if (impl_->connect()) {
        if (!pid) {
            return std::nullopt;
        }
        const std::string name = processName(*pid);
        return ax::RunningApp{*pid, name.empty() ? std::nullopt : std::optional(name)};
    }
    auto apps = impl_->applications();
    impl_->resolvePids(apps);
    std::optional<reply::ObjectRef> found;
    for (const auto& app : apps) {
        auto it = impl_->pidOfBus.find(app.bus);
        if (pid && it != impl_->pidOfBus.end() && it->second == *pid) {
            found = app;
            break;
        }
    }
    if (!found && !pid) {
        // No window manager: the app whose top-level window is active.
        for (const auto& app : apps) {
            Node& root = impl_->node(app.bus, app.path);
            for (Node* window : impl_->topLevels(root)) {
                if (window->states.state == Part<StateSet>::State::done &&
                    isActiveWindow(window->states.value)) {
                    found = app;
                    break;
                }
            }
            if (found) {
                break;
            }
        }
        if (!found) {
            return std::nullopt;
        }
        auto it = impl_->pidOfBus.find(found->bus);
        if (it == impl_->pidOfBus.end()) {
            return std::nullopt;
        }
        pid = it->second;
    }
    if (!pid) {
        return std::nullopt;
    }
    ax::RunningApp result{*pid, std::nullopt};
    if (found) {
        Node& root = impl_->node(found->bus, found->path);
        impl_->settle(root, [](Node& n) { return n.props.settled(); });
        if (root.props.state == Part<reply::AccessibleProps>::State::done &&
            root.props.value.name && !root.props.value.name->empty()) {
            result.localizedName = *root.props.value.name;
        }
    }
    if (!result.localizedName) {
        if (auto name = processName(*pid); !name.empty()) {
            result.localizedName = name;
        }
    }
    return result;
}

ax::Element AtspiBackend::applicationElement(const ax::RunningApp& app) {
    std::lock_guard lock(mutex_);
    if (impl_->connect()) {
        // Every read on this element then fails as "app gone".
        return impl_->element("", kRootPath);
    }
    if (auto found = impl_->applicationOf(app.pid)) {
        impl_->beginReading(found->bus);
        return impl_->element(found->bus, found->path);
    }
    return impl_->element("", kRootPath);
}

std::vector<Rect> AtspiBackend::screenFrames() {
    std::lock_guard lock(mutex_);
    if (auto* workspace = impl_->x11()) {
        return workspace->screenFrames();
    }
    return {};
}

void AtspiBackend::setMessagingTimeout(const ax::Element& appElement, double seconds) {
    std::lock_guard lock(mutex_);
    const auto* ref = appElement.as<AtspiRef>();
    if (unreachable(ref, *impl_) || !std::isfinite(seconds) || seconds <= 0) {
        return;
    }
    impl_->timeoutOfBus[ref->bus()] = std::clamp(seconds, 0.01, 10.0);
}

std::optional<ax::AXError> AtspiBackend::wakeUp(const ax::Element& appElement) {
    std::lock_guard lock(mutex_);
    const auto* ref = appElement.as<AtspiRef>();
    if (unreachable(ref, *impl_)) {
        return AXError::appGone;
    }
    Impl& impl = *impl_;
    impl.toolkit(ref->bus());
    // Chromium switches on its full tree when a client asks the application and a window for
    // their attributes, as a screen reader does.
    Node& app = impl.node(ref->bus(), ref->path());
    impl.requestAttributes(app, true);
    impl.waitUntil([&] { return app.attributes.settled(); }, impl.waitBudget(ref->bus()));
    if (auto p = Impl::problem(app.attributes)) {
        return p;
    }
    auto windows = impl.topLevels(app);
    std::vector<std::pair<std::string, std::int32_t>> before;
    for (Node* w : windows) {
        impl.requestAttributes(*w, true);
        before.emplace_back(w->path, w->props.state == Part<reply::AccessibleProps>::State::done
                                         ? w->props.value.childCount.value_or(0)
                                         : 0);
    }
    impl.waitUntil(
        [&] {
            return std::all_of(windows.begin(), windows.end(),
                               [](Node* w) { return w->attributes.settled(); });
        },
        impl.waitBudget(ref->bus()));
    // Wait until a window's child count changes (the page came in), for at most the poll time.
    const std::string busName = ref->bus();
    const auto until = Clock::now() + micros(impl.options.wakeUpPollSeconds);
    while (Clock::now() < until && !before.empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        bool changed = false;
        for (const auto& [path, count] : before) {
            auto call = methodCall(busName, path, kProperties, "Get");
            const char* interface = kAccessible;
            const char* property = "ChildCount";
            if (call) {
                dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING,
                                         &property, DBUS_TYPE_INVALID);
            }
            auto answer = impl.bus->call(std::move(call), micros(impl.timeoutFor(busName)));
            auto now = answer.ok() ? reply::variantNumber(answer.message.get()) : std::nullopt;
            if (now && *now != static_cast<double>(count)) {
                changed = true;
            }
        }
        if (changed) {
            break;
        }
    }
    impl.forgetApp(busName);
    return std::nullopt;
}

ax::Read AtspiBackend::attribute(const ax::Element& element, std::string_view name) {
    const std::array<std::string_view, 1> names{name};
    auto batch = attributes(element, names);
    if (!batch) {
        return fail(batch.error());
    }
    return batch.value().front();
}

Result<std::vector<ax::Read>, ax::AXError> AtspiBackend::attributes(
    const ax::Element& element, std::span<const std::string_view> names) {
    std::lock_guard lock(mutex_);
    const auto* ref = element.as<AtspiRef>();
    if (auto error = unreachable(ref, *impl_)) {
        return fail(*error);
    }
    Impl& impl = *impl_;
    impl.toolkit(ref->bus());
    Node& n = impl.node(ref->bus(), ref->path());
    const bool wantsFollowUps = std::any_of(names.begin(), names.end(), [&](std::string_view name) {
        return Impl::needsFollowUps(name);
    });
    impl.settle(n, [&](Node& target) {
        if (!target.baseSettled()) {
            return false;
        }
        if (!wantsFollowUps || target.role.state != Part<std::uint32_t>::State::done) {
            return true;
        }
        return impl.followUpsSettled(target);
    });
    const std::string key = n.key();
    Node* live = impl.find(key);
    if (live == nullptr) {
        return fail(AXError::appGone);
    }
    // The element cannot be asked at all: every base read failed the same way.
    if (live->role.state == Part<std::uint32_t>::State::failed &&
        live->states.state == Part<StateSet>::State::failed &&
        live->props.state == Part<reply::AccessibleProps>::State::failed &&
        (live->role.error == AXError::appGone || live->role.error == AXError::timeout)) {
        return fail(live->role.error);
    }
    std::vector<ax::Read> reads;
    reads.reserve(names.size());
    for (std::string_view name : names) {
        reads.push_back(impl.valueOf(*live, name));
    }
    return reads;
}

Result<ax::ElementList, ax::AXError> AtspiBackend::children(const ax::Element& element,
                                                            std::size_t limit) {
    std::lock_guard lock(mutex_);
    const auto* ref = element.as<AtspiRef>();
    if (auto error = unreachable(ref, *impl_)) {
        return fail(*error);
    }
    if (limit == 0) {
        return ax::ElementList{};
    }
    impl_->toolkit(ref->bus());
    return impl_->childrenOf(impl_->node(ref->bus(), ref->path()), limit);
}

Result<std::vector<std::string>, ax::AXError> AtspiBackend::actionNames(
    const ax::Element& element) {
    std::lock_guard lock(mutex_);
    const auto* ref = element.as<AtspiRef>();
    if (auto error = unreachable(ref, *impl_)) {
        return fail(*error);
    }
    impl_->toolkit(ref->bus());
    Node& n = impl_->node(ref->bus(), ref->path());
    // A label holding a control only passes presses on to it: the control is the one to press.
    if (impl_->wrapsControl(n)) {
        return std::vector<std::string>{};
    }
    Node* live = impl_->actionsOf(ref->bus(), ref->path(), false);
    if (live == nullptr) {
        return fail(AXError::appGone);
    }
    if (live->actions.state == Part<std::vector<std::string>>::State::failed &&
        live->actions.error == AXError::unsupportedAttribute) {
        return std::vector<std::string>{};  // no Action interface: no actions
    }
    if (auto p = Impl::problem(live->actions)) {
        return fail(*p);
    }
    return axActions(live->actions.value);
}

Result<bool, ax::AXError> AtspiBackend::isAttributeSettable(const ax::Element& element,
                                                            std::string_view name) {
    std::lock_guard lock(mutex_);
    const auto* ref = element.as<AtspiRef>();
    if (auto error = unreachable(ref, *impl_)) {
        return fail(*error);
    }
    impl_->toolkit(ref->bus());
    Node& n = impl_->node(ref->bus(), ref->path());
    impl_->settle(n, [&](Node& t) { return t.baseSettled() && impl_->followUpsSettled(t); });
    if (auto p = Impl::problem(n.states)) {
        return fail(*p);
    }
    if (name == "AXFocused") {
        return n.states.value.has(ATSPI_STATE_FOCUSABLE);
    }
    if (name == "AXValue") {
        return n.role.state == Part<std::uint32_t>::State::done && isRangeRole(n.role.value) &&
               n.current.state == Part<double>::State::done &&
               !n.states.value.has(ATSPI_STATE_READ_ONLY);
    }
    return false;
}

void AtspiBackend::prefetch(std::span<const ax::Element> elements,
                            std::span<const std::string_view> names) {
    (void)names;
    std::lock_guard lock(mutex_);
    for (const auto& element : elements) {
        if (const auto* ref = element.as<AtspiRef>(); !unreachable(ref, *impl_)) {
            impl_->toolkit(ref->bus());
            impl_->requestBase(impl_->node(ref->bus(), ref->path()));
        }
    }
}

std::optional<ax::AXError> AtspiBackend::performAction(const ax::Element& element,
                                                       std::string_view action) {
    std::lock_guard lock(mutex_);
    const auto* ref = element.as<AtspiRef>();
    if (auto error = unreachable(ref, *impl_)) {
        return error;
    }
    Impl& impl = *impl_;
    impl.toolkit(ref->bus());
    if (action == "AXRaise") {
        return impl.raise(*ref);
    }
    // Always read the actions afresh: the list may have changed since the walk.
    AXError error = AXError::cannotComplete;
    auto names = impl.freshActions(ref->bus(), ref->path(), error);
    if (!names) {
        return error;
    }
    auto index = atspiActionFor(action, *names);
    if (!index) {
        return AXError::unsupportedAttribute;
    }
    auto call = methodCall(ref->bus(), ref->path(), kAction, "DoAction");
    dbus_int32_t i = *index;
    if (call) {
        dbus_message_append_args(call.get(), DBUS_TYPE_INT32, &i, DBUS_TYPE_INVALID);
    }
    auto done = impl.bus->call(std::move(call), micros(impl.timeoutFor(ref->bus())));
    impl.changed.insert(ref->bus());  // the press changes the app; read it afresh
    if (!done.ok()) {
        return errorFor(done);
    }
    if (reply::boolean(done.message.get()) == false) {
        return AXError::cannotComplete;
    }
    return std::nullopt;
}

std::optional<ax::AXError> AtspiBackend::setAttribute(const ax::Element& element,
                                                      std::string_view name,
                                                      const ax::Value& value) {
    std::lock_guard lock(mutex_);
    const auto* ref = element.as<AtspiRef>();
    if (auto error = unreachable(ref, *impl_)) {
        return error;
    }
    Impl& impl = *impl_;
    const double timeout = impl.timeoutFor(ref->bus());
    if (name == "AXFocused") {
        if (ax::asBool(value) != true) {
            return AXError::unsupportedAttribute;
        }
        auto done = impl.bus->call(methodCall(ref->bus(), ref->path(), kComponent, "GrabFocus"),
                                   micros(timeout));
        impl.changed.insert(ref->bus());
        if (!done.ok()) {
            return errorFor(done);
        }
        return reply::boolean(done.message.get()) == false ? std::optional(AXError::cannotComplete)
                                                           : std::nullopt;
    }
    if (name == "AXValue") {
        auto number = ax::asNumber(value);
        if (!number || !std::isfinite(*number)) {
            return AXError::wrongType;
        }
        impl.toolkit(ref->bus());
        Node& n = impl.node(ref->bus(), ref->path());
        impl.settle(n, [&](Node& t) { return t.baseSettled() && impl.followUpsSettled(t); });
        if (n.role.state != Part<std::uint32_t>::State::done || !isRangeRole(n.role.value) ||
            n.current.state != Part<double>::State::done) {
            return AXError::unsupportedAttribute;
        }
        double target = *number;
        if (isScrollBarRole(n.role.value)) {
            const RangeValues range = n.range();
            const double low = range.minimum.value_or(0);
            const double high = range.maximum.value_or(0);
            if (!std::isfinite(low) || !std::isfinite(high) || !(high > low)) {
                return AXError::cannotComplete;
            }
            target = low + std::clamp(*number, 0.0, 1.0) * (high - low);
        }
        auto call = methodCall(ref->bus(), ref->path(), kProperties, "Set");
        if (!call) {
            return AXError::cannotComplete;
        }
        DBusMessageIter iter, variant;
        const char* interface = kValue;
        const char* property = "CurrentValue";
        dbus_message_iter_init_append(call.get(), &iter);
        dbus_message_iter_append_basic(&iter, DBUS_TYPE_STRING, &interface);
        dbus_message_iter_append_basic(&iter, DBUS_TYPE_STRING, &property);
        dbus_message_iter_open_container(&iter, DBUS_TYPE_VARIANT, "d", &variant);
        dbus_message_iter_append_basic(&variant, DBUS_TYPE_DOUBLE, &target);
        dbus_message_iter_close_container(&iter, &variant);
        auto done = impl.bus->call(std::move(call), micros(timeout));
        impl.forgetApp(ref->bus());
        return done.ok() ? std::nullopt : std::optional(errorFor(done));
    }
    return AXError::unsupportedAttribute;
}

void AtspiBackend::forgetReadings() {
    std::lock_guard lock(mutex_);
    impl_->lastReading.clear();
    impl_->staleStates.clear();
    impl_->contentCheckedAt.clear();
    ++impl_->epoch;
    impl_->queue.clear();
    impl_->nodes.clear();
}

std::size_t AtspiBackend::requestsSent() const {
    std::lock_guard lock(mutex_);
    return impl_->sent;
}

}  // namespace ovra::atspi
