#pragma once

// The frontmost app and its window on an X11 desktop, through the window manager's EWMH
// properties (_NET_ACTIVE_WINDOW, _NET_WM_PID), and the attached monitors through RandR. Without
// a window manager (a kiosk session) the front window is the one holding the X input focus. No
// X11 header leaks out of this file.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/Rect.h"
#include "core/Result.h"
#include "platform/paths/Paths.h"

namespace ovra::x11 {

// Why this session cannot be served, or nothing when it is an X11 session. Wayland has no global
// coordinates for other apps' controls and no synthetic input, so it is refused outright.
std::optional<std::string> sessionRefusal(const paths::Environment& environment);

struct ActiveWindow {
    std::uint32_t window = 0;
    std::optional<std::int64_t> pid;  // _NET_WM_PID; absent when the client does not set it
    std::string title;                // _NET_WM_NAME, else WM_NAME
    std::string windowClass;          // WM_CLASS class part
};

// One of an app's managed windows, with what tells which of them lies in front.
struct StackedWindow {
    std::uint32_t window = 0;
    std::string title;
    Rect frame;                      // the content frame (see Workspace::contentFrame)
    int level = -1;                  // its place in the stacking order, bottom 0; -1: not listed
    bool modal = false;              // _NET_WM_STATE_MODAL
    std::uint32_t transientFor = 0;  // WM_TRANSIENT_FOR; 0: none
};

// Of an app's windows that lie where the captured one lies, at its size (two copies of a dialog
// one over the other): which one it is in the order they were mapped, of how many, and whether
// it lies above all the others.
struct Twins {
    int index = 0;
    int count = 1;
    bool onTop = true;
};

class Workspace final {
  public:
    // Connects to $DISPLAY.
    static Result<std::unique_ptr<Workspace>> open();
    ~Workspace();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    // The window the window manager marks active; absent when no window is active. Without a
    // window manager that marks one, the top-level window holding the input focus (when the
    // focus follows the pointer, the one under the pointer).
    std::optional<ActiveWindow> activeWindow();
    // The managed top-level windows (_NET_CLIENT_LIST), oldest first.
    std::vector<ActiveWindow> clientWindows();
    // The managed top-level windows of one process (by _NET_WM_PID), oldest first.
    std::vector<ActiveWindow> windowsOf(std::int64_t pid);
    // The same with their frames, their places in the stacking order
    // (_NET_CLIENT_LIST_STACKING) and whether each is a modal dialog, and of which window.
    std::vector<StackedWindow> stackOf(std::int64_t pid);
    // The window of process `pid` to raise for its accessibility window titled `title`: the
    // active one when it is of that process and title (of several copies of one dialog, the one
    // already in front), else as windowToRaise picks.
    std::optional<std::uint32_t> windowToRaise(std::int64_t pid, const std::string& title);
    // Monitor frames in root-window space, primary first; the root window when RandR has none.
    std::vector<Rect> screenFrames();
    // Asks the window manager to activate a window (as a pager would), at server time `time`
    // (0: the current time, which some window managers refuse to trust). Without a window
    // manager that marks the active window, raises it and gives it the input focus.
    bool activate(std::uint32_t window, std::uint32_t time = 0);
    // Gives a mapped window the input focus at once, whatever the window manager does; true
    // once the server has done so (keys typed from then on go to it).
    bool focus(std::uint32_t window);
    // Where a client window lies in root-window space, less the invisible shadow a toolkit
    // draws around client-side decorations (_GTK_FRAME_EXTENTS); absent once it is gone.
    std::optional<Rect> contentFrame(std::uint32_t window);
    // Where a client window lies in root-window space, whole, shadow and all.
    std::optional<Rect> wholeFrame(std::uint32_t window);
    // The whole frame with the window manager's decorations around it (_NET_FRAME_EXTENTS): its
    // title bar and borders. The whole frame when the window manager draws none.
    std::optional<Rect> decoratedFrame(std::uint32_t window);
    // Whether a client window is a dialog of another (WM_TRANSIENT_FOR, a dialog's window type,
    // or the modal state); false once it is gone.
    bool isDialog(std::uint32_t window);
    // A fresh timestamp of the X server (from a property change on a window of our own); 0 when
    // the server cannot be asked.
    std::uint32_t serverTime();

    // Follows changes of the active window: once called, activeWindowChanged() tells whether it
    // changed since it was last asked, reading what the server sent. fileDescriptor() becomes
    // readable when the server sent something.
    void watchActiveWindow();
    bool activeWindowChanged();
    int fileDescriptor() const;

  private:
    struct Impl;
    explicit Workspace(std::unique_ptr<Impl> impl);
    std::vector<std::uint32_t> clientList();
    ActiveWindow describe(std::uint32_t window);
    std::optional<std::uint32_t> focusedTopLevel();
    bool hasAtom(std::uint32_t window, const char* property, const char* wanted);
    void noteEvent(const void* event);
    std::unique_ptr<Impl> impl_;
};

// The window of an app to raise: the one titled `title` among those of process `pid`, else
// the app's newest window; absent when the app has none. Pure, for tests.
std::optional<std::uint32_t> windowToRaise(const std::vector<ActiveWindow>& windows,
                                           std::int64_t pid, const std::string& title);

// The captured window's twins among an app's windows (as stackOf lists them); one of one when
// the captured window is not among them. Pure, for tests.
Twins twinsOf(const std::vector<StackedWindow>& windows, std::uint32_t captured);

// The titles of the modal dialogs among an app's windows other than `captured`, topmost first,
// and whether one of them is a dialog of the captured window itself. Pure, for tests.
struct ModalDialogs {
    std::vector<std::string> titles;
    bool overCaptured = false;
};
ModalDialogs modalDialogsOf(const std::vector<StackedWindow>& windows, std::uint32_t captured);

// Orders monitor rectangles with the primary one first; pure, for tests.
std::vector<Rect> primaryFirst(std::vector<Rect> monitors, std::optional<std::size_t> primaryIndex);

}  // namespace ovra::x11
