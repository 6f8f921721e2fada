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

// An app of several windows: "a", then "b", "c" … as listed, each a node of the fixture.
std::unique_ptr<ax::FakeAccessibilityBackend> windows(const std::vector<std::string>& nodes) {
    std::string others;
    for (std::size_t i = 1; i < nodes.size(); ++i) {
        others += (others.empty() ? "" : ", ") + nodes[i];
    }
    auto parsed = json::parse(R"({"app": {"pid": 9, "name": "Notes"}, "window": )" + nodes[0] +
                              R"(, "otherWindows": [)" + others + "]}");
    EXPECT_TRUE(parsed.ok());
    auto fake = ax::FakeAccessibilityBackend::fromJson(*parsed);
    EXPECT_TRUE(fake.ok());
    return std::move(fake).value();
}

std::string window(const std::string& id, const std::string& title, const Rect& frame,
                   const std::string& attrs = "{}") {
    return R"({"id": ")" + id + R"(", "role": "AXWindow", "title": ")" + title +
           R"(", "frame": [)" + std::to_string(frame.minX()) + ", " + std::to_string(frame.minY()) +
           ", " + std::to_string(frame.width()) + ", " + std::to_string(frame.height()) +
           R"(], "attrs": )" + attrs + "}";
}

// Which of an app's windows lying one over the other is read: the one the app calls active,
// else the one the window manager's order names, else none; a modal dialog of the app keeps its
// other windows from being read. The ordinary counterparts: one window in its place, and windows
// in the same place told apart by their titles.
TEST(TargetWindowBackend, OfWindowsAlikeOnlyTheOneInFrontIsRead) {
    const Rect place(200, 200, 362, 185);
    const Rect elsewhere(700, 300, 362, 185);
    const std::string active = R"({"AXMain": true})";
    const std::string modal = R"({"AXModal": true})";
    enum Read { a, b, c, blocked, unknown };
    const struct {
        const char* what;
        std::vector<std::string> nodes;
        CapturedWindow captured;
        Read read;
        const char* dialog = "";
    } cases[] = {
        {"one window, another elsewhere",
         {window("a", "Rename", place), window("b", "Rename", elsewhere)},
         {.title = "Rename", .frame = place},
         a},
        {"two alike in one place, titles tell",
         {window("a", "Notes", place), window("b", "Other", place)},
         {.title = "Other", .frame = place},
         b},
        {"two copies, the app calls the second active",
         {window("a", "Rename", place), window("b", "Rename", place, active)},
         {.title = "Rename", .frame = place, .twinCount = 2},
         b},
        {"two copies, the active one wins over the order",
         {window("a", "Rename", place, active), window("b", "Rename", place)},
         {.title = "Rename", .frame = place, .twinIndex = 1, .twinCount = 2},
         a},
        {"two copies, the window manager's order names the second",
         {window("a", "Rename", place), window("b", "Rename", place)},
         {.title = "Rename", .frame = place, .twinIndex = 1, .twinCount = 2},
         b},
        {"three copies, the order names the first",
         {window("a", "Rename", place), window("b", "Rename", place), window("c", "Rename", place)},
         {.title = "Rename", .frame = place, .twinIndex = 0, .twinCount = 3},
         a},
        {"two copies, the captured one not above the other",
         {window("a", "Rename", place), window("b", "Rename", place)},
         {.title = "Rename", .frame = place, .twinIndex = 1, .twinCount = 2, .aboveTwins = false},
         unknown},
        {"two copies on the bus, one window for the window manager",
         {window("a", "Rename", place), window("b", "Rename", place)},
         {.title = "Rename", .frame = place},
         unknown},
        {"two copies both called active",
         {window("a", "Rename", place, active), window("b", "Rename", place, active)},
         {.title = "Rename", .frame = place},
         unknown},
        {"an untitled modal dialog over a modeless one",
         {window("a", "Find", place), window("b", "", place, modal)},
         {.title = "Finder Fixture",
          .frame = place,
          .dialog = true,
          .twinIndex = 0,
          .twinCount = 2},
         b},
        {"the app's other window brought forward over its modal dialog",
         {window("a", "Notes", place), window("b", "Other", place),
          window("c", "Save changes?", place, modal)},
         {.title = "Other", .frame = place, .twinIndex = 1, .twinCount = 3},
         blocked,
         "Save changes?"},
        {"a window elsewhere, a modal dialog of the app open",
         {window("a", "Notes", elsewhere), window("b", "Ask", place, modal)},
         {.title = "Notes", .frame = elsewhere},
         blocked,
         "Ask"},
        {"the modal dialog itself",
         {window("a", "Notes", elsewhere), window("b", "Ask", place, modal)},
         {.title = "Ask", .frame = place, .dialog = true},
         b},
        {"a dialog of the window's own the bus does not call modal",
         {window("a", "Form", place), window("b", "New Form", elsewhere)},
         {.title = "Form", .frame = place, .dialogOverIt = true},
         blocked},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto fake = windows(c.nodes);
        TargetWindowBackend backend(*fake, c.captured);
        const ax::Element app = backend.applicationElement({.pid = 9});
        const auto focused = backend.attribute(app, "AXFocusedWindow");
        const auto main = backend.attribute(app, "AXMainWindow");
        if (c.read == blocked || c.read == unknown) {
            EXPECT_FALSE(focused.ok());
            EXPECT_FALSE(main.ok());  // nor any other window of the app in its place
            EXPECT_EQ(backend.blockedBy(),
                      c.read == blocked ? std::optional<std::string>(c.dialog) : std::nullopt);
            EXPECT_EQ(backend.frontUnknown(), c.read == unknown);
            EXPECT_FALSE(backend.dialogNotShown());
            continue;
        }
        ASSERT_TRUE(focused.ok());
        const char* id[] = {"a", "b", "c"};
        EXPECT_EQ(ax::asElement(focused.value()), fake->element(id[c.read]));
        EXPECT_FALSE(backend.blockedBy());
        EXPECT_FALSE(backend.frontUnknown());
    }
}

