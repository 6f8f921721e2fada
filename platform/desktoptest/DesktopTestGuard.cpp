// Desktop tests run inside the private desktop of scripts/with-desktop, which sets OVRA_DESKTOP.
// Outside it they skip themselves, so a developer can run every test anywhere. In CI (CI set)
// that skip would pass a test that never ran: there the program ends with a failure instead,
// before any test starts (a failed global set-up does not stop Google Test from running, and
// so skipping, every test).

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

bool inContinuousIntegration() {
    const char* ci = std::getenv("CI");
    if (ci == nullptr) {
        return false;
    }
    const std::string_view value(ci);
    return !value.empty() && value != "0" && value != "false";
}

class DesktopRequiredInCI final : public ::testing::Environment {
  public:
    void SetUp() override {
        if (std::getenv("OVRA_DESKTOP") == nullptr && inContinuousIntegration()) {
            std::fputs(
                "no desktop to test on: CI is set, so desktop tests fail instead of "
                "skipping. Run them under scripts/with-desktop.\n",
                stderr);
            std::exit(1);
        }
    }
};

// Google Test owns the environment.
[[maybe_unused]] ::testing::Environment* const kGuard =
    ::testing::AddGlobalTestEnvironment(new DesktopRequiredInCI);

}  // namespace
