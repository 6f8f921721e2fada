#pragma once

// The accessibility service the app reads other apps' windows through, in the AX vocabulary
// ("AXRole", "AXChildren", "AXPress", accessibility space with a top-left origin and y down).
//
// How a backend implements it:
// - Derive from `ElementRef` for your own record of one element (e.g. bus name + object path)
//   and hand elements out as `Element` handles; `key()` must be equal for two records of the
//   same element, so handles compare equal across reads.
// - Derive from `AccessibilityBackend` and translate each call to the platform at the edge:
//   roles, subroles, attributes and actions keep their AX names; frames are "AXPosition" (a
//   Point) and "AXSize" (a Size) in root-window space.
// - Every failure is a typed `AXError`; never throw. A call that outlives the messaging time-out
//   of its app returns `AXError::timeout`; a vanished app gives `appGone`; an attribute the
//   element does not have gives `unsupportedAttribute` (or `noValue` when it exists but is
//   empty); a value of an unexpected kind may be passed through as is (readers check types).
// - `attributes` is the hot path: it is called once per node of a walk and must not stop at the
//   first failing attribute. `prefetch` is a hint that a reader is about to read these
//   attributes of these elements (the next breadth-first level): a backend with slow round
//   trips should pipeline the requests there and answer the following reads from its cache.
// - `children` gets a limit: read the child count first and fetch no more than `limit`
//   children, so that huge tables never flood the bus.
// - All calls of one reading come from one thread; a backend may require that every call comes
//   from the same worker thread.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/Rect.h"
#include "core/Result.h"

namespace ovra::ax {

// Why an accessibility call did not give a value.
enum class AXError {
    unsupportedAttribute,  // the element has no such attribute (or action)
    noValue,               // the attribute exists but holds nothing
    timeout,               // the app did not answer within its messaging time-out
    appGone,               // the app (or the element) no longer exists
    wrongType,             // a value of another kind than asked for
    cannotComplete,        // any other failure of the call
    // An action went out and the app has it, but nothing shows that it took effect (the app was
    // stopped with it queued, or did not show the effect in time): whether it acted is unknown.
    unconfirmed,
};

std::string_view toString(AXError error);

// The backend's own record of one element.
class ElementRef {
  public:
    virtual ~ElementRef() = default;
    // Identity of the element within the backend; equal keys mean the same element.
    virtual std::string key() const = 0;
};

// A small copyable handle to one element of another app's tree (or to an app element).
class Element {
  public:
    Element() = default;
    explicit Element(std::shared_ptr<const ElementRef> ref) : ref_(std::move(ref)) {}

    bool isNull() const { return ref_ == nullptr; }
    explicit operator bool() const { return ref_ != nullptr; }
    const ElementRef* ref() const { return ref_.get(); }
    // The backend's record, when it is of type T.
    template <class T>
    const T* as() const {
        return dynamic_cast<const T*>(ref_.get());
    }
    // The backend's identity of the element; "" for a null handle.
    std::string key() const { return ref_ ? ref_->key() : std::string(); }

    friend bool operator==(const Element& a, const Element& b) {
        if (a.ref_ == b.ref_) {
            return true;
        }
        return a.ref_ && b.ref_ && a.ref_->key() == b.ref_->key();
    }

  private:
    std::shared_ptr<const ElementRef> ref_;
};

using ElementList = std::vector<Element>;

// An attribute value. Numbers are doubles (a check box's 0/1/2 included).
using Value = std::variant<std::string, double, bool, Point, Size, Rect, Element, ElementList>;

// Typed views of a value: absent when the value is of another kind.
const std::string* asString(const Value& value);
std::optional<double> asNumber(const Value& value);
std::optional<bool> asBool(const Value& value);
std::optional<Point> asPoint(const Value& value);
std::optional<Size> asSize(const Value& value);
std::optional<Rect> asRect(const Value& value);
std::optional<Element> asElement(const Value& value);
const ElementList* asElementList(const Value& value);

using Read = Result<Value, AXError>;

// One change an app told its accessibility clients of.
struct Change {
    enum class Kind {
        activation,  // one of its windows became active or inactive, an element lost the focus
        focus,       // an element took the keyboard focus
        content,     // anything else: names, children, text, values, other states
    };
    Kind kind = Kind::content;
    Element source;  // the element it told of (a web document: its web area)
    double at = 0;   // when it was heard, a time of systemClock()
};

// One running app as the workspace sees it.
struct RunningApp {
    std::int64_t pid = 0;
    std::optional<std::string> localizedName;

    friend bool operator==(const RunningApp&, const RunningApp&) = default;
};

// Monotonic time in seconds and a blocking pause; injected so tests drive time by hand.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual double now() const = 0;
    virtual void sleep(double seconds) = 0;
};

// The real clock (std::chrono::steady_clock and std::this_thread::sleep_for).
Clock& systemClock();

class AccessibilityBackend {
  public:
    virtual ~AccessibilityBackend() = default;

