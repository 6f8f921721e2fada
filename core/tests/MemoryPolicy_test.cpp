#include "core/MemoryPolicy.h"

#include <gtest/gtest.h>

namespace ovra {
namespace {

using ModelMemoryPolicy::Action;
using P = MemoryPressure;

// Only critical pressure pauses a running model; a press resumes only a paused model that is
// wanted, and never under critical pressure.
TEST(ModelMemoryPolicy, PauseAndResumeByPressure) {
    for (const P level : {P::normal, P::warning, P::critical}) {
        const bool critical = level == P::critical;
        EXPECT_EQ(ModelMemoryPolicy::onPressure(level, true),
                  critical ? Action::pause : Action::none)
            << toString(level);
        EXPECT_EQ(ModelMemoryPolicy::onPressure(level, false), Action::none) << toString(level);
        EXPECT_EQ(ModelMemoryPolicy::onPress(level, true, true),
                  critical ? Action::none : Action::resume)
            << toString(level);
        for (const auto& [paused, wanted] : {std::pair{false, true}, {true, false}, {false, false}})
            EXPECT_EQ(ModelMemoryPolicy::onPress(level, paused, wanted), Action::none)
                << toString(level) << " paused=" << paused << " wanted=" << wanted;
    }
}

}  // namespace
}  // namespace ovra
