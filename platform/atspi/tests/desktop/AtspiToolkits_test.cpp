// Reads and presses a real app of each toolkit over the real accessibility bus: Firefox, Qt 5
// and Qt 6 widgets, GTK 4, and GTK 3 with a notebook.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "DesktopReading.h"
#include "LaunchedApp.h"
#include "platform/atspi/AtspiBackend.h"
#include "platform/atspi/AtspiToolkit.h"

namespace ovra {
namespace {

using testing::dump;
using testing::eventually;
using testing::find;

class ToolkitDesktop : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::getenv("OVRA_DESKTOP") == nullptr) {
            GTEST_SKIP() << "needs a desktop: run under scripts/with-desktop";
        }
    }

    // Starts the app and reads its window until `ready` holds.
    WindowSnapshot open(const std::vector<std::string>& argv,
                        const std::function<bool(const WindowSnapshot&)>& ready) {
        app_ = testing::LaunchedApp::start(argv);
        EXPECT_TRUE(app_.running());
        return readUntil(ready);
    }

    WindowSnapshot readUntil(const std::function<bool(const WindowSnapshot&)>& ready) {
        WindowSnapshot last;
        const bool ok = eventually(
            [&] {
                auto read = extractor_.snapshot({app_.pid(), std::nullopt}, backend_, clock_);
                last = read ? std::move(read).value() : WindowSnapshot{};
                return read && ready(last);
            },
            30);
        EXPECT_TRUE(ok) << "the window never read as expected; last reading:\n" << dump(last);
        return last;
    }

    static const UICandidate* withRole(const WindowSnapshot& s, const std::string& role) {
        for (const auto& c : s.candidates) {
            if (c.role == role) {
                return &c;
            }
        }
        return nullptr;
    }

    atspi::AtspiBackend backend_;
    testing::RealClock clock_;
    AXExtractor extractor_{6, 150, 48, 4000};
    testing::LaunchedApp app_;
};

TEST_F(ToolkitDesktop, FirefoxReadsTheCheckBoxInsideItsLabelAndPressesTheFormsButton) {
    const std::string profile = testing::LaunchedApp::profileFolder();
    app_ = testing::LaunchedApp::firefox(testing::fixtureUrl("optin.html"), profile);
    auto s = readUntil([](const WindowSnapshot& r) { return find(r, "Subscribe") != nullptr; });
    SCOPED_TRACE(dump(s));
    const UICandidate* optIn = find(s, "Send me partner offers");
    ASSERT_NE(optIn, nullptr);
    EXPECT_EQ(optIn->role, "AXCheckBox");
    EXPECT_EQ(optIn->value, "checked");
    ASSERT_EQ(backend_.performAction(s.elements.at(find(s, "Subscribe")->id), "AXPress"),
              std::nullopt);
    readUntil([](const WindowSnapshot& r) { return r.windowTitle.starts_with("Subscribed"); });
    app_.stop();
    std::filesystem::remove_all(profile);
}

class QtDesktop : public ToolkitDesktop, public ::testing::WithParamInterface<const char*> {};

TEST_P(QtDesktop, ReadsEveryElementAndSwitchesATabWithTheAppStillRunning) {
    auto s =
        open({GetParam()}, [](const WindowSnapshot& r) { return find(r, "Fonts") != nullptr; });
    SCOPED_TRACE(dump(s));
    // Everything, values of range controls included: one wrong kind of read ends a Qt app.
    EXPECT_GT(testing::readEverything(backend_, s.windowElement)["AXRadioButton"], 2);
    const UICandidate* fonts = find(s, "Fonts");
    EXPECT_EQ(fonts->subrole, "AXTabButton");
    EXPECT_TRUE(s.windowFrame.contains(fonts->frame.center()));
    ASSERT_EQ(backend_.performAction(s.elements.at(fonts->id), "AXPress"), std::nullopt);
    readUntil([](const WindowSnapshot& r) { return find(r, "Remove fonts.conf") != nullptr; });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(app_.running()) << GetParam() << " ended while it was read";
}

INSTANTIATE_TEST_SUITE_P(Widgets, QtDesktop, ::testing::Values("qt5ct", "qt6ct"));

TEST_F(ToolkitDesktop, Gtk4FramesAreWhereTheWindowIsAndNamesAreWhatItShows) {
    open({"gnome-calculator"}, [](const WindowSnapshot& r) { return find(r, "7") != nullptr; });
    // Away from the screen's corner, where window-relative frames would put everything.
    const std::string move = "xdotool search --pid " + std::to_string(app_.pid()) +
                             " --name '^Calculator$' windowmove 300 200";
    ASSERT_EQ(std::system(move.c_str()), 0);
    auto s = readUntil([](const WindowSnapshot& r) { return r.windowFrame.minX() >= 300; });
    SCOPED_TRACE(dump(s));
    for (const auto& c : s.candidates) {
        EXPECT_TRUE(s.windowFrame.contains(c.frame)) << c.id;
        EXPECT_FALSE(atspi::isTypeName(c.title, false) || atspi::undoubled(c.title)) << c.title;
    }
    // A click at the middle of a frame lands on that button.
    const UICandidate* seven = find(s, "7");
    ASSERT_NE(seven, nullptr);
    const std::string click = "xdotool mousemove --sync " + std::to_string(seven->frame.midX()) +
                              " " + std::to_string(seven->frame.midY()) + " click 1";
    ASSERT_EQ(std::system(click.c_str()), 0);
    readUntil([](const WindowSnapshot& r) {
        const UICandidate* display = withRole(r, "AXTextArea");
        return display && display->value == "filled";
    });
}

TEST_F(ToolkitDesktop, Gtk3NotebookPageIsReadAndTypedInto) {
    auto s = open({"mousepad"},
                  [](const WindowSnapshot& r) { return withRole(r, "AXTextArea") != nullptr; });
    SCOPED_TRACE(dump(s));
    // The document lies in the notebook's page, under its (hidden) tab.
    const UICandidate* text = withRole(s, "AXTextArea");
    EXPECT_TRUE(s.windowFrame.contains(text->frame.center()));
    EXPECT_EQ(text->value, "empty");
    ASSERT_EQ(backend_.setAttribute(s.elements.at(text->id), "AXFocused", ax::Value(true)),
              std::nullopt);
    ASSERT_EQ(std::system("xdotool type --delay 30 hello"), 0);
    readUntil([](const WindowSnapshot& r) {
        const UICandidate* typed = withRole(r, "AXTextArea");
        return typed && typed->value == "filled";
    });
}

}  // namespace
}  // namespace ovra
