// What the worker hands back of a reading whose app went wrong: an app the bus does not know, an
// app that went away partway (its later reads find it gone) and one that stopped answering
// partway are never a plan; a whole reading, one that met an element gone meanwhile, or one
// whose app was found only at the second look (a registry that restarted), is.

#include <gtest/gtest.h>

#include <future>

#include "app/controller/AccessibilityWorkerThread.h"
#include "platform/accessibility/FakeAccessibilityBackend.h"
#include "platform/input/FakeInputSynthesizer.h"

namespace ovra {
namespace {

TEST(AccessibilityWorkerReading, AReadingThatLostItsAppIsNoPlan) {
    struct Case {
        const char* what;
        const char* app;    // the fixture's app fields after the pid
        const char* fault;  // the second button's faults
        std::optional<AXExtractorError> error;
    };
    const Case cases[] = {
        {"a whole reading", "", "{}", std::nullopt},
        {"an app the bus does not know", R"(, "gone": true)", "{}", AXExtractorError::notOnBus},
        {"an element gone meanwhile", "", R"({"attributes": "appGone", "AXRole": "appGone"})",
         std::nullopt},
        {"an app gone partway", R"(, "goneAfter": 8)", "{}", AXExtractorError::appLost},
        // Its first lookup is the test's own, below.
        {"an app a restarted registry lists late", R"(, "listedLate": 2)", "{}", std::nullopt},
        {"an app that stopped answering partway", R"(, "hangAfter": 8)", "{}",
         AXExtractorError::notResponding},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string fixture =
            std::string(R"({"app": {"pid": 9)") + c.app +
            R"(}, "window": {"role": "AXWindow", "title": "W", "frame": [0, 0, 800, 600],
            "children": [{"role": "AXButton", "title": "OK", "frame": [10, 10, 80, 30]},
            {"role": "AXButton", "title": "Cancel", "frame": [100, 10, 80, 30], "faults": )" +
            c.fault + R"(}]}})";
        auto made = ax::FakeAccessibilityBackend::fromJson(Json::parse(fixture));
        ASSERT_TRUE(made) << made.error();
        ax::FakeAccessibilityBackend& backend = *made.value();
        // A hung app's calls each take the messaging time-out the reader works with.
        backend.setMessagingTimeout(backend.applicationElement({9, std::nullopt}), 0.25);
        input::FakeInputSynthesizer input;
        AccessibilityWorkerThread worker({backend, input, backend.clock(),
                                          [](std::function<void()> work) { work(); },
                                          [] { return false; }});
        ReadRequest request;
        request.target.pid = 9;
        std::promise<ReadResult> answer;
        worker.read(request, {}, [&](ReadResult result) { answer.set_value(std::move(result)); });
        const ReadResult result = answer.get_future().get();
        if (c.error) {
            ASSERT_FALSE(result.ok());
            EXPECT_EQ(result.error(), *c.error) << description(result.error());
        } else {
            ASSERT_TRUE(result.ok()) << description(result.error());
            EXPECT_GE(result.value().candidates.size(), 1u);
        }
    }
}

}  // namespace
}  // namespace ovra
