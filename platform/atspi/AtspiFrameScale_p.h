#pragma once

// Private to the AT-SPI backend: how an app's frames map to the screen's device pixels. An app
// on a scaled screen may give its frames in its own scaled pixels (GTK, Qt, Gecko's windows) or,
// for a browser's pages, in device pixels from the page's origin (Chromium); the scale is
// measured from the app's largest shown window against that window's X window.

#include <optional>
#include <string>

#include "core/FrameScale.h"
#include "core/Rect.h"
#include "platform/atspi/AtspiApps_p.h"
#include "platform/atspi/AtspiNodeCache_p.h"

namespace ovra::atspi::session {

class FrameScaling {
  public:
    FrameScaling(NodeCache& nodes, AppDirectory& apps) : nodes_(nodes), apps_(apps) {}

    // How the app's frames map to the screen's device pixels, measured at most once a second.
    FrameScale of(const std::string& busName);
    // A frame the app gave for this node, in device pixels.
    Rect deviceFrame(Node& n, const Rect& given);
    // Where the web page a node lies on begins, as the app gives it; absent off pages (and for
    // a page whose own frame is scaled as its window is).
    std::optional<Point> pageOrigin(Node& n);

  private:
    // The page a node lies on, for a node reached without its ancestors, where the page decides
    // how its content's frames are given; none elsewhere or when no page is above it.
    Node* pageAbove(Node& n);

    NodeCache& nodes_;
    AppDirectory& apps_;
};

}  // namespace ovra::atspi::session
