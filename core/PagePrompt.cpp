#include "core/PagePrompt.h"

#include <algorithm>
#include <cmath>

#include "core/Visibility.h"

namespace ovra::PagePrompt {
namespace {

// A prompt that the browser does not yet call a dialog lies beside its page: in the page's own
// container or the one above it.
constexpr std::size_t kMostLevelsBesideThePage = 2;

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

}  // namespace ovra::PagePrompt
