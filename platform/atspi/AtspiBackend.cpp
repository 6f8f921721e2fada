#include "platform/atspi/AtspiBackend.h"

#include <algorithm>
#include <cmath>
#include <thread>
#include <type_traits>

#include "platform/atspi/AtspiMenuPress_p.h"
#include "platform/atspi/AtspiNativePress_p.h"
#include "platform/atspi/AtspiSession_p.h"

namespace ovra::atspi {

using namespace session;

struct AtspiBackend::Impl {
    explicit Impl(const AtspiOptions& options) : session(options) {}
    AtspiSession session;
};

namespace {

// Why no call can reach this element at all: not one of ours, read on a connection that has
// since closed (its bus name may belong to another app now), or no bus to send on.
std::optional<AXError> unreachable(const AtspiRef* ref, const AtspiSession& session) {
    if (ref == nullptr || ref->bus().empty() ||
        ref->connection() != session.requests().connection()) {
        return AXError::appGone;
    }
    if (!session.requests().hasBus()) {
        return AXError::cannotComplete;
    }
    return std::nullopt;
}

// An error as each kind of answer gives it.
template <class R>
R failure(AXError error) {
    if constexpr (std::is_void_v<R>) {
        return;
    } else if constexpr (std::is_same_v<R, std::optional<AXError>>) {
        return error;
    } else {
        return fail(error);
    }
}

}  // namespace

template <class Body>
auto AtspiBackend::onElement(const ax::Element& element, bool learnToolkit, Body body) {
    using Answer = decltype(body(std::declval<AtspiSession&>(), std::declval<const AtspiRef&>()));
    std::lock_guard lock(mutex_);
    AtspiSession& session = impl_->session;
    const auto* ref = element.as<AtspiRef>();
    if (auto error = unreachable(ref, session)) {
        return failure<Answer>(*error);
    }
    if (learnToolkit) {
        session.apps().toolkit(ref->bus());  // before anything else is asked of the app
    }
    return body(session, *ref);
}

AtspiBackend::AtspiBackend(AtspiOptions options) : impl_(std::make_unique<Impl>(options)) {
    drainer_ = std::jthread([this](std::stop_token stop) {
        while (!stop.stop_requested()) {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, stop, std::chrono::milliseconds(250), [] { return false; });
            if (!stop.stop_requested()) {
                impl_->session.drain();
            }
        }
    });
}
AtspiBackend::~AtspiBackend() = default;

std::optional<std::string> AtspiBackend::trustProblem() {
    std::lock_guard lock(mutex_);
    return impl_->session.trustProblem();
}

bool AtspiBackend::isProcessTrusted() {
    std::lock_guard lock(mutex_);
    return !impl_->session.trustProblem().has_value();
}

