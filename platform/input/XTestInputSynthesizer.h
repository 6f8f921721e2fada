#pragma once

// Synthetic pointer and key input on an X11 display through the XTest extension, and window
// activation through the window manager's _NET_ACTIVE_WINDOW request. No X11 header leaks out of
// this file.

#include <memory>

#include "core/Result.h"
#include "platform/input/InputSynthesizer.h"

namespace ovra::input {

class XTestInputSynthesizer final : public InputSynthesizer {
  public:
    // Connects to $DISPLAY; fails when there is no display or it lacks XTest.
    static Result<std::unique_ptr<XTestInputSynthesizer>> open();
    ~XTestInputSynthesizer() override;
    XTestInputSynthesizer(const XTestInputSynthesizer&) = delete;
    XTestInputSynthesizer& operator=(const XTestInputSynthesizer&) = delete;

    std::optional<Point> pointerLocation() override;
    bool movePointer(Point to) override;
    bool click(Point at) override;
    bool pressAt(Point at) override;
    bool wheel(Point at, WheelDirection direction, int notches) override;
    bool activateWindow(WindowId window) override;
    bool typeChord(const std::vector<KeyCode>& keys) override;
    bool isWindowAt(WindowId window, Point point) override;

  private:
    struct Impl;
    explicit XTestInputSynthesizer(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace ovra::input
