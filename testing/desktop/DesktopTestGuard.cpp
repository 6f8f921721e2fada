// Linked into every desktop test program. Desktop tests run inside the private desktop of
// scripts/with-desktop, which sets OVRA_DESKTOP. Outside it every test of the program skips (a
// skip in the global set-up skips them all), so a developer can run every test anywhere. In CI
// (CI set) that skip would pass tests that never ran: there the program ends with a failure
// instead, before any test starts, saying why.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "testing/desktop/LaunchedApp.h"

namespace {

bool inContinuousIntegration() {
    const char* ci = std::getenv("CI");
    if (ci == nullptr) {
        return false;
    }
    const std::string_view value(ci);
    return !value.empty() && value != "0" && value != "false";
}

class DesktopRequired final : public ::testing::Environment {
  public:
    void SetUp() override {
        if (ovra::testing::onDesktop()) {
            return;
        }
        if (inContinuousIntegration()) {
            std::fputs(
                "no desktop to test on: CI is set, so desktop tests fail instead of "
                "skipping. Run them under scripts/with-desktop.\n",
                stderr);
            std::exit(1);
        }
        // Google Test writes no "[  SKIPPED ]" line for tests skipped here, and CTest tells a
        // skip by that line.
        std::puts("[  SKIPPED ] needs a desktop: run under scripts/with-desktop");
        GTEST_SKIP();
    }
};

// Google Test owns the environment.
[[maybe_unused]] ::testing::Environment* const kGuard =
    ::testing::AddGlobalTestEnvironment(new DesktopRequired);

}  // namespace
