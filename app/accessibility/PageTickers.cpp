#include "app/accessibility/PageTickers.h"

#include <algorithm>

namespace ovra::PageTickers {

std::vector<ax::Element> find(const std::vector<ax::Change>& told, double until) {
    struct Seen {
        ax::Element source;
        double last = 0;  // when it last changed, since the keyboard last changed
    };
    std::vector<Seen> seen;
    std::vector<ax::Element> tickers;
    for (const ax::Change& change : told) {
        if (change.at >= until) {
            break;
        }
        if (change.kind != ax::Change::Kind::content) {
            // What the page does from here on may answer this change of the keyboard.
            seen.clear();
            continue;
        }
        if (change.source.isNull() ||
            std::find(tickers.begin(), tickers.end(), change.source) != tickers.end()) {
            continue;
        }
        const auto found = std::find_if(seen.begin(), seen.end(),
                                        [&](const Seen& s) { return s.source == change.source; });
        if (found == seen.end()) {
            seen.push_back({change.source, change.at});
        } else if (change.at - found->last >= kOneMoment) {
            tickers.push_back(change.source);
        } else {
            found->last = change.at;  // the same moment, told in parts
        }
    }
    return tickers;
}

}  // namespace ovra::PageTickers