std::optional<ax::RunningApp> AtspiBackend::frontmostApp() {
    std::lock_guard lock(mutex_);
    AtspiSession& session = impl_->session;
    AppDirectory& apps = session.apps();
    NodeCache& nodes = session.nodes();
    std::optional<std::int64_t> pid;
    if (auto* workspace = apps.x11()) {
        if (auto active = workspace->activeWindow()) {
            pid = active->pid;
        }
    }
    if (session.connect()) {
        if (!pid) {
            return std::nullopt;
        }
        const std::string name = processName(*pid);
        return ax::RunningApp{*pid, name.empty() ? std::nullopt : std::optional(name)};
    }
    auto running = apps.applications();
    apps.resolvePids(running);
    std::optional<reply::ObjectRef> found;
    for (const auto& app : running) {
        if (pid && apps.pidOf(app.bus) == *pid) {
            found = app;
            break;
        }
    }
    if (!found && !pid) {
        // No window manager: the app whose top-level window is active.
        for (const auto& app : running) {
            for (Node* window : nodes.topLevels(nodes.node(app.bus, app.path))) {
                if (window->states.done() && isActiveWindow(window->states.value)) {
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
        pid = apps.pidOf(found->bus);
    }
    if (!pid) {
        return std::nullopt;
    }
    ax::RunningApp result{*pid, std::nullopt};
    if (found) {
        Node& root = nodes.node(found->bus, found->path);
        nodes.settle(root, [](Node& n) { return n.props.settled(); });
        if (root.props.done() && root.props.value.name && !root.props.value.name->empty()) {
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
    AtspiSession& session = impl_->session;
    if (session.connect()) {
        // Every read on this element then fails as "app gone".
        return session.requests().element("", kRootPath);
    }
    if (auto found = session.apps().applicationOf(app.pid)) {
        session.beginReading(found->bus);
        return session.requests().element(found->bus, found->path);
    }
    return session.requests().element("", kRootPath);
}

std::vector<Rect> AtspiBackend::screenFrames() {
    std::lock_guard lock(mutex_);
    if (auto* workspace = impl_->session.apps().x11()) {
        return workspace->screenFrames();
    }
    return {};
}

void AtspiBackend::setMessagingTimeout(const ax::Element& appElement, double seconds) {
    onElement(appElement, false, [&](AtspiSession& session, const AtspiRef& ref) {
        if (std::isfinite(seconds) && seconds > 0) {
            session.requests().setTimeout(ref.bus(), std::clamp(seconds, 0.01, 10.0));
        }
    });
}

std::optional<ax::AXError> AtspiBackend::wakeUp(const ax::Element& appElement) {
    return onElement(
        appElement, true,
        [&](AtspiSession& session, const AtspiRef& ref) -> std::optional<ax::AXError> {
            RequestPipeline& requests = session.requests();
            NodeCache& nodes = session.nodes();
            const std::string& busName = ref.bus();
            // Chromium switches on its full tree when a client asks the application and a
            // window for their attributes, as a screen reader does.
            Node& app = nodes.node(busName, ref.path());
            nodes.requestAttributes(app, true);
            requests.waitUntil([&] { return app.attributes.settled(); },
                               requests.waitBudget(busName));
            if (auto p = app.attributes.problem()) {
                return p;
            }
            auto windows = nodes.topLevels(app);
            std::vector<std::pair<std::string, std::int32_t>> before;
            for (Node* w : windows) {
                nodes.requestAttributes(*w, true);
                before.emplace_back(w->path, w->childCount());
            }
            requests.waitUntil(
                [&] {
                    return std::all_of(windows.begin(), windows.end(),
                                       [](Node* w) { return w->attributes.settled(); });
                },
                requests.waitBudget(busName));
            // Wait until a window's child count changes (the page came in), for at most the
            // poll time.
            const auto until = Clock::now() + micros(requests.options().wakeUpPollSeconds);
            while (Clock::now() < until && !before.empty()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                bool changed = false;
                for (const auto& [path, count] : before) {
                    auto answer =
                        requests.call(propertyGet(busName, path, kAccessible, "ChildCount"),
                                      requests.timeoutFor(busName));
                    auto now =
                        answer.ok() ? reply::variantNumber(answer.message.get()) : std::nullopt;
                    if (now && *now != static_cast<double>(count)) {
                        changed = true;
                    }
                }
                if (changed) {
                    break;
                }
            }
            session.forgetApp(busName);
            return std::nullopt;
        });
}

ax::Read AtspiBackend::attribute(const ax::Element& element, std::string_view name) {
    if (name == "AXSelected") {
        // Read afresh: asked to see whether a press chose a row.
        return onElement(element, true,
                         [&](AtspiSession& session, const AtspiRef& ref) -> ax::Read {
                             const auto selected = selectedNow(session, ref.bus(), ref.path());
                             return selected ? ax::Read(ax::Value(*selected))
                                             : fail(AXError::unsupportedAttribute);
                         });
    }
    const std::array<std::string_view, 1> names{name};
    auto batch = attributes(element, names);
    if (!batch) {
        return fail(batch.error());
    }
    return batch.value().front();
}

Result<std::vector<ax::Read>, ax::AXError> AtspiBackend::attributes(
    const ax::Element& element, std::span<const std::string_view> names) {
    return onElement(
        element, true,
        [&](AtspiSession& session,
            const AtspiRef& ref) -> Result<std::vector<ax::Read>, ax::AXError> {
            NodeCache& nodes = session.nodes();
            Node& n = nodes.node(ref.bus(), ref.path());
            const bool wantsFollowUps = std::any_of(
                names.begin(), names.end(),
                [](std::string_view name) { return ValueMapping::needsFollowUps(name); });
            const bool wantsProps =
                std::any_of(names.begin(), names.end(),
                            [](std::string_view name) { return ValueMapping::needsProps(name); });
            nodes.settle(
                n,
                [&](Node& target) {
                    if (!target.baseSettled() || (wantsProps && !target.props.settled())) {
                        return false;
                    }
                    if (!wantsFollowUps || !target.hasRole()) {
                        return true;
                    }
                    return nodes.followUpsSettled(target);
                },
                wantsProps);
            Node* live = nodes.find(n.key());
            if (live == nullptr) {
                return fail(AXError::appGone);
            }
            // The element cannot be asked at all: every base read failed the same way.
            if (live->role.failed() && live->states.failed() && live->props.failed() &&
                (live->role.error == AXError::appGone || live->role.error == AXError::timeout)) {
                return fail(live->role.error);
            }
            // Gone from its app, which still answers for it (Firefox keeps answering for a
            // removed element while anything holds it).
            if (live->states.done() && live->states.value.has(ATSPI_STATE_DEFUNCT)) {
                return fail(AXError::appGone);
            }
            std::vector<ax::Read> reads;
            reads.reserve(names.size());
            for (std::string_view name : names) {
                reads.push_back(session.values().valueOf(*live, name, ref.webArea()));
            }
            return reads;
        });
}

Result<ax::ElementList, ax::AXError> AtspiBackend::children(const ax::Element& element,
                                                            std::size_t limit) {
    if (limit == 0) {
        // Nothing is asked, but a handle from elsewhere is still no element of ours.
        return onElement(element, false,
                         [](AtspiSession&, const AtspiRef&) -> Result<ax::ElementList, AXError> {
                             return ax::ElementList{};
                         });
    }
    return onElement(
        element, true,
        [&](AtspiSession& session, const AtspiRef& ref) -> Result<ax::ElementList, AXError> {
            Node& n = session.nodes().node(ref.bus(), ref.path());
            if (session.nodes().shownNowhere(n)) {
                return ax::ElementList{};
            }
            return session.values().childrenOf(n, limit, ref.webArea());
        });
}

Result<std::vector<std::string>, ax::AXError> AtspiBackend::actionNames(
    const ax::Element& element) {
    return onElement(
        element, true,
        [&](AtspiSession& session,
            const AtspiRef& ref) -> Result<std::vector<std::string>, ax::AXError> {
            NodeCache& nodes = session.nodes();
            const Node& n = nodes.node(ref.bus(), ref.path());
            // A label holding a control only passes presses on to it: the control is the one
            // to press. A web area and a text that acts only through its ancestor offer none.
            if (ref.webArea() || !nodes.mayAct(n) || nodes.wrapsControl(n)) {
                return std::vector<std::string>{};
            }
            Node* live = nodes.actionsOf(ref.bus(), ref.path(), false);
            if (live == nullptr) {
                return fail(AXError::appGone);
            }
            if (live->actions.failed() && live->actions.error == AXError::unsupportedAttribute) {
                return std::vector<std::string>{};  // no Action interface: no actions
            }
            if (auto p = live->actions.problem()) {
                return fail(*p);
            }
            // A label that names a control elsewhere lends it its text; pressing the label
            // would only press the control, which is a candidate of its own.
            if (!live->actions.value.empty() && nodes.labelsElsewhere(*live)) {
                return std::vector<std::string>{};
            }
            return axActions(live->actions.value);
        });
}

Result<bool, ax::AXError> AtspiBackend::isAttributeSettable(const ax::Element& element,
                                                            std::string_view name) {
    return onElement(
        element, true, [&](AtspiSession& session, const AtspiRef& ref) -> Result<bool, AXError> {
            NodeCache& nodes = session.nodes();
            Node& n = nodes.node(ref.bus(), ref.path());
            nodes.settle(n, [&](Node& t) { return t.baseSettled() && nodes.followUpsSettled(t); });
            if (auto p = n.states.problem()) {
                return fail(*p);
            }
            if (name == "AXFocused") {
                return n.states.value.has(ATSPI_STATE_FOCUSABLE);
            }
            if (name == "AXValue") {
                return n.hasRole() && isRangeRole(n.role.value) && n.current.done() &&
                       !n.states.value.has(ATSPI_STATE_READ_ONLY);
            }
            return false;
        });
}

Result<ax::Element, ax::AXError> AtspiBackend::elementAtPoint(const ax::Element& root,
                                                              Point point) {
    auto found = elementsAtPoints(root, std::span<const Point>(&point, 1));
    return std::move(found.front());
}

std::vector<Result<ax::Element, ax::AXError>> AtspiBackend::elementsAtPoints(
    const ax::Element& root, std::span<const Point> points) {
    using Found = Result<ax::Element, AXError>;
    // Toolkits answer either the child at the point or the deepest element there: ask again of
    // each answer until one has nothing further inside it. The points go out together, a level
    // at a time, so a toolkit that answers several questions at once answers them in one wait.
    static constexpr int kMaxDepth = 64;
    auto answers = onElement(
        root, true,
        [&](AtspiSession& session, const AtspiRef& ref) -> Result<std::vector<Found>, AXError> {
            struct Probe {
                std::string path;
                bool webArea = false;
                bool done = false;
                std::optional<AXError> error;
                dbus_int32_t x = 0;
                dbus_int32_t y = 0;
            };
            // Asked in the pixels the app finds points in.
            Node& start = session.nodes().node(ref.bus(), ref.path());
            const bool devicePixels = session.apps().knownToolkit(ref.bus()).hitTestsInDevicePixels;
            std::vector<Probe> probes(points.size());
            for (std::size_t i = 0; i < points.size(); ++i) {
                const Point point = points[i];
                Probe& p = probes[i];
                p.path = ref.path();
                p.webArea = ref.webArea();
                if (!std::isfinite(point.x) || !std::isfinite(point.y) || std::abs(point.x) > 1e6 ||
                    std::abs(point.y) > 1e6) {
                    p.done = true;
                    p.error = AXError::cannotComplete;
                    continue;
                }
                const Point asked = devicePixels ? point
                                                 : appPoint(point, session.frames().of(ref.bus()),
                                                            session.frames().pageOrigin(start));
                p.x = static_cast<dbus_int32_t>(std::lround(asked.x));
                p.y = static_cast<dbus_int32_t>(std::lround(asked.y));
            }
            const dbus_uint32_t screen = ATSPI_COORD_TYPE_SCREEN;
            const double patience = session.requests().timeoutFor(ref.bus());
            for (int depth = 0; depth < kMaxDepth; ++depth) {
                struct Heard {
                    bool answered = false;
                    std::optional<reply::ObjectRef> hit;
                    std::optional<AXError> error;
                };
                auto heard = std::make_shared<std::vector<Heard>>(probes.size());
                auto waiting = std::make_shared<int>(0);
                for (std::size_t i = 0; i < probes.size(); ++i) {
                    Probe& p = probes[i];
                    if (p.done) {
                        continue;
                    }
                    auto call = methodCall(ref.bus(), p.path, kComponent, "GetAccessibleAtPoint");
                    if (call) {
                        dbus_message_append_args(call.get(), DBUS_TYPE_INT32, &p.x, DBUS_TYPE_INT32,
                                                 &p.y, DBUS_TYPE_UINT32, &screen,
                                                 DBUS_TYPE_INVALID);
                    }
                    ++*waiting;
                    session.requests().enqueue(
                        ref.bus(), std::move(call),
                        [heard, waiting, i](Reply reply) {
                            Heard& h = (*heard)[i];
                            if (h.answered) {
                                return;
                            }
                            h.answered = true;
                            --*waiting;
                            if (reply.ok()) {
                                h.hit = reply::objectRef(reply.message.get());
                            } else {
                                h.error = errorFor(reply);
                            }
                        },
                        true, patience);
                }
                if (*waiting == 0) {
                    break;
                }
                session.requests().waitUntil([&] { return *waiting == 0; }, patience + 0.1);
                for (std::size_t i = 0; i < probes.size(); ++i) {
                    Probe& p = probes[i];
                    if (p.done) {
                        continue;
                    }
                    const Heard& h = (*heard)[i];
                    if (!h.answered || h.error) {
                        // What was found so far has no hit test of its own.
                        p.done = true;
                        if (depth == 0) {
                            p.error = h.error.value_or(AXError::timeout);
                        }
                        continue;
                    }
                    if (!h.hit || h.hit->path.empty() || h.hit->path == kNullPath ||
                        h.hit->path == p.path || !(h.hit->bus.empty() || h.hit->bus == ref.bus())) {
                        p.done = true;
                        continue;
                    }
                    p.path = h.hit->path;
                    p.webArea = false;
                }
            }
            std::vector<Found> found;
            found.reserve(probes.size());
            for (const Probe& p : probes) {
                if (p.error) {
                    found.push_back(fail(*p.error));
                } else {
                    found.push_back(session.requests().element(ref.bus(), p.path, p.webArea));
                }
            }
            return found;
        });
    if (!answers) {
        return std::vector<Found>(points.size(), Found(fail(answers.error())));
    }
    return std::move(answers).value();
}

double AtspiBackend::hitTestSettleSeconds(const ax::Element& root) {
    const auto settle = onElement(
        root, true, [&](AtspiSession& session, const AtspiRef& ref) -> Result<double, AXError> {
            return session.apps().knownToolkit(ref.bus()).hitTestSettleSeconds;
        });
    return settle ? settle.value() : 0.0;
}

void AtspiBackend::prefetch(std::span<const ax::Element> elements,
                            std::span<const std::string_view> names, std::size_t nodeBudget) {
    (void)names;
    for (const auto& element : elements) {
        onElement(element, true, [&](AtspiSession& session, const AtspiRef& ref) {
            session.nodes().budgetReadAhead(nodeBudget);
            session.nodes().requestBase(session.nodes().node(ref.bus(), ref.path()));
        });
    }
}

std::optional<ax::AXError> AtspiBackend::performAction(const ax::Element& element,
                                                       std::string_view action) {
    return onElement(
        element, true,
        [&](AtspiSession& session, const AtspiRef& ref) -> std::optional<ax::AXError> {
            if (action == "AXRaise") {
                return session.raise(ref);
            }
            // Always read the actions afresh: the list may have changed since the walk.
            AXError error = AXError::cannotComplete;
            auto names = session.nodes().freshActions(ref.bus(), ref.path(), error);
            if (!names) {
                return error;
            }
            const bool native = !session.apps().knownToolkit(ref.bus()).isBrowser;
            if (action == "AXPress" && native) {
                return pressNative(session, ref.bus(), ref.path(), *names);
            }
            if (action == "AXPick" && native) {
                return pickRow(session, ref.bus(), ref.path());
            }
            auto index = atspiActionFor(action, *names);
            if (!index) {
                // Firefox answers for an element taken off its page with no actions at all:
                // what was read of it may be stale, so it is read afresh.
                if (names->empty()) {
                    session.noteChanged(ref.bus());
                }
                return AXError::unsupportedAttribute;
            }
            auto call = methodCall(ref.bus(), ref.path(), kAction, "DoAction");
            dbus_int32_t i = *index;
            if (call) {
                dbus_message_append_args(call.get(), DBUS_TYPE_INT32, &i, DBUS_TYPE_INVALID);
            }
            auto done =
                session.requests().call(std::move(call), session.requests().timeoutFor(ref.bus()));
            session.noteChanged(ref.bus());  // the press changes the app; read it afresh
            if (!done.ok()) {
                return errorFor(done);
            }
            if (reply::boolean(done.message.get()) == false) {
                return AXError::cannotComplete;
            }
            return std::nullopt;
        });
}

namespace {

std::optional<AXError> grabFocus(AtspiSession& session, const AtspiRef& ref,
                                 const ax::Value& value) {
    if (ax::asBool(value) != true) {
        return AXError::unsupportedAttribute;
    }
    auto done = session.requests().call(methodCall(ref.bus(), ref.path(), kComponent, "GrabFocus"),
                                        session.requests().timeoutFor(ref.bus()));
    session.noteChanged(ref.bus());
    if (!done.ok()) {
        return errorFor(done);
    }
    return reply::boolean(done.message.get()) == false ? std::optional(AXError::cannotComplete)
                                                       : std::nullopt;
}

std::optional<AXError> setRangeValue(AtspiSession& session, const AtspiRef& ref,
                                     const ax::Value& value) {
    auto number = ax::asNumber(value);
    if (!number || !std::isfinite(*number)) {
        return AXError::wrongType;
    }
    session.apps().toolkit(ref.bus());
    NodeCache& nodes = session.nodes();
    Node& n = nodes.node(ref.bus(), ref.path());
    nodes.settle(n, [&](Node& t) { return t.baseSettled() && nodes.followUpsSettled(t); });
    if (!n.hasRole() || !isRangeRole(n.role.value) || !n.current.done()) {
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
    auto call = methodCall(ref.bus(), ref.path(), kProperties, "Set");
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
    auto done = session.requests().call(std::move(call), session.requests().timeoutFor(ref.bus()));
    session.forgetApp(ref.bus());
    return done.ok() ? std::nullopt : std::optional(errorFor(done));
}

}  // namespace

std::optional<ax::AXError> AtspiBackend::setAttribute(const ax::Element& element,
                                                      std::string_view name,
                                                      const ax::Value& value) {
    return onElement(element, false,
                     [&](AtspiSession& session, const AtspiRef& ref) -> std::optional<ax::AXError> {
                         if (name == "AXFocused") {
                             return grabFocus(session, ref, value);
                         }
                         if (name == "AXValue") {
                             return setRangeValue(session, ref, value);
                         }
                         return AXError::unsupportedAttribute;
                     });
}

std::optional<std::vector<ax::Change>> AtspiBackend::changesSince(const ax::Element& element,
                                                                  double since) {
    if (!std::isfinite(since)) {
        return std::nullopt;
    }
    // `since` is a time of ax::systemClock(), which reads the steady clock as seconds.
    const auto at = Clock::time_point(
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(since)));
    auto told = onElement(element, true,
                          [&](AtspiSession& session,
                              const AtspiRef& ref) -> Result<std::vector<ax::Change>, AXError> {
                              auto changes = session.changesSince(ref.bus(), at);
                              if (!changes) {
                                  return fail(AXError::cannotComplete);
                              }
                              return std::move(*changes);
                          });
    return told ? std::optional(std::move(told).value()) : std::nullopt;
}

std::optional<double> AtspiBackend::changesHeardSince(const ax::Element& element) {
    std::optional<double> heard;
    (void)onElement(element, true,
                    [&](AtspiSession& session, const AtspiRef& ref) -> Result<bool, AXError> {
                        if (const auto at = session.changesHeardSince(ref.bus())) {
                            heard = std::chrono::duration<double>(at->time_since_epoch()).count();
                        }
                        return true;
                    });
    return heard;
}

double AtspiBackend::scaleOf(const ax::Element& element) {
    const auto scale = onElement(
        element, true, [](AtspiSession& session, const AtspiRef& ref) -> Result<double, AXError> {
            return session.frames().of(ref.bus()).factor;
        });
    return scale ? scale.value() : 1;
}

void AtspiBackend::forgetReadings() {
    std::lock_guard lock(mutex_);
    impl_->session.forgetReadings();
}

std::size_t AtspiBackend::requestsSent() const {
    std::lock_guard lock(mutex_);
    return impl_->session.requests().sent();
}

}  // namespace ovra::atspi
