#pragma once

// Private to the AT-SPI backend: the pages browsers show. A page whose document lies in no scroll
// pane (Chromium) is presented as a scroll area (its frame is the viewport) holding the
// document's web area, so that the walk treats it as a scrolled document, as it does a page
// that lies in a scroll pane already (Gecko). The children of a page and of big containers in
// it are listed only as far as they lie on screen: a page of thousands of blocks costs the
// blocks on screen, while the web area's frame, the whole page, still tells how far the page
// goes on above and below.

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/atspi/AtspiNodeCache_p.h"
#include "platform/atspi/AtspiRequests_p.h"

namespace ovra::atspi::session {

class WebContent {
  public:
    WebContent(RequestPipeline& requests, NodeCache& nodes) : requests_(requests), nodes_(nodes) {}

    // The pages read may have changed or scrolled. (A reading kept because nothing moved or
    // changed keeps what was listed.)
    void forget() { listings_.clear(); }

    // Whether `n` (or the web area of the document `n`) lists only the children on screen.
    bool listsOnScreen(const Node& n, bool webArea) const;
    // The children of `n` that lie on screen (or whose frame is unknown), in their order;
    // absent when they could not be told apart: then they are listed as usual.
    const std::optional<std::vector<reply::ObjectRef>>& onScreen(Node& n);
    // The extent of a page: what of it is on screen and its children's frames.
    std::optional<Rect> pageExtent(Node& document);

  private:
    struct Listing {
        std::optional<Rect> extent;
        std::optional<std::vector<reply::ObjectRef>> shown;
    };
    const Listing& listing(Node& n);
    // What of the page `n` is or lies in is on screen.
    std::optional<Rect> viewOf(const Node& n);
    // The children of `n` at these indices, read with their frames; a missing child is absent.
    std::vector<Node*> childrenAt(Node& n, const std::vector<std::int32_t>& indices);
    // The whole child list of `n`, read with its frames.
    std::vector<Node*> allChildren(Node& n);
    void waitForFrames(const std::vector<Node*>& children, const std::string& key,
                       const std::string& busName);

    RequestPipeline& requests_;
    NodeCache& nodes_;
    std::unordered_map<std::string, Listing> listings_;  // per reading, by node
};

}  // namespace ovra::atspi::session
