// What a reading of a browser window offers of controls a person cannot see: an invisible
// control laid over a visible one, controls clipped by an overflow container, a folded panel and
// a frame's view; an open ARIA menu's items; and names a megabyte long. One page, its scenarios
// picked in turn by keys, in Chromium and in Firefox ESR.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <string>
#include <thread>

#include "app/accessibility/AXExtractor.h"
#include "core/ActionSafety.h"
#include "core/Text.h"
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

enum class Browser { chromium, firefox };

// A reading's dump with each line cut short: the long names run to kilobytes.
std::string brief(const WindowSnapshot& s) {
    std::string out;
    std::string line;
    std::istringstream lines(dump(s));
    while (std::getline(lines, line)) {
        out += line.substr(0, 160) + "\n";
    }
    return out + std::to_string(s.candidates.size()) + " candidates\n";
}

class VisibleControls : public ::testing::Test {
  protected:
    WindowSnapshot read() {
        auto reading = extractor_.snapshot({app_.pid(), std::nullopt}, backend_, clock_);
        return reading ? std::move(reading).value() : WindowSnapshot{};
    }
    // Reads until `ready` holds; the last reading.
    WindowSnapshot readUntil(const std::function<bool(const WindowSnapshot&)>& ready) {
        WindowSnapshot last;
        const bool ok = eventually(
            [&] {
                last = read();
                return ready(last);
            },
            45);
        EXPECT_TRUE(ok) << "the page never read as expected; last reading:\n" << brief(last);
        return last;
    }
    // Shows the page's scenario `key` (1 to 4) and reads until its window title names it.
    WindowSnapshot scenario(const char* key, const std::string& name,
                            const std::function<bool(const WindowSnapshot&)>& ready) {
        EXPECT_TRUE(testing::xdotool(std::string("key --clearmodifiers ") + key));
        return readUntil([&](const WindowSnapshot& s) {
            return s.windowTitle.find("Visibility " + name) != std::string::npos && ready(s);
        });
    }

    void journey(Browser browser) {
        const std::string url = testing::fixtureUrl("hidden.html") + "#overlay";
        app_ = browser == Browser::chromium ? LaunchedApp::chromium(url)
                                            : LaunchedApp::firefox(url, profile_.path());
        ASSERT_TRUE(app_.running());
        auto overlay = readUntil([](const WindowSnapshot& s) {
            return s.windowTitle.find("Visibility overlay") != std::string::npos &&
                   find(s, "After") != nullptr;
        });
        // The page takes the keys that pick the scenarios.
        ASSERT_TRUE(testing::xdotool("mousemove 700 700 click 1"));

        // An invisible "Accept all" laid over "Reject all": never a ring on "Reject all" that
        // presses "Accept all". Firefox tells the invisible one by its opacity; where nothing
        // tells (Chromium), neither is offered and the reading says why.
        {
            SCOPED_TRACE(brief(overlay));
            EXPECT_EQ(find(overlay, "Accept all"), nullptr);
            EXPECT_NE(find(overlay, "Before"), nullptr);
            if (browser == Browser::firefox) {
                EXPECT_NE(find(overlay, "Reject all"), nullptr);
                EXPECT_EQ(overlay.untoldOverlaps, 0);
            } else {
                EXPECT_EQ(find(overlay, "Reject all"), nullptr);
                EXPECT_GE(overlay.untoldOverlaps, 1);
            }
        }

        // Clipped away: a carousel's other slides, a folded panel's button and the part of a
        // frame's page outside its view.
        {
            auto clipped = scenario("2", "clipped", [](const WindowSnapshot& s) {
                return find(s, "In frame") != nullptr;
            });
            SCOPED_TRACE(brief(clipped));
            for (const char* seen : {"Outside", "Slide one", "Below the panel", "In frame"}) {
                EXPECT_NE(find(clipped, seen), nullptr) << seen;
            }
            for (const char* unseen : {"Slide two", "Slide three", "Folded away", "Frame bottom"}) {
                EXPECT_EQ(find(clipped, unseen), nullptr) << unseen;
            }
        }

        // An open menu: its items, each with its label, the risky one confirmed.
        {
            auto menu = scenario(
                "3", "menu", [](const WindowSnapshot& s) { return find(s, "Archive") != nullptr; });
            SCOPED_TRACE(brief(menu));
            for (const char* item : {"Rename", "Delete forever", "Archive"}) {
                const UICandidate* c = find(menu, item);
                ASSERT_NE(c, nullptr) << item;
                EXPECT_EQ(c->role, "AXMenuItem");
                EXPECT_EQ(ActionSafety::needsConfirmation(*c),
                          std::string(item) == "Delete forever");
            }
            for (const auto& c : menu.candidates) {
                EXPECT_FALSE(c.role == "AXMenuItem" && c.label().empty());
            }
        }

        // Twenty names of a megabyte each, cut where they are read. (Firefox takes longer than
        // a read may wait to send some of them: those buttons may be missing.)
        {
            auto names = scenario("4", "long", [](const WindowSnapshot& s) {
                return std::any_of(s.candidates.begin(), s.candidates.end(),
                                   [](const UICandidate& c) {
                                       return c.title.starts_with("Long ") && c.title.size() > 4000;
                                   });
            });
            for (const auto& c : names.candidates) {
                EXPECT_LE(c.title.size(), text::kMaxForeignTextBytes) << c.title.substr(0, 20);
            }
        }
    }

    testing::ScratchFolder profile_{"firefox"};
    atspi::AtspiBackend backend_;
    testing::RealClock clock_;
    AXExtractor extractor_{6, 150, 48, 4000};
    LaunchedApp app_;
};

TEST_F(VisibleControls, ChromiumOffersOnlyWhatAPersonSees) {
    journey(Browser::chromium);
}

TEST_F(VisibleControls, FirefoxOffersOnlyWhatAPersonSees) {
    journey(Browser::firefox);
}

}  // namespace
}  // namespace ovra
