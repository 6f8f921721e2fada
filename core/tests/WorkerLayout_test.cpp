#include "core/WorkerLayout.h"

#include <gtest/gtest.h>

#include <set>

namespace ovra {
namespace {

using Names = std::vector<std::string>;

TEST(WorkerLayout, ModelFoldersAndSafeComponents) {
    EXPECT_EQ(WorkerLayout::modelFolder("a/b/c"), "a--b--c");
    for (const char* bad : {"", ".", "..", "a/b", "/abs", "../x", "x/"}) {
        EXPECT_FALSE(WorkerLayout::isSafeComponent(bad)) << bad;
    }
    EXPECT_FALSE(WorkerLayout::isSafeComponent(std::string("a\0b", 3)));
    for (const char* good : {"model.tar.gz", "...", "..x", ".hidden", "murmlark-ovra--en"}) {
        EXPECT_TRUE(WorkerLayout::isSafeComponent(good)) << good;
    }
}

// At the top level only the engine is retired; of the models, other families and those
// outside the set to keep.
TEST(WorkerLayout, Retired) {
    EXPECT_EQ(WorkerLayout::retired({"models", "engine", "incoming"}, {}, std::nullopt),
              Names{"engine"});
    const Names models{".DS_Store", "murmlark-ovra--en", "murmlark-ovra--multi", "other--big"};
    EXPECT_EQ(WorkerLayout::retired({}, models, std::set<std::string>{"murmlark-ovra--en"}),
              (Names{"models/murmlark-ovra--multi", "models/other--big"}));
    EXPECT_EQ(WorkerLayout::retired({}, models, std::nullopt), Names{"models/other--big"});
    EXPECT_EQ(WorkerLayout::retired({"engine"}, models, std::set<std::string>{}),
              (Names{"engine", "models/murmlark-ovra--en", "models/murmlark-ovra--multi",
                     "models/other--big"}));
}

TEST(WorkerLayout, LaunchPlanPrefersTheBundledWorkerThenTheDevelopmentFolder) {
    using WorkerLayout::WorkerPlan;
    const std::set<std::string> files = {
        "/app/res/worker/murmlark_worker.py",
        "/data/Ovra/engine/python/bin/python3",
        "/data/Ovra/models/murmlark-ovra--en/model.safetensors",
        "/home/u/w/.venv/bin/python",
        "/home/u/w/murmlark_worker.py",
    };
    const auto input = [&](std::optional<std::string> resources, std::string dev,
                           std::string model = "murmlark-ovra/en") {
        return WorkerLayout::WorkerPlanInput{
            .resources = std::move(resources),
            .support = "/data/Ovra/",
            .developmentDirectory = std::move(dev),
            .home = "/home/u",
            .model = std::move(model),
            .isExecutable =
                [&](const std::string& p) {
                    return p.find("python") != p.npos && files.contains(p);
                },
            .exists = [&](const std::string& p) { return files.contains(p); }};
    };
    const WorkerPlan bundled = WorkerPlan::launching(
        {"/data/Ovra/engine/python/bin/python3", "/app/res/worker/murmlark_worker.py",
         "/data/Ovra/", "/data/Ovra/models/murmlark-ovra--en"});
    const WorkerPlan development = WorkerPlan::launching(
        {"/home/u/w/.venv/bin/python", "/home/u/w/murmlark_worker.py", "/home/u/w", std::nullopt});
    EXPECT_EQ(WorkerLayout::plan(input("/app/res", "~/w")), bundled);
    // Without the model's weights the bundled worker needs a download; the development folder is
    // only asked when the resources hold no script.
    EXPECT_EQ(WorkerLayout::plan(input("/app/res", "~/w", "murmlark-ovra/multi")),
              WorkerPlan::needsDownload());
    EXPECT_EQ(WorkerLayout::plan(input("/elsewhere", "~/w")), development);
    EXPECT_EQ(WorkerLayout::plan(input(std::nullopt, "/home/u/w")), development);
    EXPECT_EQ(WorkerLayout::plan(input(std::nullopt, "")), WorkerPlan::needsDownload());
    EXPECT_EQ(WorkerLayout::plan(input(std::nullopt, "~/other")), WorkerPlan::needsDownload());

    auto cannot = input("/app/res", "~/w");
    cannot.canRunModel = false;
    EXPECT_EQ(WorkerLayout::plan(cannot),
              WorkerPlan::rulesOnly(std::string(WorkerLayout::intelReason)));
}

}  // namespace
}  // namespace ovra
