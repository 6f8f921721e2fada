// Reads Chromium windows on local pages over the real accessibility bus, and Firefox's on the
// biggest of them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/accessibility/AXExtractor.h"
#include "app/accessibility/AXWalk.h"
#include "core/FindAndScroll.h"
#include "core/FocusPlanner.h"
#include "platform/atspi/AtspiBackend.h"
#include "testing/Files.h"
#include "testing/desktop/Commands.h"
#include "testing/desktop/DesktopReading.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra {
namespace {

using testing::dump;
using testing::eventually;
using testing::find;
using testing::LaunchedApp;

// 7,522 blocks of a link and two texts in a grid: about 30,000 nodes (in Chromium), a third of
// them on screen. Block i holds the link "L<i>".
std::filesystem::path writeBigPage() {
    const auto path = std::filesystem::temp_directory_path() / "ovra-big-page.html";
    std::ofstream page(path);
    page << "<!DOCTYPE html><title>Big</title><style>body{margin:0;font:7px sans-serif;"
            "display:grid;grid-template-columns:repeat(40,1fr)}div{height:14px}</style>";
    for (int i = 0; i < 7522; ++i) {
        page << "<div><a href=#" << i << ">L" << i << "</a><b>t" << i << "</b></div>";
    }
    return path;
}

bool anyBlockLink(const WindowSnapshot& r) {
    return std::any_of(r.candidates.begin(), r.candidates.end(),
                       [](const UICandidate& c) { return c.title.starts_with("L"); });
}

class ChromiumDesktop : public ::testing::Test {
  protected:
    // Opens a fixture and reads its window until `ready` holds (the page may still be loading).
    WindowSnapshot open(const std::string& page,
                        const std::function<bool(const WindowSnapshot&)>& ready,
                        bool forceAccessibility = true) {
        return openUrl(testing::fixtureUrl(page), ready, forceAccessibility);
    }
    WindowSnapshot openUrl(const std::string& url,
                           const std::function<bool(const WindowSnapshot&)>& ready,
                           bool forceAccessibility = true) {
        app_ = LaunchedApp::chromium(url, forceAccessibility);
        EXPECT_TRUE(app_.running()) << "chromium did not start";
        // The window manager activates the new window: it becomes the frontmost app.
        ax::RunningApp front{app_.pid(), std::nullopt};
        EXPECT_TRUE(eventually([&] {
            // Until the browser has joined the accessibility bus, its name is the process's.
            auto app = backend_.frontmostApp();
            if (app && app->pid == app_.pid() && app->localizedName == "Chromium") {
                front = *app;
                return true;
            }
            return false;
        })) << "the window never became active";
        WindowSnapshot last;
        const bool ok = eventually(
            [&] {
                auto read = extractor_.snapshot(front, backend_, clock_);
                if (!read) {
                    return false;
                }
                last = std::move(read).value();
                return ready(last);
            },
            45);
        EXPECT_TRUE(ok) << "the page never read as expected; last reading:\n" << dump(last);
        return last;
    }

    // The frame relative to the page's top-left corner (the web content's origin).
    static Rect onPage(const WindowSnapshot& s, const UICandidate& c) {
        return Rect(c.frame.minX() - s.viewport.minX(), c.frame.minY() - s.viewport.minY(),
                    c.frame.width(), c.frame.height());
    }

