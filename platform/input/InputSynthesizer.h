#pragma once

// Synthetic pointer and key input and window activation, for pressing and scrolling in other
// apps' windows and for the self-tests' keys. Points are in accessibility space, which on X11 is
// the root window's space.
//
// Synthetic events go to whatever window takes pointer input at the point: the caller makes the
// app's own windows ignore pointer input before clicking or scrolling, and checks with
// `isWindowAt` that the point lies over the window it means.

#include <cstdint>
#include <optional>
#include <vector>

#include "core/Rect.h"

namespace ovra::input {

// A top-level window of the desktop (an X window id).
using WindowId = std::uint32_t;
// A key of the keyboard by its X keycode (the keyboard layout maps key codes to these).
using KeyCode = std::uint8_t;

enum class WheelDirection { up, down };

class InputSynthesizer {
  public:
    virtual ~InputSynthesizer() = default;

    // Where the pointer is now; absent when it cannot be read.
    virtual std::optional<Point> pointerLocation() = 0;
    // Moves the pointer without pressing anything. False when nothing was sent.
    virtual bool movePointer(Point to) = 0;
    // Moves the pointer to `at`, then presses and releases the left button there. False when the
    // events could not be sent (then none was).
    virtual bool click(Point at) = 0;
    // Presses the left button where the pointer is, holds it as a click does and releases it,
    // only while the pointer is at `at` (the whole pixel): nothing is sent when it has moved
    // away meanwhile.
    virtual bool pressAt(Point at) = 0;
    // Moves the pointer to `at` and turns the vertical wheel by `notches` (at least 1).
    virtual bool wheel(Point at, WheelDirection direction, int notches) = 0;
    // Asks the window manager to bring a top-level window to the front and focus it, as a pager
    // would.
    virtual bool activateWindow(WindowId window) = 0;
    // Presses the keys in order, then releases them in the same order: one key is a tap, a
    // modifier before a key a chord. False when a key could not be sent (those down come up).
    virtual bool typeChord(const std::vector<KeyCode>& keys) = 0;
    // Whether pointer input at `point` goes to `window` (or to a window inside it).
    virtual bool isWindowAt(WindowId window, Point point) = 0;
};

// The whole-pixel position for a point, when it is finite and within the coordinate range of
// the display server; the point is rounded to the nearest pixel.
struct Pixel {
    std::int16_t x = 0;
    std::int16_t y = 0;
    friend bool operator==(const Pixel&, const Pixel&) = default;
};
std::optional<Pixel> toPixel(Point point);

}  // namespace ovra::input
