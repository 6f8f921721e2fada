#include "app/accessibility/AXWalk.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "core/Candidate.h"
#include "core/CandidateSelector.h"
#include "core/Text.h"
#include "core/Visibility.h"

namespace ovra {

namespace {

struct WorkItem {
    ax::Element element;
    int parent = -1;  // index of the parent item; -1 for the window
    int childIndex = 0;
    int depth = 0;
    int rawDepth = 0;
    bool chrome = false;
    // A child of a tab group: chrome when it is a tab; the page the tabs show is as chrome as
    // the tab group's surroundings (`besideTabs`).
    bool inTabGroup = false;
    bool besideTabs = false;
    std::optional<Rect> scrollFrame;
    // What the clipping ancestors (scroll areas, web content such as a frame's view) leave
    // visible.
    std::optional<Rect> clip;
    int context = -1;  // index into the walk's dialog contexts
    int region = -1;   // index into the region list
    bool inWeb = false;
    // Inside a page's combo box, whose popup a page lays over other content and whose own
    // fields it hides under its chips: only a hit test tells what of it is drawn.
    bool inPopup = false;
    // Inside a pressable container the page shows (a label, which a click presses its control
    // through): a page may hide the control's own element and draw it there (a web
    // component's switch). Only the hit test tells whether it is drawn.
    bool inShownLabel = false;
};

bool canPress(BoundedReader& reader, const ax::Element& element) {
    auto names = reader.actionNames(element);
    if (!names) {
        return false;
    }
    const auto& list = names.value();
    return std::find(list.begin(), list.end(), "AXPress") != list.end();
}

std::vector<int> pathOf(const std::vector<WorkItem>& items, int index) {
    std::vector<int> path;
    for (int i = index; i >= 0 && items[static_cast<std::size_t>(i)].parent >= 0;
         i = items[static_cast<std::size_t>(i)].parent) {
        path.push_back(items[static_cast<std::size_t>(i)].childIndex);
    }
    std::reverse(path.begin(), path.end());
    return path;
}

bool isDialog(const NodeInfo& info, const std::string& role) {
    return isDialogRole(role, info.string(NodeAttribute::subrole));
}

std::optional<std::string> dialogContext(const NodeInfo& info, const std::string& role) {
    if (!isDialog(info, role)) {
        return std::nullopt;
    }
    std::string name = cleaned(info.string(NodeAttribute::description));
    if (name.empty()) {
        name = cleaned(info.string(NodeAttribute::title));
    }
    name = name.empty() ? "(unnamed)" : prefixCharacters(name, 80);
    return "dialog:" + name;
}

}  // namespace

bool isDialogRole(const std::string& role, const std::string* subrole) {
    return role == "AXSheet" || (subrole && (*subrole == "AXApplicationDialog" ||
                                             *subrole == "AXApplicationAlertDialog"));
}

std::string cleaned(const std::string* text) {
    if (text == nullptr || text->empty()) {
        return {};
    }
    const icu::UnicodeString source = text::fromUtf8(*text);
    icu::UnicodeString out;
    bool pendingSpace = false;
    for (int32_t i = 0; i < source.length(); i = source.moveIndex32(i, 1)) {
        const UChar32 c = source.char32At(i);
        if (text::isWhitespaceOrNewline(c)) {
            pendingSpace = !out.isEmpty();
            continue;
        }
        if (pendingSpace) {
            out.append(u' ');
            pendingSpace = false;
        }
        out.append(c);
    }
    return text::toUtf8(out);
}

std::string prefixCharacters(const std::string& text, std::size_t count) {
    const icu::UnicodeString source = text::fromUtf8(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> characters(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !characters) {
        return text::toUtf8(source);
    }
    characters->setText(source);
    int32_t end = characters->first();
    for (std::size_t n = 0; n < count; ++n) {
        const int32_t next = characters->next();
        if (next == icu::BreakIterator::DONE) {
            return text::toUtf8(source);
        }
        end = next;
    }
    return text::toUtf8(source.tempSubString(0, end));
}

WalkResult walk(BoundedReader& reader, const ax::Element& window, const Rect& viewport,
                const WalkLimits& limits) {
    WalkResult result;
    if (limits.nodeBudget < 1) {
        return result;
    }
    const auto budget = static_cast<std::size_t>(limits.nodeBudget);
    std::vector<WorkItem> items;
    items.reserve(std::min<std::size_t>(budget, 1024));
    items.push_back({.element = window});
    std::vector<std::string> contexts;

    for (std::size_t index = 0; index < items.size() && index < budget; ++index) {
        if (reader.shouldStop()) {
            break;
        }
        // Copy what later steps need: pushing children may move the items.
        WorkItem item = items[index];
        // The outline decides what the node is; its texts are read only where they are used: for
        // a candidate and a dialog's name.
        NodeInfo info = reader.nodeOutline(item.element);
        bool completed = false;
        const auto complete = [&] {
            if (!std::exchange(completed, true)) {
                reader.completeNodeInfo(item.element, info);
            }
        };
        ++result.nodesRead;
        const std::string role = info.role();
        const std::optional<Rect> frame = info.frame();
        if (item.inTabGroup && role != "AXRadioButton") {
            item.chrome = item.besideTabs;
        }

        // 2. Hidden nodes and everything below them are skipped.
        if (info.boolean(NodeAttribute::hidden) == true) {
            continue;
        }
        const std::size_t nodeIndex = result.nodes.size();
        result.nodes.push_back({.element = item.element,
                                .frame = frame,
                                .shown = !frame      ? Rect::null()
                                         : item.clip ? frame->intersection(*item.clip)
                                                     : *frame,
                                .path = pathOf(items, static_cast<int>(index)),
                                .role = role,
                                .opaque = info.boolean(NodeAttribute::opaque),
                                .showing = info.boolean(NodeAttribute::showing),
                                .modal = info.boolean(NodeAttribute::modal) == true,
                                .dialog = isDialog(info, role),
                                .inWeb = item.inWeb});

        // 3. Scroll regions.
        int childRegion = item.region;
        if (frame) {
            if (item.region >= 0) {
                result.regions[static_cast<std::size_t>(item.region)].saw(*frame);
            }
            if (role == "AXScrollArea") {
                result.regions.push_back(
                    {.element = item.element, .frame = *frame, .isScrollArea = true});
                childRegion = static_cast<int>(result.regions.size() - 1);
            } else if (CandidateRoles::webContent().contains(role)) {
                ScrollRegion* enclosing =
                    item.region >= 0 ? &result.regions[static_cast<std::size_t>(item.region)]
                                     : nullptr;
                if (enclosing && enclosing->isScrollArea) {
                    const bool first = !enclosing->web && frame->height() > 0;
                    const bool taller =
                        enclosing->web && enclosing->web->height() < frame->height();
                    if (first || taller) {
                        enclosing->web = *frame;
                    }
                } else {
                    result.regions.push_back({.element = item.element,
                                              .frame = *frame,
                                              .isScrollArea = false,
                                              .web = *frame});
                    childRegion = static_cast<int>(result.regions.size() - 1);
                }
            }
        }

        // 4. Web content rectangles for clipping.
        if (CandidateRoles::webContent().contains(role)) {
            if (item.scrollFrame) {
                result.webAreas.push_back(*item.scrollFrame);
            } else if (frame) {
                result.webAreas.push_back(*frame);
            }
        }

        // 5. Only pressable containers are asked for their actions, and only those that would
        // be visited: for any other, whether it can press changes nothing below.
        // Only what a person can see is offered: a frame that makes sense, inside the viewport
        // and every clipping ancestor, and not clipped away as the toolkit tells.
        const bool visitable = info.boolean(NodeAttribute::enabled) != false && frame &&
                               Visibility::isPlausibleFrame(*frame, viewport) &&
                               frame->intersects(viewport) &&
                               (!item.clip || frame->intersects(*item.clip)) &&
                               (info.boolean(NodeAttribute::showing) != false || item.inShownLabel);
        const bool pressable = visitable && CandidateRoles::pressableContainers().contains(role) &&
                               canPress(reader, item.element);

        // 6. Candidates.
        if (CandidateRoles::isCandidate(role, pressable)) {
            if (visitable) {
                complete();
                Rect visible = frame->intersection(viewport);
                if (item.clip) {
                    visible = visible.intersection(*item.clip);
                }
                result.found.push_back(
                    {.info = info,
                     .element = item.element,
                     .path = result.nodes[nodeIndex].path,
                     .chrome = item.chrome,
                     .dialog = item.context >= 0
                                   ? std::optional(contexts[static_cast<std::size_t>(item.context)])
                                   : std::nullopt,
                     .node = nodeIndex,
                     .visible = visible,
                     .unsettled = item.inPopup ||
                                  (item.inWeb && info.boolean(NodeAttribute::showing) != true)});
            }
            // A page's combo box holds what its popup offers (options, a chip's remove button).
            const bool popup = item.inWeb && role == "AXPopUpButton";
            if (!pressable && role != "AXLink" && role != "AXComboBox" && !popup) {
                continue;
            }
        }

        // 7. Leaves.
        if (role == "AXStaticText" || role == "AXImage") {
            continue;
        }

        // 8. Parts of a scroll area that lie off screen.
        if (item.rawDepth >= 1 && frame &&
            OffscreenPruning::skip(*frame, viewport, item.scrollFrame.has_value())) {
            continue;
        }

        // 9, 10. Depth limits.
        const int depth = item.depth + (CandidateRoles::structural().contains(role) ? 0 : 1);
        if (depth > limits.maxDepth) {
            continue;
        }
        const int rawDepth = item.rawDepth + 1;
        if (rawDepth > limits.maxRawDepth) {
            continue;
        }

        // 11-13. What the children inherit.
        // Chrome is what a browser puts around its pages: a toolbar or tab list inside web
        // content is the page's own, and a page's content is never chrome. Of a tab group only
        // the tabs are: the page they show (a native notebook's) is not.
        const bool entersWeb = CandidateRoles::webContent().contains(role);
        const bool chrome = !item.inWeb && !entersWeb &&
                            (item.chrome || CandidateRoles::chromeContainers().contains(role));
        const std::optional<Rect> scrollFrame =
            role == "AXScrollArea" && frame ? frame : item.scrollFrame;
        std::optional<Rect> clip = item.clip;
        const bool clips = role == "AXScrollArea" || entersWeb;
        // A frame not laid out yet (a page still loading) clips nothing.
        if (clips && frame && frame->width() > 0 && frame->height() > 0) {
            clip = clip ? clip->intersection(*frame) : *frame;
        }
        int context = item.context;
        if (context < 0 && isDialog(info, role)) {
            complete();
            if (auto dialog = dialogContext(info, role)) {
                contexts.push_back(std::move(*dialog));
                context = static_cast<int>(contexts.size() - 1);
            }
        }

        // 14. Children: never more than the budget can still read, so a huge table costs no
        // more memory than a small one.
        if (items.size() >= budget) {
            continue;
        }
        // A native select's options: the browser draws them in a popup window of its own, never
        // in the page, and a long list of countries would spend the budget.
        if (item.inPopup && role == "AXMenu") {
            continue;
        }
        auto children = reader.children(item.element, budget - items.size());
        if (!children) {
            continue;
        }
        const auto& kids = children.value();
        for (std::size_t i = 0; i < kids.size(); ++i) {
            items.push_back({.element = kids[i],
                             .parent = static_cast<int>(index),
                             .childIndex = static_cast<int>(i),
                             .depth = depth,
                             .rawDepth = rawDepth,
                             .chrome = chrome,
                             .inTabGroup = role == "AXTabGroup",
                             .besideTabs = item.chrome,
                             .scrollFrame = scrollFrame,
                             .clip = clip,
                             .context = context,
                             .region = childRegion,
                             .inWeb = item.inWeb || entersWeb,
                             .inPopup = item.inPopup || (item.inWeb && (role == "AXPopUpButton" ||
                                                                        role == "AXComboBox")),
                             .inShownLabel = item.inWeb && pressable &&
                                             info.boolean(NodeAttribute::showing) == true});
        }
        reader.prefetch(kids, budget);
    }
    return result;
}

}  // namespace ovra