    atspi::AtspiBackend backend_;
    testing::RealClock clock_;
    AXExtractor extractor_{6, 150, 48, 4000};
    LaunchedApp app_;
};

struct Expected {
    const char* label;
    const char* role;
    Rect onPage;          // the box the page's style gives it
    const char* context;  // nullptr: none
};

// One browser through a whole visit: the page read with its banner, the browser's own controls
// told apart, every element read without harm, a press, a raise, a hang and an exit.
TEST_F(ChromiumDesktop, ReadsPressesRaisesAndOutlivesTheNewsPage) {
    auto s = open("news.html", [](const WindowSnapshot& r) {
        return find(r, "Manage settings") != nullptr &&
               r.windowTitle.find("Daily Ledger") != std::string::npos;
    });
    SCOPED_TRACE(dump(s));
    EXPECT_EQ(s.appName, "Chromium");
    const Expected expected[] = {
        {"Home", "AXLink", Rect(20, 10, 100, 30), nullptr},
        {"World", "AXLink", Rect(140, 10, 100, 30), nullptr},
        {"Read the full story", "AXLink", Rect(20, 180, 160, 30), nullptr},
        {"Subscribe to Premium", "AXButton", Rect(20, 240, 220, 40), nullptr},
        {"Share", "AXButton", Rect(260, 240, 100, 40), nullptr},
        {"Accept all", "AXButton", Rect(20, 550, 140, 40), "dialog:Cookie consent"},
        {"Reject all", "AXButton", Rect(180, 550, 140, 40), "dialog:Cookie consent"},
        {"Manage settings", "AXButton", Rect(340, 550, 180, 40), "dialog:Cookie consent"},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.label);
        const UICandidate* c = find(s, e.label);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->role, e.role);
        EXPECT_EQ(c->subrole, std::nullopt);
        EXPECT_EQ(onPage(s, *c), e.onPage);
        EXPECT_EQ(c->context, e.context ? std::optional<std::string>(e.context) : std::nullopt);
        // The navigation landmark is a subrole, never chrome: the page's own links stay.
        EXPECT_FALSE(c->isChrome);
    }
    // Headings and paragraphs are not controls; the browser's own toolbar lies outside the page.
    EXPECT_EQ(find(s, "City council approves new park"), nullptr);
    EXPECT_EQ(find(s, "Reload"), nullptr);
    // The page is web content: its scroll area is the page itself, and content is seen in it.
    ASSERT_TRUE(s.scroll.has_value());
    EXPECT_EQ(s.scroll->signals.visible, s.viewport);

    // The snapshot clips to the page; the walk itself still sees the browser's chrome around it.
    BoundedReader reader(backend_, clock_);
    bool sawChrome = false;
    for (const auto& node :
         walk(reader, s.windowElement, s.windowFrame, WalkLimits{6, 48, 4000}).found) {
        if (s.viewport.contains(node.info.frame().value_or(Rect()).center())) {
            EXPECT_FALSE(node.chrome) << node.info.role();
        } else {
            sawChrome = sawChrome || node.chrome;
        }
    }
    EXPECT_TRUE(sawChrome) << "no control of the browser's toolbar was marked as chrome";

    // Every element of the window, the toolbar's hidden sliders included, with the values of
    // each: asking in the wrong way aborts Chromium.
    std::deque<std::pair<ax::Element, int>> queue{{s.windowElement, 0}};
    int visited = 0, webAreas = 0, ranges = 0;
    bool headlineRead = false;
    for (; !queue.empty() && visited < 6000; ++visited) {
        auto [element, depth] = queue.front();
        queue.pop_front();
        const auto read = backend_.attribute(element, "AXRole");
        const std::string* text = read.ok() ? ax::asString(read.value()) : nullptr;
        const std::string role = text ? *text : "";
        webAreas += role == "AXWebArea" ? 1 : 0;
        if (role == "AXStaticText") {
            // The walk never asked a text leaf's name: it is read now, when asked for.
            const auto value = backend_.attribute(element, "AXValue");
            const std::string* words = value.ok() ? ax::asString(value.value()) : nullptr;
            headlineRead = headlineRead || (words && *words == "City council approves new park");
        }
        if (role == "AXSlider" || role == "AXScrollBar" || role == "AXIncrementor") {
            ++ranges;
            for (const char* name : {"AXValue", "AXMinValue", "AXMaxValue"}) {
                (void)backend_.attribute(element, name);
            }
        }
        auto children = backend_.attribute(element, "AXChildren");
        const ax::ElementList* list = children.ok() ? ax::asElementList(children.value()) : nullptr;
        for (std::size_t i = 0; list != nullptr && depth < 60 && i < list->size(); ++i) {
            queue.emplace_back((*list)[i], depth + 1);
        }
    }
    EXPECT_GT(ranges, 0) << "the walk met no slider, scroll bar or spin button";
    EXPECT_GE(webAreas, 1);
    EXPECT_TRUE(headlineRead);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_TRUE(app_.running()) << "Chromium ended while its window was read";
    backend_.forgetReadings();

    // A press through the button's action: the banner goes once the page has handled it.
    auto again = extractor_.snapshot(s.app, backend_, clock_);
    ASSERT_TRUE(again.ok());
    const UICandidate* reject = find(again.value(), "Reject all");
    ASSERT_NE(reject, nullptr) << dump(again.value());
    EXPECT_EQ(backend_.performAction(again.value().elements.at(reject->id), "AXPress"),
              std::nullopt);
    EXPECT_TRUE(eventually(
        [&] {
            auto read = extractor_.snapshot(s.app, backend_, clock_);
            return read && find(read.value(), "Accept all") == nullptr &&
                   find(read.value(), "Share") != nullptr;
        },
        20));

    // Raised above another app.
    auto other = LaunchedApp::start({"gtk3-widget-factory"});
    auto frontIs = [&](pid_t pid) {
        return eventually([&] {
            auto front = backend_.frontmostApp();
            return front && front->pid == pid;
        });
    };
    ASSERT_TRUE(frontIs(other.pid())) << "the other app never came to the front";
    EXPECT_EQ(backend_.performAction(s.windowElement, "AXRaise"), std::nullopt);
    EXPECT_TRUE(frontIs(app_.pid()));

    // Hung, every call times out: the window cannot be read (or nothing in it is).
    app_.signal(SIGSTOP);
    auto hung = extractor_.snapshot(s.app, backend_, clock_);
    app_.signal(SIGCONT);
    if (hung) {
        EXPECT_TRUE(hung.value().candidates.empty()) << dump(hung.value());
    } else {
        EXPECT_EQ(hung.error(), AXExtractorError::noWindow);
    }

    // Gone, it has no window.
    app_.stop();
    auto gone = extractor_.snapshot(s.app, backend_, clock_);
    ASSERT_FALSE(gone.ok());
    EXPECT_EQ(gone.error(), AXExtractorError::noWindow);
}

