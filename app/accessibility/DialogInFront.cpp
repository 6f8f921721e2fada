#include "app/accessibility/DialogInFront.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <set>
#include <string>
#include <utility>

#include "app/accessibility/SeenControls.h"
#include "core/Candidate.h"
#include "core/Visibility.h"

namespace ovra::DialogInFront {
namespace {

// A page's prompt sits a few levels below the window, beside the page (Firefox) or alone in it
// (Chromium): a look through the browser's own parts stops well before its toolbars' depths.
constexpr std::size_t kMostElements = 300;
constexpr std::size_t kMostLevels = 8;
// A dialog shown has some size on screen; one folded to a line is closed.
constexpr double kLeastShown = 4;
// Modal dialogs asked about in one reading; the next one after them counts unasked.
constexpr int kMostModalsAsked = 4;

// Which nodes are drawn fully transparent where the toolkit tells: a node told so, and every node
// inside one (Gecko tells it of the faded element alone, not of what it holds).
std::vector<bool> transparent(const WalkResult& walked) {
    std::set<std::vector<int>> clear;
    for (const ReadNode& n : walked.nodes) {
        if (n.opaque == false) {
            clear.insert(n.path);
        }
    }
    std::vector<bool> out(walked.nodes.size(), false);
    if (clear.empty()) {
        return out;
    }
    for (std::size_t i = 0; i < walked.nodes.size(); ++i) {
        const std::vector<int>& path = walked.nodes[i].path;
        for (std::size_t length = 0; length <= path.size() && !out[i]; ++length) {
            out[i] = clear.contains(
                std::vector<int>(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(length)));
        }
    }
    return out;
}

// Parts of a browser window that never hold a page's prompt.
bool holdsNoPrompt(const std::string& role) {
    return role == "AXMenuBar" || role == "AXMenu" || role == "AXToolbar" || role == "AXTabGroup";
}

}  // namespace

std::optional<std::size_t> of(const WalkResult& walked, const Rect& viewport,
                              const std::optional<Rect>& web, const FindsDialog& finds,
                              std::vector<std::size_t>* notShown) {
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
    // The modal dialogs on screen, the last in the page first: one over another is shown on top.
    std::vector<std::pair<std::size_t, Rect>> modals;
    const std::vector<bool> clear = transparent(walked);
    for (std::size_t i = 0; i < walked.nodes.size(); ++i) {
        const ReadNode& n = walked.nodes[i];
        // A toolkit that tells opacity (Gecko) tells of a dialog faded out in place: the hit
        // test still finds what is drawn at no opacity.
        if (!n.modal || n.path.empty() || !n.frame || clear[i]) {
            continue;
        }
        const Rect visible = n.frame->intersection(viewport);
        if (visible.isFinite() && !visible.isNull() && visible.width() >= kLeastShown &&
            visible.height() >= kLeastShown) {
            modals.emplace_back(i, visible);
        }
    }
    std::stable_sort(modals.begin(), modals.end(), [&](const auto& a, const auto& b) {
        return walked.nodes[b.first].path < walked.nodes[a.first].path;
    });
    int asked = 0;
    for (const auto& [node, visible] : modals) {
        if (!finds || asked >= kMostModalsAsked) {
            return node;
        }
        ++asked;
        if (finds(node, visible.center()) != false) {
            return node;
        }
        if (notShown != nullptr) {
            notShown->push_back(node);
        }
    }
    return std::nullopt;
}

std::vector<std::size_t> fadedOut(const WalkResult& walked) {
    std::vector<std::size_t> faded;
    const std::vector<bool> clear = transparent(walked);
    for (std::size_t i = 0; i < walked.nodes.size(); ++i) {
        const ReadNode& n = walked.nodes[i];
        if (n.modal && !n.path.empty() && clear[i]) {
            faded.push_back(i);
        }
    }
    return faded;
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
    return !firstUp(backend, window, element,
                    [&](const ax::Element& e) { return e == elements[*prompt]; });
}

}  // namespace ovra::DialogInFront
