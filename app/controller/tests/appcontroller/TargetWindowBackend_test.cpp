#include "app/controller/TargetWindowBackend.h"

#include <gtest/gtest.h>

#include "platform/accessibility/FakeAccessibilityBackend.h"

namespace ovra {
namespace {

// An app whose one window on the bus is "Page - Browser", 1200 by 900 at the corner unless
// `frame` says otherwise.
std::unique_ptr<ax::FakeAccessibilityBackend> browser(const Rect& frame = Rect(0, 0, 1200, 900)) {
    std::string at;
    for (const double v : {frame.minX(), frame.minY(), frame.width(), frame.height()}) {
        at += (at.empty() ? "" : ", ") + std::to_string(v);
    }
    auto parsed = json::parse(R"({"app": {"pid": 7, "name": "Browser"},
        "window": {"id": "w", "role": "AXWindow", "title": "Page - Browser", "frame": [)" +
                              at + "]}}");
    EXPECT_TRUE(parsed.ok());
    auto fake = ax::FakeAccessibilityBackend::fromJson(*parsed);
    EXPECT_TRUE(fake.ok());
    return std::move(fake).value();
}

TEST(TargetWindowBackend, ADialogTheBusDoesNotShowHidesTheWindowBehindIt) {
    const Rect browserWindow(0, 0, 1200, 900);
    // An untitled GTK 3 message dialog under a 30 px title bar: the bus gives its frame with the
    // window manager's decorations, the X window is without them.
    const Rect gtkDialog(508, 440, 264, 143);
    const Rect gtkDialogContent(509, 470, 262, 112);
    const struct {
        const char* what;
        const char* title;
        Rect frame;
        bool dialog;
        bool readsWindow;
        Rect onBus = Rect(0, 0, 1200, 900);
        Rect decorated = {};
    } cases[] = {
        {"the window itself", "Page - Browser", browserWindow, false, true},
        {"the window, renamed since", "Other page - Browser", browserWindow, false, true},
        {"a file chooser centred over it, absent from the bus", "Open File",
         Rect(200, 150, 800, 600), true, false},
        {"a file chooser nearly as large as the window", "Open File", Rect(38, 46, 1124, 822), true,
         false},
        {"that file chooser with its title bar", "Open File", Rect(38, 46, 1124, 822), true, false,
         browserWindow, Rect(37, 15, 1126, 854)},
        {"the same dialog of the same size as the window", "Open File", browserWindow, true, true},
        {"a dialog the bus shows under its title", "Page - Browser", Rect(200, 150, 800, 600), true,
         true},
        {"an untitled dialog the bus gives with its title bar", "", gtkDialogContent, true, true,
         gtkDialog, Rect(508, 440, 264, 143)},
        {"the same, its decorations not known", "", gtkDialogContent, true, false, gtkDialog},
        {"a dialog the bus gives without its title bar", "", gtkDialogContent, true, true,
         gtkDialogContent, gtkDialog},
        {"a dialog of another size than either", "", Rect(509, 470, 262, 200), true, false,
         gtkDialog, Rect(508, 440, 264, 231)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto fake = browser(c.onBus);
        TargetWindowBackend backend(*fake, c.title, c.frame, c.dialog, c.decorated);
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
