#include "app/overlay/KeyHints.h"

#include <algorithm>

#include "app/overlay/OverlayModel.h"
#include "core/OvraText.h"

namespace ovra {

namespace KeyHints {

std::vector<KeyHintRow> rows(const OverlayModel& model) {
    const OverlayPhase& phase = model.phase();
    if (phase.loading()) {
        return {};
    }
    if (phase.message()) {
        return {{{"Esc", OvraText::t("close")}}};
    }
    const std::string press = OvraText::t(model.armedID() ? "confirm" : "press");
    if (model.finding()) {
        return {{{"↑ ↓", OvraText::t("next match")},
                 {"Return", press},
                 {"Esc", OvraText::t("leave find")}}};
    }
    return {{{"Tab / →", OvraText::t("next")},
             {OvraText::t("1 to 9"), OvraText::t("jump")},
             {"Return", press},
             {"W", OvraText::t("why")},
             {"S", OvraText::t(model.sidebar() ? "ovras" : "sidebar")},
             {"A", OvraText::t(model.showAll() ? "fewer" : "show all")},
             {"Esc", OvraText::t("close")}},
            {{"F", OvraText::t("find")},
             {"J / K", OvraText::t("scroll")},
             {"Page Down", OvraText::t("next screen")}}};
}

}  // namespace KeyHints

namespace {

struct LineBox {
    double width = 0;
    double height = 0;
};

LineBox measure(const std::vector<std::size_t>& line, const std::vector<Size>& sizes,
                double spacing) {
    LineBox box;
    for (std::size_t i : line) {
        box.width += sizes[i].width;
        box.height = std::max(box.height, sizes[i].height);
    }
    if (!line.empty()) {
        box.width += spacing * static_cast<double>(line.size() - 1);
    }
    return box;
}

}  // namespace

std::vector<std::vector<std::size_t>> HintFlow::lines(const std::vector<Size>& sizes,
                                                      double width) const {
    std::vector<std::vector<std::size_t>> out(1);
    double x = 0;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const double w = sizes[i].width;
        // A line laid again in the width measured for it keeps its items, whatever the sums'
        // rounding.
        if (!out.back().empty() && width + 1e-6 < x + spacing + w) {
            out.emplace_back();
            x = 0;
        }
        x += w + (out.back().empty() ? 0 : spacing);
        out.back().push_back(i);
    }
    return out;
}

Size HintFlow::sizeThatFits(const std::vector<Size>& sizes,
                            std::optional<double> proposedWidth) const {
    double width = 0;
    if (proposedWidth) {
        width = *proposedWidth;
    } else {
        for (const Size& s : sizes) {
            width += s.width + spacing;
        }
    }
    double widest = 0;
    double height = 0;
    bool first = true;
    for (const auto& line : lines(sizes, width)) {
        const LineBox box = measure(line, sizes, spacing);
        widest = std::max(widest, box.width);
        height += box.height + (first ? 0 : lineSpacing);
        first = false;
    }
    return {std::min(width, widest), height};
}

std::vector<Point> HintFlow::place(const std::vector<Size>& sizes, const Rect& bounds) const {
    std::vector<Point> at(sizes.size());
    double y = bounds.minY();
    for (const auto& line : lines(sizes, bounds.width())) {
        const LineBox box = measure(line, sizes, spacing);
        double x = bounds.minX() + (bounds.width() - box.width) / 2;
        for (std::size_t i : line) {
            at[i] = {x, y + (box.height - sizes[i].height) / 2};
            x += sizes[i].width + spacing;
        }
        y += box.height + lineSpacing;
    }
    return at;
}

}  // namespace ovra
