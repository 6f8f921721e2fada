#pragma once

// Private to the AT-SPI backend: the pages browsers show, and long lists of native apps. A page
// whose document lies in no scroll pane (Chromium) is presented as a scroll area (its frame is
// the viewport) holding the document's web area, so that the walk treats it as a scrolled
// document, as it does a page that lies in a scroll pane already (Gecko). The children of a
// page and of big containers in it are listed only as far as they lie on screen: a page of
// thousands of blocks costs the blocks on screen, while the web area's frame, the whole page,
// still tells how far the page goes on above and below. A native list of thousands of rows
// likewise costs the rows on screen.

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/atspi/AtspiApps_p.h"
#include "platform/atspi/AtspiNodeCache_p.h"
#include "platform/atspi/AtspiRequests_p.h"

namespace ovra::atspi::session {

class WebContent {
  public:
    WebContent(RequestPipeline& requests, AppDirectory& apps, NodeCache& nodes)
        : requests_(requests), apps_(apps), nodes_(nodes) {}

    // The pages read may have changed or scrolled. (A reading kept because nothing moved or
    // changed keeps what was listed.)
    void forget() { listings_.clear(); }
    // A new reading: native lists tell of no scroll, so where they stand is asked again.
    void newReading();

    // Whether `n` (or the web area of the document `n`) lists only the children on screen:
    // a page, a big container in one, or a long list of a native app.
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
    // A long native list: thousands of rows (a file manager's folder) whose frames say nothing
    // of where those off screen lie. The list itself tells which rows lie at points down its
    // view; those between them, and its first children (a table's column headers), are read.
    bool longNativeList(const Node& n) const;
    Listing nativeListing(Node& n);
    // A native table whose rows run on far past its view (a spreadsheet): the children found
    // on screen, each read with its parent.
    Listing foundListing(Node& n, const std::vector<std::pair<std::int32_t, std::string>>& found,
                         const Rect& view);
    // What of the native list `n` shows: its frame, within the scroll pane it lies in.
    std::optional<Rect> nativeViewOf(const Node& n);
    // What the hit test of `n` finds at `points`: each element's place in its parent and path,
    // once each.
    std::vector<std::pair<std::int32_t, std::string>> childrenFoundAt(
        Node& n, const std::vector<Point>& points);
    // What of the page `n` is or lies in is on screen.
    std::optional<Rect> viewOf(const Node& n);
    // The children of `n` at these indices, read with their frames; a missing child is absent.
    std::vector<Node*> childrenAt(Node& n, const std::vector<std::int32_t>& indices);
    // The whole child list of `n`, read with its frames.
    std::vector<Node*> allChildren(Node& n);
    void waitForFrames(const std::vector<Node*>& children, const std::string& key,
                       const std::string& busName);

    RequestPipeline& requests_;
    AppDirectory& apps_;
    NodeCache& nodes_;
    std::unordered_map<std::string, Listing> listings_;  // by node
    std::vector<std::string> nativeListed_;              // keys of native lists among them
};

}  // namespace ovra::atspi::session
