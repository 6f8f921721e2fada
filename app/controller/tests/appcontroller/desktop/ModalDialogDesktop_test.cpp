// Chromium's file chooser in front of its window: a dialog of the browser's own that is not on
// the accessibility bus. The reading refuses it rather than read the page behind it, and says
// that this window cannot be read.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "app/accessibility/AXExtractor.h"
#include "app/controller/TargetWindowBackend.h"
#include "platform/atspi/AtspiBackend.h"
#include "platform/x11/X11Workspace.h"
#include "testing/desktop/Commands.h"
#include "testing/desktop/DesktopReading.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra {
namespace {

using testing::eventually;
using testing::find;
using testing::LaunchedApp;

// The file input ("Attachment: No file chosen" in Chromium).
const UICandidate* attachment(const WindowSnapshot& s) {
    for (const auto& c : s.candidates) {
        if (c.title.starts_with("Attachment")) {
            return &c;
        }
    }
    return nullptr;
}

TEST(ModalDialogDesktop, ChromiumsFileChooserInFrontIsNotReadThrough) {
    auto workspace = x11::Workspace::open();
    ASSERT_TRUE(workspace.ok());
    x11::Workspace& desk = *workspace.value();
    atspi::AtspiBackend atspi;
    testing::RealClock clock;
    const AXExtractor extractor{6, 150, 48, 4000};
    auto browser = LaunchedApp::chromium(testing::fixtureUrl("hidden.html") + "#upload");
    ASSERT_TRUE(browser.running());

    // What a request captures of the window in front, read through it.
    std::optional<x11::ActiveWindow> front;
    const auto readFront = [&]() -> Result<WindowSnapshot, AXExtractorError> {
        front = desk.activeWindow();
        if (!front || front->pid != browser.pid()) {
            return fail(AXExtractorError::noFrontmostApp);
        }
        TargetWindowBackend target(atspi, front->title,
                                   desk.contentFrame(front->window).value_or(Rect()),
                                   desk.isDialog(front->window));
        auto read = extractor.snapshot({browser.pid(), std::nullopt}, target, clock);
        if (!read && read.error() == AXExtractorError::noWindow && target.dialogNotShown()) {
            return fail(AXExtractorError::windowNotShown);
        }
        return read;
    };
    WindowSnapshot shown;
    ASSERT_TRUE(eventually(
        [&] {
            auto read = readFront();
            shown = read ? std::move(read).value() : WindowSnapshot{};
            return find(shown, "Save form") != nullptr && attachment(shown) != nullptr;
        },
        45))
        << testing::dump(shown);
    const std::uint32_t page = front->window;
    EXPECT_FALSE(desk.isDialog(page));

    // A click on the file input opens the chooser: transient for the browser's window, modal.
    const Point input = attachment(shown)->frame.center();
    ASSERT_TRUE(testing::xdotool("mousemove " + std::to_string(std::lround(input.x)) + " " +
                                 std::to_string(std::lround(input.y)) + " click 1"));
    ASSERT_TRUE(eventually([&] {
        const auto active = desk.activeWindow();
        return active && active->window != page && desk.isDialog(active->window);
    })) << "no dialog came to the front";
    Result<WindowSnapshot, AXExtractorError> behind = fail(AXExtractorError::cancelled);
    EXPECT_TRUE(eventually(
        [&] {
            behind = readFront();
            return !behind && behind.error() == AXExtractorError::windowNotShown;
        },
        10));
    if (behind) {
        ADD_FAILURE() << "the page behind the dialog was read:\n" << testing::dump(behind.value());
    }
    EXPECT_NE(description(AXExtractorError::windowNotShown).find("cannot be read"),
              std::string::npos);

    // Closed, the page is read again.
    ASSERT_TRUE(testing::xdotool("key --clearmodifiers Escape"));
    EXPECT_TRUE(eventually([&] {
        auto read = readFront();
        return read && find(read.value(), "Save form") != nullptr;
    }));
}

}  // namespace
}  // namespace ovra
