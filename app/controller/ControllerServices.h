#pragma once

// What the request controller works through, as small interfaces, so that the controller runs
// the same over the desktop's real services and over fakes in tests: the workspace (which app is
// in front, bringing an app forward), the accessibility worker (reading a window, pressing a
// control), the on-device model, and the overlay window.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "app/accessibility/AXExtractor.h"
#include "app/accessibility/ElementActions.h"
#include "app/accessibility/Scroller.h"
#include "app/overlay/KeyAdapter.h"
#include "app/overlay/OverlayModel.h"
#include "core/FocusPlanner.h"
#include "core/Rect.h"
#include "core/Result.h"

namespace ovra {

// One app's window, captured when the user asked for help with it: the window that is read and
// that a dismiss hands the keyboard back to.
struct TargetApp {
    std::uint32_t window = 0;     // the top-level X window; 0 when there is none (this app)
    std::int64_t pid = 0;         // with the start time, names one process: a reused pid does not
    std::uint64_t startTime = 0;  // the process's start in clock ticks after boot
    std::string processName;      // the key of the app's corrections, as the dumps name apps
    std::string name;             // shown: the accessibility application name, else processName
    std::string title;            // the window's title
    Rect frame;                   // the window's frame in accessibility space
    Rect decoratedFrame;          // with the window manager's title bar and borders around it
    bool dialog = false;          // a dialog of another window (transient for it, or modal)
    // Of the app's windows lying where this one lies, at its size (copies of one dialog one over
    // the other): which one this is in the order they were mapped, of how many, and whether it
    // lies above the others. What the accessibility bus shows of them comes in that order too.
    int twinIndex = 0;
    int twinCount = 1;
    bool aboveTwins = true;
    // The titles of the app's modal dialogs other than this window, topmost first; whether one
    // of them is a dialog of this very window, which it keeps from being used.
    std::vector<std::string> modalDialogs;
    bool dialogOverIt = false;

    bool sameProcess(const TargetApp& other) const {
        return pid == other.pid && startTime == other.startTime;
    }
};

class TargetWorkspace {
  public:
    virtual ~TargetWorkspace() = default;
    // The app of the window the window manager marks active, captured now; none when no window
    // is active. A window whose process the window manager does not name (or that cannot be
    // read) comes with pid 0: its window, title, frame and name only.
    virtual std::optional<TargetApp> frontmost() = 0;
    // Such a window as the app of process `pid`, once that is known; none when the process
    // cannot be read.
    virtual std::optional<TargetApp> ofProcess(TargetApp window, std::int64_t pid) = 0;
    virtual std::int64_t ownPid() const = 0;
    // Whether the captured process still runs (the same pid with the same start time).
    virtual bool isRunning(const TargetApp& app) = 0;
    // Brings the app's window forward with the keyboard, through the window manager (the
    // app's likeliest other window when that one has closed).
    virtual bool activate(const TargetApp& app) = 0;
    // The same for a press: that very window, or none.
    virtual bool activateWindowRead(const TargetApp& app) { return activate(app); }
    // The titles of the app's modal dialogs as they are now, topmost first (a dialog may have
    // opened since the app was captured).
    virtual std::vector<std::string> modalDialogs(const TargetApp& app) { return app.modalDialogs; }
};

// The reading of one window: the app and the reader's limits.
struct ReadRequest {
    TargetApp target;
    int maxDepth = 6;
    int maxCandidates = 14;
    int maxRawDepth = 48;
    int nodeBudget = 4000;
};
using ReadResult = Result<WindowSnapshot, AXExtractorError>;

// One press, with copies of everything it needs: it must not depend on what the controller does
// meanwhile. The worker reads the window afresh with `reading` when the page may have replaced
// the control.
struct PressJob {
    PressRequest request;
    ReadRequest reading;
};

// One step of page scrolling under the overlay, with copies of what it needs.
struct ScrollJob {
    ScrollDirection direction = ScrollDirection::down;
    ScrollStep step = ScrollStep::page;
    std::optional<ScrollTarget> target;
    Rect fallback;                        // the window's viewport, when there is no scroll area
    std::optional<std::uint32_t> window;  // the target's top-level window
    bool dryRun = false;                  // self-tests: a trace line, nothing scrolled
    int count = 1;                        // steps of this size, scrolled as one
    // A control on the page, watched after wheel turns until the page has stopped moving.
    std::optional<ax::Element> probe;
};
// How the page was scrolled; none when nothing could be.
using ScrollOutcome = std::optional<Scroller::Method>;

// The one thread that talks to the accessibility bus. Results come back on the main thread.
class AccessibilityWorker {
  public:
    virtual ~AccessibilityWorker() = default;
    // Reads the target's window; `stop` asks a reading nobody waits for any more to end early.
    virtual void read(ReadRequest request, std::stop_token stop,
                      std::function<void(ReadResult)> done) = 0;
    virtual void press(PressJob job, std::function<void(PressOutcome)> done) = 0;
    // The process of the app on the accessibility bus that shows `window` (a window whose
    // process the window manager does not name): by its title and frame; none when no app does.
    virtual void matchWindow(TargetApp window,
                             std::function<void(std::optional<std::int64_t> pid)> done) = 0;
    // The overlay lets pointer input through before this is asked: wheel turns reach the page.
    // Answers once the page has taken the scroll (it may take wheel turns in a while).
    virtual void scroll(ScrollJob job, std::function<void(ScrollOutcome)> done) = 0;
};

// The on-device model as the request cycle asks it.
class DecisionModel {
  public:
    virtual ~DecisionModel() = default;
    virtual bool isReady() const = 0;
    // A model unloaded under memory pressure starts again on its last model when `wanted` and
    // the pressure is no longer critical.
    virtual void resumeAfterMemoryPause(bool wanted) = 0;
    // The classifier's answers on the main thread; none when it failed.
    virtual void decide(const WindowSnapshot& snapshot,
                        std::function<void(std::optional<FocusPlanner::Decisions>)> done) = 0;
    // Reloads the model after a failed decision.
    virtual void recoverLostWorker() = 0;
    // Loads the model with this id (fetching it first when its files are missing), or stops.
    virtual void start(const std::string& directory, const std::string& model) = 0;
    virtual void stop() = 0;
};

// An editing command for the overlay's focused text field.
enum class EditCommand { paste, copy, cut, selectAll, undo, redo };

// The key-taking overlay window, made on first use.
class OverlayHost {
  public:
    using KeyHandler = std::function<bool(const KeyInput&)>;

