#pragma once

// The accessibility backend seen through the window captured when a request began: the app's
// "AXFocusedWindow" is the app's top-level window that is that window (the same title, then the
// nearest frame), whichever window the app calls focused by the time it is read (the overlay has
// taken the keyboard from it by then). Every other call passes through; the reads that ran out
// of time are counted, so that an app that did not answer is told apart from one without a
// window.

#include <string>

#include "core/Rect.h"
#include "platform/accessibility/AccessibilityBackend.h"

namespace ovra {

class TargetWindowBackend final : public ax::AccessibilityBackend {
  public:
    // Windows whose middle lies farther than this from the captured frame's are other windows.
    static constexpr double kMaxFrameDistance = 96;

    // A captured dialog (`dialog`) is the app's window of its title, or of about its frame:
    // never the window it lies over. Toolkits give a window's frame with or without the window
    // manager's title bar and borders (`decorated`: the X window with them), so either is its
    // frame. When the app shows no such window, the app's windows are not read at all (see
    // dialogNotShown).
    TargetWindowBackend(ax::AccessibilityBackend& inner, std::string title, Rect frame,
                        bool dialog = false, Rect decorated = {});

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

    // Whether the app shows the captured window (the same title, or a frame near it).
    bool showsCapturedWindow(const ax::Element& appElement) {
        return capturedWindow(appElement).has_value();
    }

  private:
    std::optional<ax::Element> capturedWindow(const ax::Element& appElement);
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
    std::string title_;
    Rect frame_;
    Rect decorated_;
    bool dialog_ = false;
    bool dialogNotShown_ = false;
    ax::Element appElement_;
    int timeouts_ = 0;
    int timeoutRun_ = 0;
    int answered_ = 0;
    int gone_ = 0;
};

}  // namespace ovra
