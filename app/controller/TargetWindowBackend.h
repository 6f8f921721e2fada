#pragma once

// The accessibility backend seen through the window captured when a request began: the app's
// "AXFocusedWindow" is the app's top-level window that is that window (the same title, then the
// nearest frame), whichever window the app calls focused by the time it is read (the overlay has
// taken the keyboard from it by then). Where several of the app's windows lie alike in that
// place (two copies of a dialog one over the other), the one in front is the one the bus calls
// active, else the one the window manager's order tells; where nothing tells, none is read. A
// window that a modal dialog of its app keeps from being used is not read either. Every other
// call passes through; the reads that ran out of time are counted, so that an app that did not
// answer is told apart from one without a window.

#include <functional>
#include <string>
#include <vector>

#include "core/Rect.h"
#include "platform/accessibility/AccessibilityBackend.h"

namespace ovra {

// The window captured when a request began, as the window manager showed it.
struct CapturedWindow {
    std::string title;
    Rect frame;
    bool dialog = false;
    Rect decorated;  // with the window manager's title bar and borders; empty: as `frame`
    // Of the app's windows lying where it lies, at its size: which one it is in the order they
    // were mapped, of how many, and whether it lies above the others.
    int twinIndex = 0;
    int twinCount = 1;
    bool aboveTwins = true;
    bool dialogOverIt = false;  // a modal dialog of the app is a dialog of this window
};

class TargetWindowBackend final : public ax::AccessibilityBackend {
  public:
    // Windows whose middle lies farther than this from the captured frame's are other windows.
    static constexpr double kMaxFrameDistance = 96;
    // At a press among windows alike, how long the app may take to call the window that came
    // forward active.
    static constexpr double kActiveWait = 1.0;
    static constexpr double kActivePoll = 0.02;

    // A captured dialog (`dialog`) is the app's window of its title, or of about its frame:
    // never the window it lies over. Toolkits give a window's frame with or without the window
    // manager's title bar and borders (`decorated`: the X window with them), so either is its
    // frame. When the app shows no such window, the app's windows are not read at all (see
    // dialogNotShown).
    TargetWindowBackend(ax::AccessibilityBackend& inner, std::string title, Rect frame,
                        bool dialog = false, Rect decorated = {});
    TargetWindowBackend(ax::AccessibilityBackend& inner, CapturedWindow captured);

    bool isProcessTrusted() override { return inner_.isProcessTrusted(); }
    std::optional<ax::RunningApp> frontmostApp() override { return inner_.frontmostApp(); }
    ax::Element applicationElement(const ax::RunningApp& app) override;
    // The monitors, with those the captured window shows on first as one: a window across
    // monitors is read as far as it shows.
    std::vector<Rect> screenFrames() override;
    void setMessagingTimeout(const ax::Element& appElement, double seconds) override {
        inner_.setMessagingTimeout(appElement, seconds);
    }
    std::optional<ax::AXError> wakeUp(const ax::Element& appElement) override {
        return inner_.wakeUp(appElement);
    }
    double wakeUpSettleSeconds() const override { return inner_.wakeUpSettleSeconds(); }
    ax::Read attribute(const ax::Element& element, std::string_view name) override;
    Result<std::vector<ax::Read>, ax::AXError> attributes(
        const ax::Element& element, std::span<const std::string_view> names) override {
        auto reads = counted(inner_.attributes(element, names));
        if (reads) {
            for (const ax::Read& read : reads.value()) {
                if (!read && read.error() == ax::AXError::appGone) {
                    ++gone_;
                }
            }
        }
        return reads;
    }
    Result<ax::ElementList, ax::AXError> children(const ax::Element& element,
                                                  std::size_t limit) override {
        return counted(inner_.children(element, limit));
    }
    Result<std::vector<std::string>, ax::AXError> actionNames(const ax::Element& element) override {
        return inner_.actionNames(element);
    }
    Result<bool, ax::AXError> isAttributeSettable(const ax::Element& element,
                                                  std::string_view name) override {
        return inner_.isAttributeSettable(element, name);
    }
    Result<ax::Element, ax::AXError> elementAtPoint(const ax::Element& root, Point point) override {
        return inner_.elementAtPoint(root, point);
    }
    std::vector<Result<ax::Element, ax::AXError>> elementsAtPoints(
        const ax::Element& root, std::span<const Point> points) override {
        return inner_.elementsAtPoints(root, points);
    }
    double hitTestSettleSeconds(const ax::Element& root) override {
        return inner_.hitTestSettleSeconds(root);
    }
    void prefetch(std::span<const ax::Element> elements, std::span<const std::string_view> names,
                  std::size_t nodeBudget) override {
        inner_.prefetch(elements, names, nodeBudget);
    }
    std::optional<ax::AXError> performAction(const ax::Element& element,
                                             std::string_view action) override {
        return inner_.performAction(element, action);
    }
    std::optional<ax::AXError> setAttribute(const ax::Element& element, std::string_view name,
                                            const ax::Value& value) override {
        return inner_.setAttribute(element, name, value);
    }

