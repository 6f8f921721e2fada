#pragma once

// The accessibility backend as a dump reads through it, so that a dump reads the window the way
// the overlay does: the window as far as it shows, on every monitor it spans (the overlay covers
// them all), and an app's window whether or not the app is in front. An app not in front has no
// focused window; its main window is read then, else the largest window it lists. Every other
// call passes through.

#include <optional>

#include "platform/accessibility/ForwardingBackend.h"

namespace ovra {

class WindowAsShown final : public ax::ForwardingBackend {
  public:
    using ax::ForwardingBackend::ForwardingBackend;

    // The monitors, with the box around those the window read last shows on first.
    std::vector<Rect> screenFrames() override;
    ax::Read attribute(const ax::Element& element, std::string_view name) override;

  private:
    // The app's largest window in its list of windows; none when it lists none.
    std::optional<ax::Element> largestWindow(const ax::Element& appElement);

    std::optional<ax::Element> window_;  // the window last given for an app element
};

}  // namespace ovra