TEST_F(ChromiumDesktop, ReadsTheSignUpFormWithoutWhatWasTypedAndKeepsUpWithItsChanges) {
    auto s = open("signup.html",
                  [](const WindowSnapshot& r) { return find(r, "Create account") != nullptr; });
    SCOPED_TRACE(dump(s));
    const struct {
        const char* label;
        const char* role;
        std::optional<std::string> subrole;
        const char* value;  // what a field holds is never read
        bool focused;
        std::optional<Rect> onPage;
    } expected[] = {
        {"Email address", "AXTextField", std::nullopt, "empty", true, Rect(20, 20, 300, 36)},
        {"Password", "AXTextField", "AXSecureTextField", "", false, std::nullopt},
        {"Send me partner offers", "AXCheckBox", std::nullopt, "checked", false,
         Rect(20, 125, 20, 20)},
        {"Create account", "AXButton", std::nullopt, "", false, Rect(20, 170, 200, 44)},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.label);
        const UICandidate* c = find(s, e.label);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->role, e.role);
        EXPECT_EQ(c->subrole, e.subrole);
        EXPECT_EQ(c->isFocused, e.focused);  // the e-mail field by autofocus
        if (e.role != std::string("AXButton")) {
            EXPECT_EQ(c->value, e.value);
        }
        if (e.onPage) {
            EXPECT_EQ(onPage(s, *c), *e.onPage);
        }
    }
    for (const auto& c : s.candidates) {
        EXPECT_EQ(c.title.find("hunter22"), std::string::npos);
    }

    // Readings are kept once the browser knows that someone listens for its changes, and has
    // settled after loading (it renames its tab once more a few seconds later).
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    std::size_t requests = 0;
    WindowSnapshot last;
    const auto readUntil = [&](const std::function<bool(const UICandidate*)>& seen,
                               const std::string& label) {
        return eventually([&] {
            const std::size_t before = backend_.requestsSent();
            auto again = extractor_.snapshot(s.app, backend_, clock_);
            requests = backend_.requestsSent() - before;
            last = again ? std::move(again).value() : WindowSnapshot{};
            return seen(find(last, label));
        });
    };
    const auto focused = [](const UICandidate* c) { return c != nullptr && c->isFocused; };
    // Focus moves to the check box (the password field on the way makes its text change).
    ASSERT_TRUE(testing::xdotool("key --clearmodifiers Tab Tab"));
    ASSERT_TRUE(readUntil(focused, "Send me partner offers")) << dump(last);
    backend_.forgetReadings();
    ASSERT_TRUE(readUntil(focused, "Send me partner offers")) << dump(last);
    const std::size_t cold = requests;
    // Unticked from the keyboard, a change of its states alone: the next reading sees it and
    // asks little of the rest again.
    ASSERT_TRUE(testing::xdotool("key --clearmodifiers space"));
    EXPECT_TRUE(readUntil([](const UICandidate* c) { return c && c->value == "unchecked"; },
                          "Send me partner offers"))
        << dump(last);
    EXPECT_LT(requests * 4, cold);
    // The form is sent and the page adds a control: a changed tree is read afresh.
    ASSERT_TRUE(testing::xdotool("key --clearmodifiers Tab Return"));
    EXPECT_TRUE(readUntil([](const UICandidate* c) { return c != nullptr; }, "Continue"))
        << dump(last);
}

