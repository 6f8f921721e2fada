#include "app/accessibility/DialogInFront.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <string>

#include "core/Candidate.h"
#include "core/Visibility.h"

namespace ovra::DialogInFront {
namespace {

// A page's prompt sits a few levels below the window, beside the page (Firefox) or alone in it
// (Chromium): a look through the browser's own parts stops well before its toolbars' depths.
constexpr std::size_t kMostElements = 300;
constexpr std::size_t kMostLevels = 8;
constexpr int kMostAncestors = 64;
// A prompt that the browser does not yet call a dialog lies beside its page: in the page's own
// container or the one above it.
constexpr std::size_t kMostLevelsBesideThePage = 2;

// Parts of a browser window that never hold a page's prompt.
bool holdsNoPrompt(const std::string& role) {
    return role == "AXMenuBar" || role == "AXMenu" || role == "AXToolbar" || role == "AXTabGroup";
}

bool laidOver(const Rect& frame, const std::vector<Rect>& pages) {
    return frame.width() > 0 && frame.height() > 0 &&
           std::any_of(pages.begin(), pages.end(),
                       [&](const Rect& page) { return page.insetBy(-2, -2).contains(frame); });
}

}  // namespace

std::optional<std::size_t> promptAmong(const std::vector<Part>& parts,
                                       const std::vector<Rect>& pages) {
    std::vector<Rect> areas = pages;
    std::vector<std::size_t> pageParts;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].role == "AXWebArea" && !parts[i].inWeb) {
            pageParts.push_back(i);
            if (pages.empty() && parts[i].frame && !parts[i].path.empty()) {
                // What shows of the page: a page's frame is the whole page, its parent's (the
                // browser's view of it) the part on screen.
                Rect shown = *parts[i].frame;
                const std::vector<int> above(parts[i].path.begin(), parts[i].path.end() - 1);
                for (const Part& parent : parts) {
                    if (parent.path == above && parent.frame) {
                        shown = shown.intersection(*parent.frame);
                    }
                }
                areas.push_back(shown);
            }
        }
    }
    const auto holdsButton = [&](std::size_t i) {
        return std::any_of(parts.begin(), parts.end(), [&](const Part& p) {
            return p.control && p.role == "AXButton" && Visibility::within(p.path, parts[i].path);
        });
    };
    // A prompt stands in the middle of its page; the bars and panels a browser lays over a
    // page's edges (a link's address, a find bar) do not.
    const auto amidAPage = [&](const Part& p) {
        return std::any_of(areas.begin(), areas.end(), [&](const Rect& page) {
            return p.frame && p.frame->width() < page.width() * 0.9 &&
                   std::abs(p.frame->midX() - page.midX()) < page.width() / 6;
        });
    };
    const auto overAPage = [&](const Part& p) {
        return !p.path.empty() && !p.inWeb && p.frame && laidOver(*p.frame, areas);
    };
    std::optional<std::size_t> prompt;
    const auto found = [&](std::size_t i) {
        if (!prompt || parts[*prompt].path < parts[i].path) {
            prompt = i;
        }
    };
    for (std::size_t i = 0; i < parts.size(); ++i) {
        // A window whose own content is a dialog, with no page, shows it in the page's place.
        if (parts[i].dialog &&
            (overAPage(parts[i]) || (areas.empty() && parts[i].path.size() == 1))) {
            found(i);
        }
    }
    for (const std::size_t page : pageParts) {
        const std::vector<int>& path = parts[page].path;
        for (std::size_t up = 1; up <= kMostLevelsBesideThePage && up < path.size(); ++up) {
            const std::vector<int> holder(path.begin(),
                                          path.end() - static_cast<std::ptrdiff_t>(up));
            for (std::size_t i = 0; i < parts.size(); ++i) {
                const Part& p = parts[i];
                if (p.path.size() == holder.size() + 1 && Visibility::within(p.path, holder) &&
                    !Visibility::within(path, p.path) && overAPage(p) && amidAPage(p) &&
                    holdsButton(i)) {
                    found(i);
                }
            }
        }
    }
    return prompt;
}

