// A window as another app could present it, through the fake backend: any depth and fan-out,
// copies by the thousand, nodes listed again (cycles through an ancestor or the node itself),
// references to any element, names with control characters, bidi overrides and combining marks
// or of huge lengths, frames NaN, infinite, huge or negative, faults, time-outs and hangs. The
// reading (walk and extractor) and the plan made of it keep their promises whatever comes in.

#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "app/accessibility/AXExtractor.h"
#include "core/CandidateSelector.h"
#include "core/FindAndScroll.h"
#include "core/Json.h"
#include "fuzz/PlanChecks.h"
#include "platform/accessibility/FakeAccessibilityBackend.h"

namespace {

using ovra::Json;
using ovra::fuzz::check;

constexpr const char* kRoles[] = {
    "AXButton",     "AXLink",      "AXCheckBox", "AXRadioButton", "AXTextField", "AXTextArea",
    "AXGroup",      "AXCell",      "AXRow",      "AXStaticText",  "AXImage",     "AXWebArea",
    "AXScrollArea", "AXScrollBar", "AXComboBox", "AXPopUpButton", "AXMenuItem",  "AXSheet",
    "AXToolbar",    "AXTabGroup",  "AXHeading",  "AXUnknown",     "AXWindow",    "AXList"};
constexpr const char* kSubroles[] = {"AXApplicationDialog", "AXSecureTextField", "AXSearchField",
                                     "AXLandmarkNavigation", "AXTabButton"};
constexpr const char* kFaults[] = {"timeout",        "appGone",  "noValue", "unsupportedAttribute",
                                   "cannotComplete", "wrongType"};

struct Builder {
    FuzzedDataProvider& in;
    int made = 0;

