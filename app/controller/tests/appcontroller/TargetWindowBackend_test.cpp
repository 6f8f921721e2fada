#include "app/controller/TargetWindowBackend.h"

#include <gtest/gtest.h>

#include "platform/accessibility/FakeAccessibilityBackend.h"

namespace ovra {
namespace {

// A browser whose one window on the bus is "Page - Browser", 1200 by 900 at the corner.
std::unique_ptr<ax::FakeAccessibilityBackend> browser() {
    auto parsed = json::parse(R"({"app": {"pid": 7, "name": "Browser"},
        "window": {"id": "w", "role": "AXWindow", "title": "Page - Browser",
                   "frame": [0, 0, 1200, 900]}})");
    EXPECT_TRUE(parsed.ok());
    auto fake = ax::FakeAccessibilityBackend::fromJson(*parsed);
    EXPECT_TRUE(fake.ok());
    return std::move(fake).value();
}

TEST(TargetWindowBackend, ADialogTheBusDoesNotShowHidesTheWindowBehindIt) {
    const struct {
        const char* what;
        const char* title;
        Rect frame;
        bool dialog;
        bool readsWindow;
    } cases[] = {
        {"the window itself", "Page - Browser", Rect(0, 0, 1200, 900), false, true},
        {"the window, renamed since", "Other page - Browser", Rect(0, 0, 1200, 900), false, true},
        {"a file chooser centred over it, absent from the bus", "Open File",
         Rect(200, 150, 800, 600), true, false},
        {"a file chooser nearly as large as the window", "Open File", Rect(38, 46, 1124, 822), true,
         false},
        {"the same dialog of the same size as the window", "Open File", Rect(0, 0, 1200, 900), true,
         true},
        {"a dialog the bus shows under its title", "Page - Browser", Rect(200, 150, 800, 600), true,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto fake = browser();
        TargetWindowBackend backend(*fake, c.title, c.frame, c.dialog);
        const ax::Element app = backend.applicationElement({.pid = 7});
        const auto focused = backend.attribute(app, "AXFocusedWindow");
        const auto main = backend.attribute(app, "AXMainWindow");
        EXPECT_EQ(focused.ok(), c.readsWindow);
        if (c.readsWindow) {
            EXPECT_EQ(ax::asElement(focused.value()), fake->element("w"));
        } else {
            EXPECT_FALSE(main.ok());  // nor the window behind it as the main one
        }
        EXPECT_EQ(backend.dialogNotShown(), !c.readsWindow);
    }
}

}  // namespace
}  // namespace ovra
