#pragma once

// Private to the AT-SPI backend: AX attribute values, children and windows from what was read
// of an element, reading what is still missing.

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/atspi/AtspiApps_p.h"
#include "platform/atspi/AtspiFrameScale_p.h"
#include "platform/atspi/AtspiNodeCache_p.h"
#include "platform/atspi/AtspiRequests_p.h"
#include "platform/atspi/AtspiWebContent_p.h"

namespace ovra::atspi::session {

class ValueMapping {
  public:
    ValueMapping(RequestPipeline& requests, AppDirectory& apps, NodeCache& nodes,
                 FrameScaling& frames)
        : requests_(requests),
          apps_(apps),
          nodes_(nodes),
          frames_(frames),
          web_(requests, apps, nodes) {}

    // Windows may have moved since the last reading, and lists scrolled.
    void newReading() {
        windowOrigins_.clear();
        web_.newReading();
    }
    // What was read of the app's pages is gone: it changed, or is read afresh.
    void forget() {
        windowOrigins_.clear();
        web_.forget();
    }

    // An attribute of an element, or of the web area of a document presented as a scroll area
    // (`webArea`).
    ax::Read valueOf(Node& n, std::string_view name, bool webArea = false);
    // Whether an attribute needs the follow-up reads of a node's role.
    static bool needsFollowUps(std::string_view name);
    // Whether an attribute needs a node's name, description, child count or parent.
    static bool needsProps(std::string_view name);
    Result<ax::ElementList, AXError> childrenOf(Node& n, std::size_t limit, bool webArea = false);
    // The focused window, else the first shown one with a name.
    ax::Read windowOf(Node& app, bool focused);
    // The name a person reads, less the toolkit's stand-ins for one.
    std::string nameOf(const Node& n) const;

  private:
    ax::Read frameValue(Node& n, std::string_view name, const Rect& frame);
    ax::Read parentOf(Node& n);
    ax::Read valueAttribute(Node& n, std::uint32_t role);
    ax::Read foldedText(Node& n, std::uint32_t role);
    ax::Read titleElement(Node& n);
    Result<ax::ElementList, AXError> childrenByIndex(Node& n, std::size_t count);
    // The window-relative frames of some toolkits, moved to where the window is on screen.
    std::optional<Point> screenOffset(Node& n);
    bool hiddenDocument(const Node& n) const;
    // Whether the element's frame lies wholly inside its parent's.
    bool insideParent(const Node& n);

    RequestPipeline& requests_;
    AppDirectory& apps_;
    NodeCache& nodes_;
    FrameScaling& frames_;
    // Screen origins of windows whose toolkit gives window-relative frames, per reading.
    std::unordered_map<std::string, std::optional<Point>> windowOrigins_;
    WebContent web_;
};

}  // namespace ovra::atspi::session