    virtual ~OverlayHost() = default;
    // Covers the screen holding the middle of `frame` (accessibility space; the primary screen
    // without one), points the model's frame mapping and island geometry at it, shows the window
    // above the others and takes the keyboard.
    virtual void present(std::optional<Rect> frame) = 0;
    virtual void orderOut() = 0;
    virtual bool isShown() const = 0;
    // Offered every key press before anything inside the window sees it.
    virtual void setKeyHandler(KeyHandler handler) = 0;
    // Lets clicks and wheel turns through to the windows below; in effect when it returns.
    virtual void setInputTransparent(bool transparent) = 0;
    // An announcement for screen readers, posted on the window with high priority.
    virtual void announce(std::string_view text) = 0;
    // The find field gives up the keyboard; keys go to the overlay itself.
    virtual void focusContent() = 0;
    // Passes an editing command to the focused text field.
    virtual void sendEditCommand(EditCommand command) = 0;
    // The page under the overlay changed (a scroll): the picture of it is taken again where the
    // overlay paints one (no compositing manager).
    virtual void refreshBackdrop() = 0;
};

struct OverlayCallbacks {
    std::function<void(const std::string& id)> activate;  // a ring or row was clicked
    std::function<void()> dismiss;                        // the dim layer was clicked
    std::function<void()> keyboardTaken;  // another app's window took the keyboard from it
};
using OverlayHostFactory =
    std::function<std::unique_ptr<OverlayHost>(OverlayModel& model, OverlayCallbacks callbacks)>;

// The app's own windows as the controller looks after them: the settings window (which steps
// back behind the app the user turned to, without closing) and every other window of the app
// (the tray island, the on-screen button), inside which a click is not a click away.
class OwnWindows {
  public:
    virtual ~OwnWindows() = default;
    // Whether the settings window shows.
    virtual bool settingsShown() const = 0;
    // Whether `point` (root window pixels) lies inside any visible window of the app.
    virtual bool contains(Point point) const = 0;
    // Puts the settings window behind every other window.
    virtual void sendBack() = 0;
    // An announcement on the settings window when it exists.
    virtual void announce(const std::string& text) = 0;
    // The windows' look: dark, light, or the desktop's colour scheme (none).
    virtual void applyAppearance(std::optional<bool> dark) = 0;
};

}  // namespace ovra
