// Reads and presses a real app of each toolkit over the real accessibility bus: Firefox (a form
// labelled by <label for>), Qt 5 and Qt 6 widgets, GTK 4, and GTK 3 with a notebook.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/atspi/AtspiBackend.h"
#include "platform/atspi/AtspiToolkit.h"
#include "testing/desktop/DesktopReading.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra {
namespace {

using testing::find;

class ToolkitDesktop : public ::testing::Test {
  protected:
    // Reads the app's window until `ready` holds of a reading.
    WindowSnapshot readUntil(const std::function<bool(const WindowSnapshot&)>& ready) {
        WindowSnapshot last;
        EXPECT_TRUE(testing::eventually([&] {
            auto read = extractor_.snapshot({app_.pid(), std::nullopt}, backend_, clock_);
            last = read ? std::move(read).value() : WindowSnapshot{};
            return read && ready(last);
        })) << testing::dump(last);
        return last;
    }
    WindowSnapshot readUntilShown(const std::string& label) {
        return readUntil([&](const WindowSnapshot& r) { return find(r, label) != nullptr; });
    }
    static std::string textAreaValue(const WindowSnapshot& s) {
        auto it = std::find_if(s.candidates.begin(), s.candidates.end(),
                               [](const UICandidate& c) { return c.role == "AXTextArea"; });
        return it == s.candidates.end() ? "" : it->value;
    }
    void press(const WindowSnapshot& s, const std::string& label) {
        EXPECT_EQ(backend_.performAction(s.elements.at(find(s, label)->id), "AXPress"),
                  std::nullopt);
    }

    atspi::AtspiBackend backend_;
    testing::RealClock clock_;
    AXExtractor extractor_{6, 150, 48, 4000};
    testing::LaunchedApp app_;
};

class QtDesktop : public ToolkitDesktop, public ::testing::WithParamInterface<const char*> {};

TEST_P(QtDesktop, ReadingAndATabPressLeaveTheAppRunning) {
    app_ = testing::LaunchedApp::start({GetParam()});
    press(readUntilShown("Fonts"), "Fonts");
    readUntilShown("Remove fonts.conf");
    EXPECT_TRUE(app_.running()) << GetParam() << " ended while it was read";
}

INSTANTIATE_TEST_SUITE_P(Widgets, QtDesktop, ::testing::Values("qt5ct", "qt6ct"));

TEST_F(ToolkitDesktop, FirefoxNumbersEachLabelledFieldOnceAndPressesTheFormsButton) {
    std::string profile = std::filesystem::temp_directory_path() / "ovra-firefox-XXXXXX";
    ASSERT_NE(mkdtemp(profile.data()), nullptr);
    app_ = testing::LaunchedApp::firefox(testing::fixtureUrl("labelfor.html"), profile);
    // Each <label for> names its field and is no control of its own.
    const auto s = readUntilShown("Save address");
    std::vector<std::string> read;
    for (const auto& c : s.candidates) {
        read.push_back(c.role + " " + c.title);
    }
    EXPECT_THAT(read, ::testing::UnorderedElementsAre("AXTextField Full name", "AXTextField Street",
                                                      "AXTextField City", "AXButton Save address"));
    press(s, "Save address");
    readUntil([](const WindowSnapshot& r) { return r.windowTitle.starts_with("Address saved"); });
    app_.stop();
    std::filesystem::remove_all(profile);
}

TEST_F(ToolkitDesktop, Gtk4FramesFollowTheWindowAndNamesAreWhatItShows) {
    app_ = testing::LaunchedApp::start({"gnome-calculator"});
    readUntilShown("7");
    // Away from the screen's corner, where window-relative frames would put everything.
    const std::string move = "xdotool search --pid " + std::to_string(app_.pid()) +
                             " --name '^Calculator$' windowmove 300 200";
    ASSERT_EQ(std::system(move.c_str()), 0);
    auto s = readUntil([](const WindowSnapshot& r) { return r.windowFrame.minX() >= 300; });
    for (const auto& c : s.candidates) {
        EXPECT_TRUE(s.windowFrame.contains(c.frame)) << c.id;
        EXPECT_FALSE(atspi::isTypeName(c.title, false) || atspi::undoubled(c.title)) << c.title;
    }
    // A click at the middle of a button's frame lands on that button.
    const Rect seven = find(s, "7")->frame;
    const std::string click = "xdotool mousemove --sync " + std::to_string(seven.midX()) + " " +
                              std::to_string(seven.midY()) + " click 1";
    ASSERT_EQ(std::system(click.c_str()), 0);
    readUntil([](const WindowSnapshot& r) { return textAreaValue(r) == "filled"; });
}

TEST_F(ToolkitDesktop, Gtk3NotebookPageIsReadAndTypedInto) {
    app_ = testing::LaunchedApp::start({"mousepad"});
    // The document lies in the notebook's page, under its (hidden) tab.
    auto s = readUntil([](const WindowSnapshot& r) { return textAreaValue(r) == "empty"; });
    ASSERT_EQ(
        backend_.setAttribute(s.elements.at(s.candidates.front().id), "AXFocused", ax::Value(true)),
        std::nullopt);
    ASSERT_EQ(std::system("xdotool type --delay 30 hello"), 0);
    readUntil([](const WindowSnapshot& r) { return textAreaValue(r) == "filled"; });
}

}  // namespace
}  // namespace ovra
