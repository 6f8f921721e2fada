// murmlark-ovra's press test, the app's own reading and press, on a page whose cookie banner
// without a role lies over one of its buttons: the covered button is not found to press, and
// nothing of the page runs; the banner's own button is pressed as ever. In Chromium and Firefox.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "testing/Files.h"
#include "testing/desktop/Commands.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

class CoveredPress : public ::testing::TestWithParam<bool> {
  protected:
    testing::CommandOutput pressTest(const std::string& label) const {
        return testing::run("env -u OVRA_CLASSIFIER_DIR OVRA_PRESS_TEST_APP=" + processName_ +
                            " '" OVRA_EXECUTABLE "' --press-test '" + label + "'");
    }

    testing::ScratchFolder profile_{"firefox"};
    std::string processName_ = GetParam() ? "firefox-esr" : "chromium";
};

TEST_P(CoveredPress, TheButtonUnderTheBannerIsNeverPressed) {
    const std::string url = testing::fixtureUrl("covered.html") + "#banner";
    const testing::LaunchedApp browser = GetParam()
                                             ? testing::LaunchedApp::firefox(url, profile_.path())
                                             : testing::LaunchedApp::chromium(url);
    ASSERT_TRUE(browser.running());
    // Once the page is read with its banner.
    testing::CommandOutput dump;
    ASSERT_TRUE(testing::eventually(
        [&] {
            dump = testing::run("env -u OVRA_CLASSIFIER_DIR '" OVRA_EXECUTABLE "' --dump " +
                                processName_);
            return dump.text.find("\"Accept cookies\"") != std::string::npos;
        },
        45))
        << dump.text;
    EXPECT_THAT(dump.text, Not(HasSubstr("Under banner")));
    const testing::CommandOutput covered = pressTest("Under banner");
    EXPECT_EQ(covered.exitCode, 2) << covered.text;
    EXPECT_THAT(covered.lines(), ElementsAre("press-test: no control labeled \"Under banner\""));

    const testing::CommandOutput open = pressTest("Accept cookies");
    EXPECT_EQ(open.exitCode, 0) << open.text;
    EXPECT_THAT(open.text, HasSubstr("pressed Accept cookies"));
    EXPECT_THAT(open.text, Not(HasSubstr("Under banner")));
}

INSTANTIATE_TEST_SUITE_P(Browsers, CoveredPress, ::testing::Values(false, true),
                         [](const auto& run) { return run.param ? "Firefox" : "Chromium"; });

}  // namespace
}  // namespace ovra
