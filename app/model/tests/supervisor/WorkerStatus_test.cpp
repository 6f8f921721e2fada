#include "app/model/WorkerStatus.h"

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
        // Reasons are shown as they are, percent signs and all.
        {WorkerStatus::offline("disk 100% full %@"), "Using built-in rules (on-device model off)",
         "Built-in rules only: disk 100% full %@"},
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

}  // namespace
}  // namespace ovra
