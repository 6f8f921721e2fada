// Firefox takes every element of a window off its tree while the window is covered whole (by a
// window without a compositing manager to draw through), and puts them back a moment after it
// shows again. A reading that begins as the cover goes waits for them: the page's form is read,
// not an empty window. The ordinary counterpart, a window nothing covers read without any wait,
// is every other reading of Firefox.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "platform/atspi/AtspiBackend.h"
#include "testing/desktop/DesktopReading.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra {
namespace {

TEST(CoveredFirefox, AReadingBegunAsTheCoverGoesReadsThePage) {
    std::string profile = std::filesystem::temp_directory_path() / "ovra-firefox-XXXXXX";
    ASSERT_NE(mkdtemp(profile.data()), nullptr);
    testing::LaunchedApp firefox =
        testing::LaunchedApp::firefox(testing::fixtureUrl("labelfor.html"), profile);
    atspi::AtspiBackend backend;
    testing::RealClock clock;
    const AXExtractor extractor{6, 14, 48, 4000};
    const auto readsForm = [&] {
        auto read = extractor.snapshot({firefox.pid(), std::nullopt}, backend, clock);
        return read && testing::find(read.value(), "Save address") != nullptr;
    };
    ASSERT_TRUE(testing::eventually(readsForm, 45)) << "the page never read";

    testing::LaunchedApp cover = testing::LaunchedApp::start(
        {"xmessage", "-xrm", "*overrideRedirect: true", "-geometry", "8000x8000+0+0", "cover"});
    ASSERT_TRUE(testing::eventually([&] { return !readsForm(); }, 20))
        << "Firefox kept its page under the cover";
    kill(cover.pid(), SIGTERM);
    EXPECT_TRUE(readsForm()) << "the window was read before its content came back";
    cover.stop();
    firefox.stop();
    std::filesystem::remove_all(profile);
}

}  // namespace
}  // namespace ovra
