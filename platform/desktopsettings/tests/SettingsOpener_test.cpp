// Which settings app opens on which desktop, and how failures come back.

#include "platform/desktopsettings/SettingsOpener.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

namespace ovra::desktop {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(SettingsCommands, TheCurrentDesktopComesFirst) {
    struct Case {
        const char* desktop;
        Command first;
    };
    const Case cases[] = {
        {"GNOME", {"gnome-control-center", "universal-access"}},
        {"ubuntu:GNOME", {"gnome-control-center", "universal-access"}},
        {"KDE", {"systemsettings", "kcm_access"}},
        {"XFCE", {"xfce4-accessibility-settings"}},
        {"MATE", {"mate-at-properties"}},
        {"X-Cinnamon", {"cinnamon-settings", "accessibility"}},
        {"", {"gnome-control-center", "universal-access"}},
        {"Hyprland", {"gnome-control-center", "universal-access"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.desktop);
        const auto commands = settingsCommands(c.desktop, "universal-access");
        ASSERT_FALSE(commands.empty());
        EXPECT_EQ(commands.front(), c.first);
        // Every desktop's app stays in the list, each once.
        std::set<Command> unique(commands.begin(), commands.end());
        EXPECT_EQ(unique.size(), commands.size());
        EXPECT_EQ(commands.size(), 6u);
    }
}

TEST(SettingsCommands, PagesArePassedOnlyWhenPlain) {
    EXPECT_EQ(settingsCommands("GNOME", "keyboard").front(),
              (Command{"gnome-control-center", "keyboard"}));
    for (const char* page : {"--help", "a b", "", "x\n"}) {
        SCOPED_TRACE(page);
        EXPECT_EQ(settingsCommands("GNOME", page).front(),
                  (Command{"gnome-control-center", "universal-access"}));
    }
    EXPECT_THAT(settingsCommands("GNOME", "https://help.example/a11y"),
                ElementsAre(Command{"xdg-open", "https://help.example/a11y"}));
}

struct FakeLauncher {
    std::vector<Command> started;
    std::set<std::string> broken;  // programs whose start fails

    Launcher launcher() {
        return [this](const Command& command,
                      std::function<void(const std::string&)>) -> std::optional<std::string> {
            started.push_back(command);
            if (broken.contains(command.front())) {
                return command.front() + ": Permission denied";
            }
            return std::nullopt;
        };
    }
};

TEST(DesktopOpener, StartsTheFirstInstalledAppThatStarts) {
    FakeLauncher fake;
    fake.broken = {"systemsettings"};
    const std::set<std::string> installed = {"systemsettings", "systemsettings5",
                                             "gnome-control-center"};
    DesktopSettingsOpener opener("KDE", fake.launcher(),
                                 [&](const std::string& p) { return installed.contains(p); });
    EXPECT_EQ(opener.open("universal-access"), std::nullopt);
    EXPECT_THAT(fake.started, ElementsAre(Command{"systemsettings", "kcm_access"},
                                          Command{"systemsettings5", "kcm_access"}));
}

TEST(DesktopOpener, SaysWhyNothingOpened) {
    FakeLauncher fake;
    DesktopSettingsOpener none("GNOME", fake.launcher(), [](const std::string&) { return false; });
    EXPECT_EQ(none.open("universal-access"), "no settings app of a known desktop is installed");
    EXPECT_THAT(fake.started, IsEmpty());

    fake.broken = {"gnome-control-center", "xfce4-accessibility-settings"};
    DesktopSettingsOpener broken("GNOME", fake.launcher(),
                                 [&](const std::string& p) { return fake.broken.contains(p); });
    EXPECT_EQ(broken.open("universal-access"),
              "gnome-control-center: Permission denied; xfce4-accessibility-settings: "
              "Permission denied");
}

TEST(DetachedLauncher, ReportsAMissingProgramAndALateFailure) {
    auto launch = detachedLauncher();
    auto missing = launch({"ovra-no-such-program-here"}, nullptr);
    ASSERT_TRUE(missing);
    EXPECT_THAT(*missing, ::testing::HasSubstr("ovra-no-such-program-here"));

    std::mutex mutex;
    std::condition_variable done;
    std::optional<std::string> reported;
    auto started = launch({"false"}, [&](const std::string& why) {
        std::lock_guard lock(mutex);
        reported = why;
        done.notify_all();
    });
    EXPECT_EQ(started, std::nullopt);
    std::unique_lock lock(mutex);
    ASSERT_TRUE(
        done.wait_for(lock, std::chrono::seconds(20), [&] { return reported.has_value(); }));
    EXPECT_EQ(*reported, "false ended with status 1");
}

TEST(OnPath, FindsProgramsOnPathOnly) {
    EXPECT_TRUE(onPath("sh"));
    EXPECT_TRUE(onPath("/bin/sh"));
    EXPECT_FALSE(onPath("ovra-no-such-program-here"));
    EXPECT_FALSE(onPath(""));
}

}  // namespace
}  // namespace ovra::desktop
