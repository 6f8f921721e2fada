#include "app/model/ClassifierLoading.h"

#include <gtest/gtest.h>

#include <fstream>

#include "app/model/StandardServices.h"
#include "app/model/tests/supervisor/SupervisorFakes.h"
#include "platform/model/FakeModelRuntime.h"
#include "testing/FakeModelRunner.h"

namespace ovra::supervisor::testing {
namespace {

fs::path tokenizerFixture() {
    const char* root = std::getenv("OVRA_SOURCE_DIR");
    return fs::path(root ? root : ".") / "core/tests/fixtures/tokenizer/bytelevel.json";
}

TEST(ClassifierLoading, LoadsThroughTheRuntimeAndDecidesByCandidateIdOrThrows) {
    auto runtime = std::make_shared<FakeModelRuntime>(
        [](const fs::path&) { return std::make_unique<ovra::testing::FakeModelRunner>(); });
    const auto load = ovraClassifierLoader(runtime);
    const auto classifier = load("/models/x/OvraClassifier.mlmodelc", tokenizerFixture());
    ASSERT_TRUE(classifier);
    EXPECT_EQ(runtime->loads, std::vector<fs::path>{"/models/x/OvraClassifier.mlmodelc"});
    UICandidate c;
    c.id = "c1";
    c.frame = Rect(10, 10, 80, 20);
    const DecisionMap decisions = classifier->decide({c}, "Shop", "Checkout", Rect(0, 0, 800, 600));
    ASSERT_EQ(decisions.size(), 1u);
    EXPECT_EQ(decisions.begin()->first, "c1");

    EXPECT_ANY_THROW(load("/m", "/no/such/tokenizer.json"));
    runtime->loadFailure = "broken model";
    EXPECT_THROW(load("/m", tokenizerFixture()), ModelError);
}

TEST(ClassifierLoading, ReadsOnlyAWholeValidManifest) {
    TempFolder temp;
    const auto file = temp.path() / "engine-manifest.json";
    EXPECT_FALSE(readManifest(file)) << "missing";
    touch(file, "{\"version\": 1, \"files\": [");
    EXPECT_FALSE(readManifest(file)) << "malformed";
    touch(file, std::string(2 * 1024 * 1024, ' ') + R"({"version": 1, "files": []})");
    EXPECT_FALSE(readManifest(file)) << "oversized";
    touch(file, R"({"version": 3, "files": []})");
    const auto manifest = readManifest(file);
    ASSERT_TRUE(manifest);
    EXPECT_EQ(manifest->version, 3);
}

TEST(ClassifierLoading, CompileStepReplacesThePackageOrNamesTheFailure) {
    TempFolder temp;
    auto runtime = std::make_shared<FakeModelRuntime>(
        [](const fs::path&) { return std::make_unique<ovra::testing::FakeModelRunner>(); });
    const auto compile = compileStep(runtime);
    const auto folder = temp.path() / "murmlark-ovra--en";
    touch(folder / "OvraClassifier.mlpackage" / "model.pt");
    EXPECT_EQ(compile(folder), std::nullopt);
    EXPECT_TRUE(fs::exists(folder / "OvraClassifier.mlmodelc" / "model.pt"));
    EXPECT_FALSE(fs::exists(folder / "OvraClassifier.mlpackage"));

    touch(folder / "OvraClassifier.mlpackage" / "model.pt");
    runtime->compileFailure = "bad weights";
    EXPECT_EQ(compile(folder), "ModelError: bad weights");
    EXPECT_TRUE(fs::exists(folder / "OvraClassifier.mlpackage")) << "kept for the installer";
}

}  // namespace
}  // namespace ovra::supervisor::testing
