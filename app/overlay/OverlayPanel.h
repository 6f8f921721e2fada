#pragma once

// The key-taking window the overlay shows in: a frameless, full-screen, override-redirect window
// above other apps on the target's screen. When shown it takes the X input focus. Every key
// press goes to its key handler before any widget inside it sees the key (a filter on the
// window), so a consumed key never reaches the find field. It can let pointer input through
// (an empty input shape) while a click or wheel turn is posted to the app below. With a
// compositing manager the dim is painted with alpha; without one the screen is grabbed just
// before showing and painted dimmed beneath the overlay, and the window follows the compositing
// manager as it starts or stops. To grab the screen again it shows nothing for a moment while
// staying mapped with the keyboard: keys typed meanwhile wait and act once it shows again, but
// Escape, which acts at once. When another app's window takes the keyboard from the shown panel,
// it says so (its owner closes it: keys typed for it would reach that window).

#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "app/overlay/KeyAdapter.h"
#include "app/overlay/OverlayView.h"
#include "platform/scheduler/Scheduler.h"

class QKeyEvent;
class QScreen;

namespace ovra {

namespace x11 {
class InputCatcher;
class OwnWindows;
class Watch;
struct CaughtButton;
}  // namespace x11

class CompositorWatch;

// An editing command the panel passes to its focused text field.
enum class EditAction { paste, copy, cut, selectAll, undo, redo };

class OverlayPanel final : public QWidget {
    Q_OBJECT
  public:
    // True when the key is consumed.
    using KeyHandler = std::function<bool(const KeyInput&)>;

    // `keyboard` is the keyboard's current layout (the keyboard service keeps it current at this
    // address); it places X key codes and says what they type. Without it keys are placed by
    // what Qt reports (enough where there is no X server, and in tests).
    OverlayPanel(OverlayModel& model, Scheduler& scheduler, PointerIntent& pointer,
                 ActivateHandler onActivate, std::function<void()> onDismiss,
                 const keyboard::KeyboardLayout* keyboard = nullptr);
    ~OverlayPanel() override;

    // The owner's key handler, offered every key press (modifiers alone are not offered).
    void setKeyHandler(KeyHandler handler) { onKey_ = std::move(handler); }

    // Covers `area` (device pixels of the root window; `screen`'s frame when none), drawing at
    // `screen`'s pixel ratio (the primary screen when none), shows the panel above other windows
    // and takes the keyboard. Without a compositing manager the area is grabbed first, unless the
    // panel is already showing, and the `target` window (device pixels) keeps a pixel near each
    // corner uncovered, so that it never knows itself covered; a click there is one on the dim
    // layer.
    void present(QScreen* screen = nullptr, std::optional<Rect> area = std::nullopt,
                 std::optional<Rect> target = std::nullopt);
    // Hides the panel; it lets pointer input through no more.
    void orderOut();
    bool isShown() const { return isVisible(); }

    // Lets clicks and wheel turns through to the windows below (true) or takes them (false);
    // in effect at the display server when it returns.
    void setInputTransparent(bool transparent);
    bool inputTransparent() const { return inputTransparent_; }

    // The find field gives up the keyboard; keys go to the overlay itself.
    void focusContent();
    // Passes an editing command to the focused text field; false when none took it.
    bool sendEditAction(EditAction action);

    // Grabs the screen again beneath the panel (after a scroll or a new reading) when there is
    // no compositing manager: the panel steps aside while the grab is made.
    void refreshBackdrop();
    bool compositing() const;

    OverlayView& view() const { return *view_; }

    // The device-pixel frame of a screen in the root window's space.
    static Rect nativeFrame(const QScreen& screen);
    // The model's frame mapping for the overlay covering `screen`.
    static OverlayModel::RectMapping mapping(const QScreen& screen);
    // Where a window covering `area` (device pixels) stands in Qt's coordinates when it is on
    // `screen`: Qt scales a window about the top-left corner of its screen.
    static QRect logicalFrame(const QScreen& screen, const Rect& area);

  Q_SIGNALS:
    // A compositing manager started (true) or stopped; the panel has followed it.
    void compositingChanged(bool compositing);
    // Another app's window (or none) took the keyboard while the panel showed.
    void keyboardTaken();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void grabBackdrop();
    // The covered area as the screens show it now, in device pixels.
    QImage grabArea() const;
    void endStepAside();
    void applyInputShape();
    // A button pressed or released where the panel shows nothing but takes the pointer: a click
    // there dismisses, as one on the dim layer does.
    void buttonCaught(const x11::CaughtButton& button);
    void compositorChanged(bool active);
    // Keys typed before the focus reaches the shown panel come to it all the same: it holds
    // the keyboard until then (tried again while the hotkey's own grab lasts).
    void holdKeyboardUntilFocused(int tries);
    void letKeyboardGo();

    OverlayModel& model_;
    Scheduler& scheduler_;
    const keyboard::KeyboardLayout* keyboard_;
    KeyHandler onKey_;
    std::function<void()> onDismiss_;
    OverlayView* view_;
    std::unique_ptr<CompositorWatch> compositor_;
    std::unique_ptr<x11::OwnWindows> x11_;  // absent off X
    std::unique_ptr<x11::Watch> keyboardWatch_;
    std::unique_ptr<x11::InputCatcher> catcher_;  // over the pixels the panel leaves uncovered
    QScreen* screen_ = nullptr;
    Rect area_;                   // covered, in device pixels
    std::optional<Rect> target_;  // the window read, in device pixels
    bool inputTransparent_ = false;
    bool caughtPress_ = false;  // the primary button went down where the panel shows nothing
    bool steppingAside_ = false;
    // Key presses and releases that came while stepping aside, in order.
    std::deque<std::unique_ptr<QKeyEvent>> heldKeys_;
    Scheduler::Token regrab_ = 0;
    bool keyboardHeld_ = false;
    Scheduler::Token keyboardRetry_ = 0;
};

}  // namespace ovra