TEST_F(ChromiumDesktop, SeesThatALongPageGoesOnBelowAndReadsItAgainScrolled) {
    auto s = open("long.html",
                  [](const WindowSnapshot& r) { return find(r, "Top of page") != nullptr; });
    // Only what is on screen becomes a candidate; off-screen links still show there is more.
    EXPECT_EQ(find(s, "Bottom of page"), nullptr) << dump(s);
    ASSERT_TRUE(s.scroll.has_value());
    ASSERT_TRUE(s.scroll->signals.seenBottom.has_value());
    EXPECT_GT(*s.scroll->signals.seenBottom, s.scroll->signals.visible.maxY());

    // A reading kept once the browser knows that someone listens and has settled after loading:
    // scrolling, which the browser does not tell, must not leave it showing the old page.
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    ASSERT_TRUE(extractor_.snapshot(s.app, backend_, clock_).ok());
    ASSERT_TRUE(testing::xdotool("key --clearmodifiers End"));
    WindowSnapshot last;
    EXPECT_TRUE(eventually(
        [&] {
            auto again = extractor_.snapshot(s.app, backend_, clock_);
            last = again ? std::move(again).value() : WindowSnapshot{};
            return find(last, "Bottom of page") != nullptr && find(last, "Top of page") == nullptr;
        },
        20))
        << dump(last);
    const UICandidate* bottom = find(last, "Bottom of page");
    ASSERT_NE(bottom, nullptr);
    EXPECT_TRUE(last.viewport.contains(bottom->frame.center()));
}

TEST_F(ChromiumDesktop, NumbersTheControlsOnScreenOfAThirtyThousandNodePage) {
    const auto path = writeBigPage();
    // Read until the page is in: while it loads, the blocks read so far may all be on screen.
    auto s = openUrl("file://" + path.string(), [](const WindowSnapshot& r) {
        return anyBlockLink(r) && r.scroll && ScrollMore::extent(r.scroll->signals).moreBelow;
    });
    const FocusPlan plan = FocusPlanner::plan(s.candidates, nullptr, 14, {}, "Chromium");
    ASSERT_FALSE(plan.beaconOrder.empty()) << dump(s);
    for (const auto& item : plan.items) {
        EXPECT_TRUE(item.candidate.title.starts_with("L")) << item.candidate.title;
        EXPECT_TRUE(s.viewport.intersects(item.candidate.frame)) << item.candidate.title;
    }
    std::filesystem::remove(path);
}

TEST_F(ChromiumDesktop, ReadsAWindowOpenedWithoutForcedAccessibility) {
    auto s = open(
        "news.html", [](const WindowSnapshot& r) { return find(r, "Accept all") != nullptr; },
        /*forceAccessibility=*/false);
    EXPECT_NE(find(s, "Reject all"), nullptr) << dump(s);
}