// Just before a press: among windows alike, the window the reading read must be the one the app
// calls active once the captured window came forward (waited for, at most kActiveWait); a modal
// dialog of the app refuses it; a window alone in its place is pressed at once.
TEST(TargetWindowBackend, APressGoesOnlyToTheWindowInFront) {
    const Rect place(200, 200, 362, 185);
    const Rect elsewhere(700, 300, 362, 185);
    const std::string active = R"({"AXMain": true})";
    using Front = TargetWindowBackend::Front;
    const struct {
        const char* what;
        std::vector<std::string> nodes;
        Front front;
        bool waited;
        const char* dialog = nullptr;
    } cases[] = {
        {"alone in its place",
         {window("a", "Rename", place), window("b", "Rename", elsewhere)},
         Front::inFront,
         false},
        {"alike, and active",
         {window("a", "Rename", place, active), window("b", "Rename", place)},
         Front::inFront,
         false},
        {"alike, the other one active",
         {window("a", "Rename", place), window("b", "Rename", place, active)},
         Front::notInFront,
         false},
        {"alike, none called active",
         {window("a", "Rename", place), window("b", "Rename", place)},
         Front::notInFront,
         true},
        {"a modal dialog of the app open",
         {window("a", "Notes", place, active),
          window("b", "Save changes?", elsewhere, R"({"AXModal": true})")},
         Front::blocked,
         false,
         "Save changes?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto fake = windows(c.nodes);
        TargetWindowBackend backend(*fake, CapturedWindow{.title = "Rename", .frame = place});
        int broughtForward = 0;
        const double start = fake->clock().now();
        EXPECT_EQ(backend.frontAtPress({.pid = 9}, fake->element("a"), fake->clock(),
                                       [&] { ++broughtForward; }),
                  c.front);
        const double waited = fake->clock().now() - start;
        if (c.waited) {
            EXPECT_GE(waited, TargetWindowBackend::kActiveWait);
            EXPECT_LT(waited, TargetWindowBackend::kActiveWait + 0.1);
        } else {
            EXPECT_TRUE(fake->clock().sleeps().empty());
        }
        // Only windows alike need the captured one to come forward again.
        EXPECT_EQ(broughtForward, c.what[0] == 'a' && c.what[1] == 'l' && c.what[2] == 'i' ? 1 : 0);
        EXPECT_EQ(backend.blockedBy(),
                  c.dialog ? std::optional<std::string>(c.dialog) : std::nullopt);
    }
}

}  // namespace
}  // namespace ovra
