#include "app/accessibility/PageTickers.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace ovra {
namespace {

using Kind = ax::Change::Kind;

struct Named : ax::ElementRef {
    explicit Named(std::string n) : name(std::move(n)) {}
    std::string key() const override { return name; }
    std::string name;
};

// "clock": a content change of that part; "*focus" / "*active": a change of the keyboard; "":
// a change of no known part.
ax::Change heard(const std::string& what, double at) {
    if (what.starts_with("*")) {
        return {what == "*focus" ? Kind::focus : Kind::activation, {}, at};
    }
    return {Kind::content,
            what.empty() ? ax::Element() : ax::Element(std::make_shared<Named>(what)), at};
}

TEST(PageTickers, APartThatChangedTwiceWhileTheKeyboardStayedChangesByItself) {
    using Heard = std::vector<std::pair<std::string, double>>;
    const std::tuple<const char*, Heard, double, std::vector<std::string>> cases[] = {
        {"a clock ticking every 250 ms",
         {{"clock", 0}, {"clock", 0.25}, {"clock", 0.5}},
         1,
         {"clock"}},
        {"one change told in parts", {{"clock", 0}, {"clock", 0.04}, {"clock", 0.09}}, 1, {}},
        {"relabelled at each change of the keyboard",
         {{"keep", 0}, {"*active", 0.5}, {"keep", 0.9}, {"*focus", 1.0}, {"keep", 1.6}},
         2,
         {}},
        {"its second tick after the press began", {{"clock", 0}, {"clock", 0.5}}, 0.4, {}},
        {"a carousel across a change of the keyboard, a clock within one",
         {{"slide", 0},
          {"clock", 0.1},
          {"*active", 0.2},
          {"clock", 0.35},
          {"clock", 0.6},
          {"slide", 1.2}},
         2,
         {"clock"}},
        {"changes of no known part", {{"", 0}, {"", 0.5}}, 1, {}},
    };
    for (const auto& [name, told, until, expected] : cases) {
        SCOPED_TRACE(name);
        std::vector<ax::Change> changes;
        for (const auto& [what, at] : told) {
            changes.push_back(heard(what, at));
        }
        std::vector<std::string> found;
        for (const ax::Element& ticker : PageTickers::find(changes, until)) {
            found.push_back(ticker.key());
        }
        EXPECT_EQ(found, expected);
    }
}

}  // namespace
}  // namespace ovra