class FirefoxDesktop : public ::testing::Test {
  protected:
    // A reading given a deadline generous for a loaded machine: what is read is tested here, how
    // soon is the benchmarks' to measure.
    WindowSnapshot read() {
        BoundedReader::Limits limits;
        limits.deadlineSeconds = 30;
        auto read = extractor_.snapshot({app_.pid(), std::nullopt}, backend_, clock_, {}, limits);
        return read ? std::move(read).value() : WindowSnapshot{};
    }
    testing::ScratchFolder profile_{"firefox"};
    atspi::AtspiBackend backend_;
    testing::RealClock clock_;
    AXExtractor extractor_{6, 150, 48, 4000};
    LaunchedApp app_;
};

// The number of a block's link ("L4711" gives 4711).
int blockOf(const UICandidate& c) {
    return c.title.starts_with("L") ? std::atoi(c.title.c_str() + 1) : -1;
}

// Firefox keeps its page in a scroll pane of its own, and gives a page's frames only a moment
// after a client first asks: the big page is read where it is on screen, at its top and at its
// end, never for the blocks scrolled away.
TEST_F(FirefoxDesktop, NumbersTheControlsOnScreenOfAThirtyThousandNodePage) {
    const auto path = writeBigPage();
    app_ = LaunchedApp::firefox("file://" + path.string(), profile_.path());
    const auto check = [](const WindowSnapshot& s, bool top) {
        // Rows of 40 blocks, 14 points tall.
        const int shown = (static_cast<int>(s.viewport.height() / 14) + 2) * 40;
        const int first = top ? 0 : 7522 - shown;
        const int last = top ? shown : 7521;
        EXPECT_FALSE(FocusPlanner::plan(s.candidates, nullptr, 14, {}, "Firefox").items.empty());
        for (const auto& c : s.candidates) {
            EXPECT_TRUE(blockOf(c) >= first && blockOf(c) <= last) << c.title;
            EXPECT_TRUE(s.viewport.intersects(c.frame)) << c.title;
        }
        ASSERT_TRUE(s.scroll.has_value());
        const ScrollExtent more = ScrollMore::extent(s.scroll->signals);
        EXPECT_EQ(more.moreBelow, top) << dump(s);
        EXPECT_EQ(more.moreAbove, !top) << dump(s);
    };
    // Nothing is asked of the app until the page is in (its window's title tells, on the X
    // server): the first reading of the page is the first question about it. A first start on a
    // loaded machine takes its time.
    ASSERT_TRUE(eventually(
        [&] { return testing::xdotool("search --onlyvisible --name '^Big' >/dev/null"); }, 90))
        << "Firefox " << (app_.running() ? "runs" : "ended") << "; windows shown: "
        << testing::output(
               "for w in $(xdotool search --onlyvisible --name .); do xdotool getwindowname $w; "
               "done 2>&1");
    std::this_thread::sleep_for(std::chrono::seconds(2));
    check(read(), true);
    ASSERT_TRUE(testing::xdotool("key --clearmodifiers End"));
    WindowSnapshot end;
    EXPECT_TRUE(eventually(
        [&] {
            end = read();
            return anyBlockLink(end) && blockOf(end.candidates.front()) > 5000;
        },
        45))
        << dump(end);
    check(end, false);
    std::filesystem::remove(path);
}

TEST(AccessibilityTrust, FollowsTheSessionSwitch) {
    atspi::AtspiBackend backend;
    EXPECT_TRUE(backend.isProcessTrusted()) << backend.trustProblem().value_or("");
    using testing::setAccessibilityEnabled;
    ASSERT_TRUE(setAccessibilityEnabled(false));
    EXPECT_FALSE(backend.isProcessTrusted());
    EXPECT_THAT(backend.trustProblem().value_or(""), ::testing::HasSubstr("switched off"));
    ASSERT_TRUE(setAccessibilityEnabled(true));
    EXPECT_TRUE(backend.isProcessTrusted());
}

}  // namespace
}  // namespace ovra
