#include "core/MemoryPolicy.h"

#include <gtest/gtest.h>

namespace ovra {
namespace {

using ModelMemoryPolicy::Action;
using P = MemoryPressure;

struct PressureCase {
    P level;
    bool modelRunning;
    Action expected;
};

TEST(ModelMemoryPolicy, OnlyCriticalPressurePausesALoadedModel) {
    const PressureCase cases[] = {
        {P::normal, true, Action::none},    {P::warning, true, Action::none},
        {P::critical, true, Action::pause}, {P::normal, false, Action::none},
        {P::warning, false, Action::none},  {P::critical, false, Action::none},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ModelMemoryPolicy::onPressure(c.level, c.modelRunning), c.expected)
            << toString(c.level) << " running=" << c.modelRunning;
    }
}

struct PressCase {
    P level;
    bool paused;
    bool wanted;
    Action expected;
};

TEST(ModelMemoryPolicy, ResumesOnlyAPausedWantedModelOutsideCriticalPressure) {
    const PressCase cases[] = {
        {P::normal, true, true, Action::resume},  {P::warning, true, true, Action::resume},
        {P::critical, true, true, Action::none},  {P::normal, false, true, Action::none},
        {P::normal, true, false, Action::none},   {P::warning, false, false, Action::none},
        {P::critical, false, true, Action::none}, {P::critical, true, false, Action::none},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ModelMemoryPolicy::onPress(c.level, c.paused, c.wanted), c.expected)
            << toString(c.level) << " paused=" << c.paused << " wanted=" << c.wanted;
    }
}

}  // namespace
}  // namespace ovra
