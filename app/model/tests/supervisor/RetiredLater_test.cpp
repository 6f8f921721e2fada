// A copy that does not yet know whether another copy runs leaves the support folder alone until
// it is told to tidy it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/model/ModelSupervisor.h"
#include "app/model/tests/supervisor/SupervisorFakes.h"

namespace ovra::supervisor::testing {
namespace {

TEST_F(SupervisorTest, RetiredFilesWaitUntilTheCopyKnowsItIsTheOnlyOne) {
    removeRetiredLater = true;
    touch(support() / "engine" / "x");
    supervisor();
    executor.runAll();
    EXPECT_TRUE(std::filesystem::exists(support() / "engine" / "x"));
    supervisor().removeRetiredFiles();
    executor.runAll();
    EXPECT_THAT(logLines, ::testing::ElementsAre("removed retired engine"));
}

}  // namespace
}  // namespace ovra::supervisor::testing
