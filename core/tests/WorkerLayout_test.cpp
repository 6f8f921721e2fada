#include "core/WorkerLayout.h"

#include <gtest/gtest.h>

namespace ovra {
namespace {

using Names = std::vector<std::string>;

TEST(WorkerLayout, ModelFolderReplacesEverySlash) {
    EXPECT_EQ(WorkerLayout::modelFolder("murmlark-ovra/multi"), "murmlark-ovra--multi");
    EXPECT_EQ(WorkerLayout::modelFolder("a/b/c"), "a--b--c");
    EXPECT_EQ(WorkerLayout::modelFolder("plain"), "plain");
}

TEST(WorkerLayout, SafeComponents) {
    for (const char* bad : {"", ".", "..", "a/b", "/abs", "../x", "x/"}) {
        EXPECT_FALSE(WorkerLayout::isSafeComponent(bad)) << bad;
    }
    EXPECT_FALSE(WorkerLayout::isSafeComponent(std::string("a\0b", 3)));
    for (const char* good : {"model.tar.gz", "...", "..x", ".hidden", "murmlark-ovra--en"}) {
        EXPECT_TRUE(WorkerLayout::isSafeComponent(good)) << good;
    }
}

TEST(WorkerLayout, OnlyEngineIsRetiredAtTopLevel) {
    EXPECT_EQ(WorkerLayout::retired({"models", "engine", "incoming"}, {}, std::nullopt),
              Names{"engine"});
}

TEST(WorkerLayout, RetiresOtherFamiliesAndModelsOutsideKeep) {
    const Names models{".DS_Store", "murmlark-ovra--en", "murmlark-ovra--multi", "other--big"};
    EXPECT_EQ(WorkerLayout::retired({}, models, std::set<std::string>{"murmlark-ovra--en"}),
              (Names{"models/murmlark-ovra--multi", "models/other--big"}));
    EXPECT_EQ(WorkerLayout::retired({}, models, std::nullopt), Names{"models/other--big"});
    EXPECT_EQ(WorkerLayout::retired({"engine"}, models, std::set<std::string>{}),
              (Names{"engine", "models/murmlark-ovra--en", "models/murmlark-ovra--multi",
                     "models/other--big"}));
}

}  // namespace
}  // namespace ovra