    std::optional<std::vector<ax::Change>> changesSince(const ax::Element& element,
                                                        double since) override {
        return inner_.changesSince(element, since);
    }
    std::optional<double> changesHeardSince(const ax::Element& element) override {
        return inner_.changesHeardSince(element);
    }
    double scaleOf(const ax::Element& element) override { return inner_.scaleOf(element); }
    std::size_t requestsSent() const override { return inner_.requestsSent(); }

    // The application element last looked up: the one the reading read.
    const ax::Element& appElement() const { return appElement_; }
    // How many reads ran out of the app's messaging time-out.
    int timeouts() const { return timeouts_; }
    // Whether some read found its element gone after others had answered: an element that
    // went (a page changes), or the whole app (it left the bus, or the bus went).
    bool sawGone() const { return gone_ > 0 && answered_ > 0; }
    // Whether the reading ended on a run of time-outs, as the reader gives up an app.
    bool endedUnanswered(int run) const { return timeoutRun_ >= run; }
    // The captured window is a dialog the app does not show on the accessibility bus (a file
    // chooser of its own): nothing behind it was read.
    bool dialogNotShown() const { return dialogNotShown_; }

    // A modal dialog of the app keeps the captured window from being used: its title (empty
    // when it has none); none when no dialog does.
    const std::optional<std::string>& blockedBy() const { return blockedBy_; }
    // Several of the app's windows lie alike where the captured one lies, and nothing told
    // which of them is in front: none was read.
    bool frontUnknown() const { return frontUnknown_; }

    // Whether the app shows the captured window (the same title, or a frame near it), also one
    // it keeps from use or cannot tell from its twins (a reading then says why).
    bool showsCapturedWindow(const ax::Element& appElement) {
        return capturedWindow(appElement).has_value() || blockedBy_ || frontUnknown_;
    }

    // Just before a press into `window` (the window the reading read) of `app`, once the
    // captured window was asked to come forward: whether that window is the app's window in
    // front. Among windows alike in its place only the app's "active" tells, waited for at most
    // kActiveWait; `bringForward` asks for the captured window again first.
    enum class Front { inFront, blocked, notInFront };
    Front frontAtPress(const ax::RunningApp& app, const ax::Element& window, ax::Clock& clock,
                       const std::function<void()>& bringForward);

  private:
    // One of the app's windows as the bus shows it.
    struct BusWindow {
        ax::Element element;
        std::string title;
        std::optional<Rect> frame;
        bool modal = false;
        bool active = false;
    };
    std::vector<BusWindow> windowsOf(const ax::Element& appElement);
    std::optional<ax::Element> capturedWindow(const ax::Element& appElement);
    // The one in front among windows alike, or none when nothing tells.
    std::optional<ax::Element> frontOf(const std::vector<const BusWindow*>& alike);
    // How far the middle of a window's frame on the bus lies from the captured window's, with or
    // without its decorations; none when the frames differ in size and a dialog was captured.
    std::optional<double> distanceTo(const Rect& window) const;
    template <class R>
    R counted(R read) {
        if (read) {
            ++answered_;
            timeoutRun_ = 0;
        } else if (read.error() == ax::AXError::timeout) {
            ++timeouts_;
            ++timeoutRun_;
        } else if (read.error() == ax::AXError::appGone) {
            ++gone_;
        }
        return read;
    }

    ax::AccessibilityBackend& inner_;
    CapturedWindow captured_;
    Rect decorated_;  // the captured frame with decorations, or without when they are unknown
    bool dialogNotShown_ = false;
    std::optional<std::string> blockedBy_;
    bool frontUnknown_ = false;
    ax::Element appElement_;
    int timeouts_ = 0;
    int timeoutRun_ = 0;
    int answered_ = 0;
    int gone_ = 0;
};

}  // namespace ovra
