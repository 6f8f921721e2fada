#include "app/model/WorkerStatus.h"

#include <gtest/gtest.h>

namespace ovra {
namespace {

TEST(WorkerStatus, ReasonsShowAsTheyAreAndUnknownModelsUnnamed) {
    EXPECT_EQ(WorkerStatus::offline("disk 100% full %@").detail(),
              "Built-in rules only: disk 100% full %@");
    EXPECT_EQ(WorkerStatus::ready("murmlark-ovra/multi").detail(), "Murmlark Multilingual ready");
    EXPECT_EQ(WorkerStatus::ready("someone/else").detail(), "On-device model ready");
    EXPECT_EQ(WorkerStatus::loading().label(), WorkerStatus::starting().label());
}

}  // namespace
}  // namespace ovra
