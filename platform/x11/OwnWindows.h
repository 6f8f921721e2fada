#pragma once

// The app's own windows on the X display Qt draws them on: their input and visible shapes, the
// window manager states they need before mapping, bringing one forward, and the changes they
// follow (a compositing manager starting or stopping, another desktop shown, another client
// taking the keyboard from one of them). Windows are X ids (what QWidget::winId() gives); no Qt or
// X11 header leaks out of this file.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace ovra::x11 {

using WindowId = std::uint32_t;

// A rectangle of a window's shape, in the window's own pixels.
struct ShapeRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Keeps a watch going for as long as it lives.
class Watch {
  public:
    virtual ~Watch() = default;
};

// A button pressed or released where an InputCatcher takes the pointer: where, in the covered
// window's pixels; which button (1 the primary); the server time.
struct CaughtButton {
    int x = 0;
    int y = 0;
    int button = 0;
    bool pressed = false;
    std::uint32_t time = 0;
};

// Takes the pointer over the parts of one of the app's windows that the window does not show:
// the X server gives a window no input where its visible shape leaves it out, so a click there
// would reach the window below. Made of an input-only window just above the covered one, which
// hides nothing of the windows below it. Gone with the catcher.
class InputCatcher {
  public:
    virtual ~InputCatcher() = default;
    // Takes the pointer over `rectangles` (the covered window's pixels) from now on, the window
    // where it stands now and kept above it; over nothing when empty.
    virtual void cover(const std::vector<ShapeRect>& rectangles) = 0;
};

class OwnWindows final {
  public:
    // On the X connection of the running Qt application; absent when the app does not run on X
    // (the offscreen platform of tests).
    static std::unique_ptr<OwnWindows> open();
    ~OwnWindows();
    OwnWindows(const OwnWindows&) = delete;
    OwnWindows& operator=(const OwnWindows&) = delete;

    // Whether pointer input passes through the whole window to the windows below it.
    void setInputPassesThrough(WindowId window, bool passes);
    // What of the window shows: the rectangles, YX-banded (rows top to bottom, each row's
    // rectangles of one height, left to right); the whole window when absent.
    void setVisibleShape(WindowId window, const std::optional<std::vector<ShapeRect>>& rectangles);
    // An input catcher over `window`, covering nothing yet; `caught` gets each button pressed or
    // released on what it covers.
    std::unique_ptr<InputCatcher> catchInput(WindowId window,
                                             std::function<void(const CaughtButton&)> caught);
    // Returns once the server has applied every request sent so far.
    void sync();

    // Above other windows, on every desktop, out of the taskbar and the pager. The window
    // manager reads these as the window maps: set them before each showing.
    void keepOnEveryDesktop(WindowId window);
    // Moves the window onto the desktop the user is on, then asks the window manager to activate
    // it with the server time of the event that asked, so focus stealing prevention lets it.
    // False without a time: the window moved, and the caller asks for activation its own way.
    bool bringForward(WindowId window, std::optional<std::uint32_t> eventTime);

    // Whether a compositing manager runs on the app's screen (someone owns _NET_WM_CM_S<n>).
    bool compositorRuns();
    // Calls `changed` with whether one runs each time a compositing manager starts or stops;
    // absent when the server cannot tell (no XFixes).
    std::unique_ptr<Watch> watchCompositor(std::function<void(bool runs)> changed);
    // Calls `switched` each time the root window says another desktop shows.
    std::unique_ptr<Watch> watchCurrentDesktop(std::function<void()> switched);
    // Calls `taken` each time the keyboard focus leaves `window` and lands outside the app's
    // own windows: on another client's window, or on none. Focus moving between the app's
    // windows is not taken, nor a grab that borrows the keyboard only while a key is held (a
    // global shortcut's, the app's own hotkey included): the keys come back when it ends.
    std::unique_ptr<Watch> watchKeyboardTaken(WindowId window, std::function<void()> taken);

  private:
    struct Impl;
    explicit OwnWindows(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace ovra::x11
