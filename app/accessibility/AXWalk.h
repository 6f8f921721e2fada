#pragma once

// The bounded breadth-first walk of one window's accessibility tree: reads each node's
// attribute batch once, collects the nodes that qualify as candidates, notes scroll areas and
// web content, and decides per node whether its children are worth reading.

#include <optional>
#include <string>
#include <vector>

#include "app/accessibility/BoundedReader.h"
#include "app/accessibility/ScrollTarget.h"
#include "core/Rect.h"

namespace ovra {

struct WalkLimits {
    int maxDepth = 0;     // levels of non-structural roles above a node still descended into
    int maxRawDepth = 0;  // levels of any role below the window still descended into
    int nodeBudget = 0;   // nodes whose attributes are read
};

// A candidate node as the walk found it.
struct FoundNode {
    NodeInfo info;
    ax::Element element;
    std::vector<int> path;  // child index at each level below the window
    bool chrome = false;    // in chrome: under a toolbar or among tabs, outside web content
    std::optional<std::string> dialog;
    std::size_t node = 0;    // its entry in the walk's nodes
    Rect visible;            // the part of its frame the viewport and clipping ancestors leave
    bool unsettled = false;  // in a page whose browser cannot tell now whether it is drawn
};

// Every node the walk read and did not find hidden, for the rules that look at what lies over
// what: where it is, and what it is.
struct ReadNode {
    ax::Element element;
    std::optional<Rect> frame;
    Rect shown;  // the part of the frame its clipping ancestors leave; null without a frame
    std::vector<int> path;
    std::string role;
    std::optional<bool> opaque;
    std::optional<bool> showing;  // false: its toolkit draws it nowhere (clipped away)
    bool modal = false;           // a modal dialog
    bool dialog = false;          // a dialog or sheet inside the window
    bool inWeb = false;           // inside web content
};

struct WalkResult {
    std::vector<FoundNode> found;       // in walk (breadth-first) order
    std::vector<ReadNode> nodes;        // in walk order; the window first
    std::vector<ScrollRegion> regions;  // in the order they were met
    std::vector<Rect> webAreas;         // reported web content rectangles, in order
    int nodesRead = 0;
};

// Whether a node of this role and subrole is a dialog or sheet within its window.
bool isDialogRole(const std::string& role, const std::string* subrole);

// Collapses runs of white space and line breaks to one space and trims the ends.
std::string cleaned(const std::string* text);
// The first `count` user-perceived characters of a text.
std::string prefixCharacters(const std::string& text, std::size_t count);

WalkResult walk(BoundedReader& reader, const ax::Element& window, const Rect& viewport,
                const WalkLimits& limits);

}  // namespace ovra