std::optional<std::size_t> of(const WalkResult& walked, const Rect& viewport,
                              const std::optional<Rect>& web) {
    std::vector<bool> control(walked.nodes.size(), false);
    for (const FoundNode& found : walked.found) {
        control[found.node] = true;
    }
    std::vector<Part> parts;
    parts.reserve(walked.nodes.size());
    for (std::size_t i = 0; i < walked.nodes.size(); ++i) {
        const ReadNode& n = walked.nodes[i];
        parts.push_back({.path = n.path,
                         .role = n.role,
                         .frame = n.frame,
                         .dialog = n.dialog,
                         .inWeb = n.inWeb,
                         .control = control[i]});
    }
    if (web) {
        if (auto prompt = promptAmong(parts, {*web})) {
            return prompt;
        }
    }
    std::optional<std::size_t> modal;
    for (std::size_t i = 0; i < walked.nodes.size(); ++i) {
        const ReadNode& n = walked.nodes[i];
        if (n.modal && !n.path.empty() && (!n.frame || n.frame->intersects(viewport)) &&
            (!modal || walked.nodes[*modal].path < n.path)) {
            modal = i;
        }
    }
    return modal;
}

bool promptHides(ax::AccessibilityBackend& backend, const ax::Element& window,
                 const ax::Element& element) {
    static constexpr std::string_view kNames[] = {"AXRole", "AXSubrole", "AXPosition", "AXSize",
                                                  "AXHidden"};
    if (window.isNull()) {
        return false;
    }
    struct Queued {
        ax::Element element;
        std::vector<int> path;
    };
    std::vector<Part> parts;
    std::vector<ax::Element> elements;
    std::deque<Queued> queue{{window, {}}};
    std::size_t seen = 0;
    while (!queue.empty() && seen < kMostElements) {
        Queued next = std::move(queue.front());
        queue.pop_front();
        ++seen;
        auto read = backend.attributes(next.element, kNames);
        if (!read || read.value().size() != std::size(kNames)) {
            continue;
        }
        const auto& v = read.value();
        const auto text = [&](std::size_t i) -> const std::string* {
            return v[i] ? ax::asString(v[i].value()) : nullptr;
        };
        if (v[4] && ax::asBool(v[4].value()) == true) {
            continue;
        }
        const std::string* roleText = text(0);
        const std::string role = roleText != nullptr ? *roleText : std::string();
        const auto origin = v[2] ? ax::asPoint(v[2].value()) : std::nullopt;
        const auto size = v[3] ? ax::asSize(v[3].value()) : std::nullopt;
        std::optional<Rect> frame;
        if (origin && size && Rect(*origin, *size).isFinite()) {
            frame = Rect(*origin, *size);
        }
        parts.push_back({.path = next.path,
                         .role = role,
                         .frame = frame,
                         .dialog = isDialogRole(role, text(1)),
                         .control = CandidateRoles::isCandidate(role, false)});
        elements.push_back(next.element);
        // A page's own dialogs are the page's; its controls are not looked through.
        if (role == "AXWebArea" || next.path.size() >= kMostLevels || holdsNoPrompt(role) ||
            parts.back().control) {
            continue;
        }
        auto kids = backend.children(next.element, kMostElements - seen);
        if (!kids) {
            continue;
        }
        backend.prefetch(kids.value(), kNames, kMostElements);
        for (std::size_t i = 0; i < kids.value().size(); ++i) {
            std::vector<int> path = next.path;
            path.push_back(static_cast<int>(i));
            queue.push_back({kids.value()[i], std::move(path)});
        }
    }
    const auto prompt = promptAmong(parts, {});
    if (!prompt) {
        return false;
    }
    // The prompt's own buttons are pressed as ever.
    ax::Element current = element;
    for (int step = 0; step < kMostAncestors && !current.isNull(); ++step) {
        if (current == elements[*prompt]) {
            return false;
        }
        auto parent = backend.attribute(current, "AXParent");
        auto next = parent ? ax::asElement(parent.value()) : std::nullopt;
        current = next ? std::move(*next) : ax::Element();
    }
    return true;
}

}  // namespace ovra::DialogInFront