    // --- Process and workspace ---

    // Whether this process may read other apps' trees.
    virtual bool isProcessTrusted() = 0;
    // The app whose window is in front, absent when there is none.
    virtual std::optional<RunningApp> frontmostApp() = 0;
    // The application element of a running app (its "AXFocusedWindow", "AXMainWindow"...).
    virtual Element applicationElement(const RunningApp& app) = 0;
    // The frames of the attached screens in accessibility space, primary screen first.
    virtual std::vector<Rect> screenFrames() = 0;

    // --- Per-app settings ---

    // How long any later call on elements of this app waits for an answer.
    virtual void setMessagingTimeout(const Element& appElement, double seconds) = 0;
    // Asks the app to expose its full tree (for apps that build it only on demand). Fails when
    // the app offers no such switch. Returns nothing on success.
    virtual std::optional<AXError> wakeUp(const Element& appElement) = 0;
    // How long to pause after a successful wake-up before reading again.
    virtual double wakeUpSettleSeconds() const { return 0.15; }

    // --- Reads ---

    // One attribute.
    virtual Read attribute(const Element& element, std::string_view name) = 0;
    // Several attributes in one round trip; one entry per name, in order. A failing attribute
    // fails alone; the whole call fails only when the element cannot be asked at all.
    virtual Result<std::vector<Read>, AXError> attributes(
        const Element& element, std::span<const std::string_view> names) = 0;
    // The first `limit` children, in order ("AXChildren").
    virtual Result<ElementList, AXError> children(const Element& element, std::size_t limit) = 0;
    // The names of the actions the element offers ("AXPress", "AXConfirm"...).
    virtual Result<std::vector<std::string>, AXError> actionNames(const Element& element) = 0;
    virtual Result<bool, AXError> isAttributeSettable(const Element& element,
                                                      std::string_view name) = 0;
    // The deepest element of `root`'s subtree that shows at `point` (accessibility space), as
    // the app itself hit-tests it: what a click there would reach. `root` itself when nothing
    // inside it is there.
    virtual Result<Element, AXError> elementAtPoint(const Element& root, Point point) = 0;
    // What `elementAtPoint` finds at each of `points`, one answer each, in order: asked all at
    // once where the toolkit answers several questions in one wait.
    virtual std::vector<Result<Element, AXError>> elementsAtPoints(const Element& root,
                                                                   std::span<const Point> points) {
        std::vector<Result<Element, AXError>> found;
        found.reserve(points.size());
        for (const Point point : points) {
            found.push_back(elementAtPoint(root, point));
        }
        return found;
    }
    // How long after a hit test the same question gets what is painted: a toolkit may answer
    // first from its tree's bounds while it asks the page. 0: its first answer is the one.
    virtual double hitTestSettleSeconds(const Element& root) {
        (void)root;
        return 0;
    }
    // Hint: these attributes of these elements will be read soon, by a reading that reads at
    // most `nodeBudget` nodes in all: whatever the backend reads further ahead (their children,
    // before anyone asks) is spent from that budget. May do nothing.
    virtual void prefetch(std::span<const Element> elements,
                          std::span<const std::string_view> names, std::size_t nodeBudget) {
        (void)elements;
        (void)names;
        (void)nodeBudget;
    }

    // --- Writes and actions ---

    // An action ("AXPress", "AXConfirm", "AXRaise"...). "AXPick" chooses a row of a list or tree
    // through the list's own selection, as a click chooses it, once the row shows it is chosen.
    virtual std::optional<AXError> performAction(const Element& element,
                                                 std::string_view action) = 0;
    virtual std::optional<AXError> setAttribute(const Element& element, std::string_view name,
                                                const Value& value) = 0;

    // --- Changes ---

    // The changes the app of `element` (any element of it) told since `since`, a time of
    // systemClock(), in the order told; asked after a round trip to the app, so every change it
    // told before answering is in. None when the backend does not hear the app's changes, did
    // not hear all of them since then, or the app does not answer.
    virtual std::optional<std::vector<Change>> changesSince(const Element& element, double since) {
        (void)element;
        (void)since;
        return std::nullopt;
    }
    // From when changesSince answers for the app of `element`: the time, of systemClock(), since
    // which every change it told has been heard. None when its changes are not heard.
    virtual std::optional<double> changesHeardSince(const Element& element) {
        (void)element;
        return std::nullopt;
    }

    // --- Scale ---

    // How many screen pixels one of the app's own pixels covers, for the app `element` belongs
    // to: an app that draws at 150 % and gives its frames in its own pixels is 1.5. 1 where the
    // backend gives frames as the app does, or does not know.
    virtual double scaleOf(const Element& element) {
        (void)element;
        return 1;
    }

    // --- Cost ---

    // Requests sent to other apps so far, for the log of each reading; 0 where nothing is
    // counted.
    virtual std::size_t requestsSent() const { return 0; }
};

}  // namespace ovra::ax
