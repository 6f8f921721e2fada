// The accessibility worker's first answer on whether other apps can be read: the backend's,
// or none while the worker is still busy, never a wait for it.

#include "app/controller/AccessibilityWorkerThread.h"

#include <gtest/gtest.h>

#include <future>

#include "platform/accessibility/FakeAccessibilityBackend.h"
#include "platform/input/FakeInputSynthesizer.h"

namespace ovra {
namespace {

TEST(AccessibilityWorkerThread, TrustIsTheBackendsAnswerOrNoneWhileTheWorkerIsBusy) {
    auto made = ax::FakeAccessibilityBackend::fromJson(Json::parse(
        R"({"app": {"pid": 9}, "window": {"id": "win", "role": "AXWindow", "frame": [0, 0, 9, 9]}})"));
    ASSERT_TRUE(made) << made.error();
    ax::FakeAccessibilityBackend& backend = *made.value();
    input::FakeInputSynthesizer input;
    AccessibilityWorkerThread worker({backend, input, ax::systemClock(),
                                      [](std::function<void()> work) { work(); },
                                      [] { return false; }});
    using std::chrono::milliseconds;
    backend.setTrusted(true);
    EXPECT_EQ(worker.trustedWithin(milliseconds(5000)), true);
    backend.setTrusted(false);
    EXPECT_EQ(worker.trustedWithin(milliseconds(5000)), false);

    // A bus that does not answer holds the worker, not the caller: the answer is none, and
    // the caller goes on long before the worker does.
    std::promise<void> release;
    worker.post([held = release.get_future().share()] { held.wait(); });
    EXPECT_EQ(worker.trustedWithin(milliseconds(20)), std::nullopt);
    release.set_value();
    backend.setTrusted(true);
    EXPECT_EQ(worker.trustedWithin(milliseconds(5000)), true);
}

}  // namespace
}  // namespace ovra
