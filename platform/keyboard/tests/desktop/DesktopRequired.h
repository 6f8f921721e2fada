#pragma once

// Desktop tests run inside scripts/with-desktop. Outside it they skip, except in CI, where a
// missing desktop is a failure rather than a silent pass.

#include <gtest/gtest.h>

#include <cstdlib>

#define OVRA_REQUIRE_DESKTOP()                                             \
    if (std::getenv("OVRA_DESKTOP") == nullptr) {                          \
        if (std::getenv("CI") != nullptr)                                  \
            FAIL() << "no desktop in CI: use scripts/with-desktop";        \
        GTEST_SKIP() << "needs a desktop: run under scripts/with-desktop"; \
    }