    // Text as an app may send it.
    std::string text() {
        switch (in.ConsumeIntegralInRange(0, 9)) {
            case 0:
                return std::string(in.ConsumeIntegralInRange<std::size_t>(0, 20'000), 'W');
            case 1:
                return "\u202e" + in.ConsumeRandomLengthString(8) + std::string(300, '\x01');
            case 2: {
                std::string marks = "a";
                for (int i = in.ConsumeIntegralInRange(0, 2000); i > 0; --i) {
                    marks += "\u0301";
                }
                return marks;
            }
            default:
                return in.ConsumeRandomLengthString(40);
        }
    }

    Json number() {
        switch (in.ConsumeIntegralInRange(0, 12)) {
            case 0:
                return Json{{"number", "nan"}};
            case 1:
                return Json{{"number", "inf"}};
            case 2:
                return in.ConsumeBool() ? 1e300 : -1e300;
            case 3:
                return in.ConsumeFloatingPoint<double>();
            default:
                return in.ConsumeIntegralInRange(-100, 2000);
        }
    }

    Json frame() { return Json::array({number(), number(), number(), number()}); }

    static std::string id(int n) { return "n" + std::to_string(n); }
    // Any element made so far, the app or the window.
    std::string anyId() {
        const int pick = in.ConsumeIntegralInRange(0, made + 1);
        return pick == 0 ? "app" : pick == 1 || made == 0 ? "w" : id(pick - 2);
    }

    // A node and its subtree; `name` for the roots, else an id of its own.
    Json node(int depth, const std::string& name = {}) {
        Json n = Json::object();
        n["id"] = name.empty() ? id(made++) : name;
        n["role"] =
            depth == 0 && in.ConsumeBool()
                ? std::string("AXWindow")
                : (in.ConsumeIntegralInRange(0, 9) == 0
                       ? in.ConsumeRandomLengthString(12)
                       : kRoles[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kRoles) - 1)]);
        if (in.ConsumeIntegralInRange(0, 4) == 0) {
            n["subrole"] =
                kSubroles[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kSubroles) - 1)];
        }
        for (const char* key : {"title", "desc", "placeholder"}) {
            if (in.ConsumeBool()) {
                n[key] = text();
            }
        }
        if (in.ConsumeBool()) {
            n["value"] = in.ConsumeBool() ? Json(text()) : number();
        }
        if (in.ConsumeIntegralInRange(0, 7) != 0) {
            n["frame"] = frame();
        }
        for (const char* key : {"enabled", "focused", "hidden"}) {
            if (in.ConsumeIntegralInRange(0, 3) == 0) {
                n[key] = in.ConsumeBool();
            }
        }
        if (in.ConsumeBool()) {
            n["actions"] = Json::array({in.ConsumeBool() ? "AXPress" : "AXShowMenu"});
        }
        Json attrs = Json::object();
        if (in.ConsumeIntegralInRange(0, 5) == 0) {
            attrs["AXTitleUIElement"] = Json{{"ref", anyId()}};
        }
        if (in.ConsumeIntegralInRange(0, 5) == 0) {
            attrs["AXContents"] = Json{{"refs", Json::array({anyId(), anyId()})}};
        }
        if (in.ConsumeIntegralInRange(0, 5) == 0) {
            attrs["AXVerticalScrollBar"] = Json{{"ref", anyId()}};
        }
        if (!attrs.empty()) {
            n["attrs"] = attrs;
        }
        if (in.ConsumeIntegralInRange(0, 9) == 0) {
            Json faults = Json::object();
            for (const char* what : {"AXTitle", "AXRole", "AXPosition", "children", "actions"}) {
                if (in.ConsumeBool()) {
                    faults[what] =
                        kFaults[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kFaults) - 1)];
                }
            }
            n["faults"] = faults;
        }
        Json children = Json::array();
        const int fanOut = depth > 14 ? 0 : in.ConsumeIntegralInRange(0, 6);
        for (int c = 0; c < fanOut && made < 300 && in.remaining_bytes() > 0; ++c) {
            // Listed again: an ancestor, itself, any other node.
            if (in.ConsumeIntegralInRange(0, 7) == 0) {
                children.push_back(Json{{"ref", anyId()}});
            } else {
                children.push_back(node(depth + 1));
            }
        }
        if (children.size() == 1 && in.ConsumeIntegralInRange(0, 5) == 0) {
            n["repeat"] = in.ConsumeIntegralInRange(0, 6000);
        }
        n["children"] = children;
        return n;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    Builder build{in};
    Json app = {{"pid", 9}, {"name", build.text()}};
    if (in.ConsumeIntegralInRange(0, 5) == 0) {
        app["hangAfter"] = in.ConsumeIntegralInRange(0, 200);
    }
    if (in.ConsumeIntegralInRange(0, 5) == 0) {
        app["callCost"] = in.ConsumeIntegralInRange(0, 100) / 100.0;
    }
    Json fixture = {{"screens", Json::array({build.frame()})}, {"app", app}};
    fixture["window"] = build.node(0, "w");
    if (in.ConsumeIntegralInRange(0, 5) == 0) {
        fixture["afterWakeUp"] = build.node(0, "w2");
        fixture["app"]["wakeUp"] = "ok";
    }
    auto fake = ovra::ax::FakeAccessibilityBackend::fromJson(fixture);
    check(fake.ok(), "the fixture loads");
    auto& backend = *fake.value();

    const int maxCandidates = in.ConsumeIntegralInRange(1, 150);
    const ovra::AXExtractor extractor{6, maxCandidates, 48, 4000};
    const ovra::ax::RunningApp running{9, std::nullopt};
    auto read = extractor.snapshot(running, backend, backend.clock());
    if (!read) {
        return 0;
    }
    const ovra::WindowSnapshot& snapshot = read.value();
    check(snapshot.candidates.size() <= static_cast<std::size_t>(maxCandidates),
          "no more candidates than asked for");
    for (const auto& c : snapshot.candidates) {
        check(c.frame.isFinite(), "a candidate's frame is finite");
        check(c.frame.intersects(snapshot.viewport), "a candidate lies in the viewport");
        check(c.title == ovra::cleaned(&c.title), "titles are cleaned");
        if (c.subrole == "AXSecureTextField") {
            check(c.value.empty(), "a secure field's value is never read");
        } else if (ovra::CandidateRoles::textInputs().contains(c.role)) {
            check(c.value == "filled" || c.value == "empty", "what was typed is never read");
        }
        check(snapshot.elements.contains(c.id), "every candidate keeps its element");
    }
    if (snapshot.scroll) {
        (void)ovra::ScrollMore::extent(snapshot.scroll->signals);
    }
    ovra::fuzz::checkPlan(snapshot.candidates, nullptr, in.ConsumeIntegralInRange(-1, 9), {});
    return 0;
}
