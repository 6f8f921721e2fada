#include "app/supervisor/WorkerStatus.h"

#include <gtest/gtest.h>

namespace ovra {
namespace {

struct TextCase {
    WorkerStatus status;
    const char* label;
    const char* detail;
};

TEST(WorkerStatus, LabelAndDetailOfEveryCase) {
    const TextCase cases[] = {
        {WorkerStatus::offline("stopped"), "Using built-in rules (on-device model off)",
         "Built-in rules only: stopped"},
        {WorkerStatus::offline(""), "Using built-in rules (on-device model off)",
         "Built-in rules only: "},
        {WorkerStatus::ready("murmlark-ovra/en"), "On-device model ready",
         "Murmlark Large, English ready"},
        {WorkerStatus::ready("murmlark-ovra/multi"), "On-device model ready",
         "Murmlark Multilingual ready"},
        {WorkerStatus::ready("someone/else"), "On-device model ready", "On-device model ready"},
        {WorkerStatus::starting(), "Starting the on-device model\u2026",
         "Starting the on-device model"},
        {WorkerStatus::loading(), "Starting the on-device model\u2026",
         "Loading the on-device model"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.status.label(), c.label) << c.detail;
        EXPECT_EQ(c.status.detail(), c.detail);
    }
}

TEST(WorkerStatus, ReasonsWithPercentSignsAreShownAsTheyAre) {
    EXPECT_EQ(WorkerStatus::offline("disk 100% full %@").detail(),
              "Built-in rules only: disk 100% full %@");
}

TEST(WorkerStatus, EqualityComparesKindAndPayload) {
    EXPECT_EQ(WorkerStatus::offline("a"), WorkerStatus::offline("a"));
    EXPECT_NE(WorkerStatus::offline("a"), WorkerStatus::offline("b"));
    EXPECT_NE(WorkerStatus::ready("murmlark-ovra/en"), WorkerStatus::ready("murmlark-ovra/multi"));
    EXPECT_NE(WorkerStatus::starting(), WorkerStatus::loading());
}

}  // namespace
}  // namespace ovra
