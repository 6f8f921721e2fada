// A window across monitors: what the overlay covers, and what is read of it. On X11 a window
// shows on every monitor it touches, so its controls on each are read and the page's scroll
// state is judged on all of it that shows.

#include <gtest/gtest.h>

#include "app/accessibility/AXExtractor.h"
#include "app/controller/TargetWindowBackend.h"
#include "app/overlay/OverlayLayout.h"
#include "core/FindAndScroll.h"
#include "platform/accessibility/FakeAccessibilityBackend.h"

namespace ovra {
namespace {

TEST(CoveredArea, EveryMonitorTheWindowShowsOnAsOne) {
    const Rect left(0, 0, 1280, 1024);
    const Rect right(1280, 0, 1920, 1080);
    const Rect top(0, 0, 2560, 1440);
    const Rect below(0, 1440, 2560, 1440);
    struct Case {
        Rect window;
        std::vector<Rect> screens;
        std::optional<Rect> covered;
    };
    const Case cases[] = {
        {Rect(100, 100, 800, 600), {left, right}, left},
        {Rect(900, 100, 1000, 600), {left, right}, Rect(0, 0, 3200, 1080)},
        {Rect(1400, 100, 300, 300), {left, right}, right},
        {Rect(100, 1000, 800, 900), {top, below}, Rect(0, 0, 2560, 2880)},
        {Rect(1280, 100, 300, 300), {left, right}, right},  // only touching the left one
        {Rect(5000, 100, 300, 300), {left, right}, std::nullopt},
        {Rect(100, 100, 300, 300), {}, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OverlaySpace::coveredArea(c.window, c.screens), c.covered)
            << c.window.minX() << "," << c.window.minY();
    }
}

std::unique_ptr<ax::FakeAccessibilityBackend> fake(const std::string& screens,
                                                   const std::string& window) {
    auto parsed =
        json::parse(R"({"screens": )" + screens +
                    R"(, "app": {"pid": 9, "name": "Browser"}, "window": )" + window + "}");
    EXPECT_TRUE(parsed.ok());
    auto made = ax::FakeAccessibilityBackend::fromJson(*parsed);
    EXPECT_TRUE(made.ok()) << (made.ok() ? "" : made.error());
    return std::move(made).value();
}

std::string button(const std::string& title, int x, int y) {
    return R"({"role": "AXButton", "title": ")" + title +
           R"(", "actions": ["AXPress"], "frame": [)" + std::to_string(x) + ", " +
           std::to_string(y) + ", 120, 40]}";
}

Result<WindowSnapshot, AXExtractorError> readAcross(ax::FakeAccessibilityBackend& inner,
                                                    const Rect& frame) {
    TargetWindowBackend backend(inner, "Page", frame);
    const AXExtractor extractor{6, 150, 48, 4000};
    return extractor.snapshot({9, std::nullopt}, backend, inner.clock());
}

TEST(WindowAcrossMonitors, ControlsOnEveryMonitorItShowsOnAreRead) {
    // Side by side: the window's middle is on the right monitor, "Print" wholly on the left.
    const Rect frame(800, 100, 1200, 700);
    auto side = fake("[[0, 0, 1280, 1024], [1280, 0, 1280, 1024]]",
                     R"({"role": "AXWindow", "title": "Page", "frame": [800, 100, 1200, 700],
                         "children": [)" +
                         button("Print", 900, 300) + ", " + button("Help", 1220, 300) + ", " +
                         button("Send", 1700, 300) + "]}");
    auto read = readAcross(*side, frame);
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read.value().candidates.size(), 3u);

    // Stacked: a page at its top reaching up onto the upper monitor offers nothing above.
    const Rect tall(100, 300, 1000, 600);
    auto stacked =
        fake("[[0, 512, 1280, 512], [0, 0, 1280, 512]]",
             R"({"role": "AXWindow", "title": "Page", "frame": [100, 300, 1000, 600], "children": [
            {"role": "AXScrollArea", "frame": [100, 340, 1000, 560], "children": [)" +
                 button("Home", 150, 350) + ", " + button("News", 300, 400) + ", " +
                 button("Sport", 450, 450) + ", " + button("Send", 600, 800) + "]}]}");
    read = readAcross(*stacked, tall);
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read.value().candidates.size(), 4u);
    ASSERT_TRUE(read.value().scroll);
    EXPECT_FALSE(ScrollMore::extent(read.value().scroll->signals).moreAbove);
}

}  // namespace
}  // namespace ovra
