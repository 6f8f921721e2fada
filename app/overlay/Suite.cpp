#include "app/overlay/Suite.h"

#include <cmath>

namespace ovra::RuledPaperRules {

std::vector<double> positions(double height, double lineHeight) {
    std::vector<double> out;
    if (!std::isfinite(lineHeight) || lineHeight <= 0 || !std::isfinite(height)) {
        return out;
    }
    for (int k = 1; k <= maxRules; ++k) {
        const double y = k * lineHeight;
        if (!(y < height)) {
            break;
        }
        out.push_back(y);
    }
    return out;
}

}  // namespace ovra::RuledPaperRules
