#include "platform/model/FakeModelRuntime.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "core/tests/FakeModelRunner.h"

namespace ovra {
namespace {

namespace fs = std::filesystem;

TEST(FakeModelRuntime, RecordsCallsAndFailsOnDemand) {
    const fs::path scratch = fs::temp_directory_path() / "ovra-fake-runtime-test";
    fs::remove_all(scratch);
    fs::create_directories(scratch / "OvraClassifier.mlpackage");
    std::ofstream(scratch / "OvraClassifier.mlpackage" / "model.pt") << "weights";

    FakeModelRuntime runtime(
        [](const fs::path&) { return std::make_unique<testing::FakeModelRunner>(); });
    const fs::path compiled = scratch / "OvraClassifier.mlmodelc";
    runtime.compile(scratch / "OvraClassifier.mlpackage", compiled);
    EXPECT_TRUE(fs::exists(compiled / "model.pt"));
    EXPECT_NE(runtime.load(compiled), nullptr);
    ASSERT_EQ(runtime.loads.size(), 1u);
    EXPECT_EQ(runtime.loads[0], compiled);

    runtime.compileFailure = "no space left";
    EXPECT_THROW(runtime.compile(scratch / "OvraClassifier.mlpackage", compiled), ModelError);
    runtime.loadFailure = "corrupt";
    EXPECT_THROW(runtime.load(compiled), ModelError);
    EXPECT_EQ(runtime.compiles.size(), 2u);
    fs::remove_all(scratch);
}

}  // namespace
}  // namespace ovra
