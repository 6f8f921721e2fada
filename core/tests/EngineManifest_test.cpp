#include "core/EngineManifest.h"

#include <gtest/gtest.h>

namespace ovra {
namespace {

const std::string kDigest(64, 'a');

std::string file(const std::string& extra, const std::string& name = "en.tar.gz") {
    return R"({"name": ")" + name + R"(", "kind": "model", "bytes": 10, "sha256": ")" + kDigest +
           "\"" + extra + "}";
}

std::string manifest(const std::string& files) {
    return R"({"version": 3, "files": [)" + files + "]}";
}

EngineManifest decoded(const std::string& text) {
    auto m = EngineManifest::decode(text);
    EXPECT_TRUE(m.ok()) << (m.ok() ? "" : m.error());
    return m.ok() ? *m : EngineManifest{};
}

TEST(EngineManifest, DecodesEveryFieldAndRoundTrips) {
    const auto m = decoded(manifest(
        file(R"(, "model": "murmlark-ovra/en", "extra": 1, "parts": [{"name": "en.aa",
        "bytes": 4, "sha256": "x"}, {"name": "en.ab", "bytes": 6, "sha256": "y"}])") +
        R"(, {"name": "engine.tar", "kind": "engine", "bytes": 5000000000, "sha256": "e"})"));
    EXPECT_EQ(m.version, 3);
    ASSERT_EQ(m.files.size(), 2U);
    EXPECT_EQ(m.files[0].model, "murmlark-ovra/en");
    ASSERT_TRUE(m.files[0].parts);
    EXPECT_EQ(m.files[0].parts->at(1), (EngineManifest::Part{"en.ab", 6, "y"}));
    EXPECT_EQ(m.files[1].bytes, 5000000000);
    EXPECT_FALSE(m.files[1].model);

    const Json encoded = m.encode();
    EXPECT_FALSE(encoded["files"][1].contains("model"));
    EXPECT_FALSE(encoded["files"][1].contains("parts"));
    EXPECT_EQ(decoded(json::dump(encoded)), m);
}

TEST(EngineManifest, RefusesWholeManifestOnAnyBadField) {
    const std::vector<std::string> bad = {
        "not json",
        "[]",
        R"({"files": []})",
        R"({"version": 1.5, "files": []})",
        R"({"version": 1, "files": {}})",
        manifest(R"({"name": "a", "kind": "model", "bytes": 1})"),    // no sha256
        manifest(file(R"(, "parts": [{"name": "p", "bytes": 1}])")),  // part without sha256
        manifest(file(R"(, "model": 7)")),
        manifest(file("", "..")),
        manifest(file("", "")),
        manifest(file("", "sub/en.tar")),
        manifest(file(R"(, "parts": [{"name": "../p", "bytes": 1, "sha256": "x"}])")),
        manifest(file(R"(, "model": "..")")),
        manifest(file(R"(, "model": "")")),
        manifest(R"({"name": "a", "kind": "model", "bytes": -1, "sha256": "x"})"),
        manifest(R"(7)"),
    };
    for (const auto& text : bad)
        EXPECT_FALSE(EngineManifest::decode(text).ok()) << text;
}

TEST(EngineManifest, DownloadsAndLookups) {
    const auto m = decoded(manifest(file("") + "," + file(R"(, "parts": [])", "b")));
    EXPECT_EQ(m.files[0].downloads(),
              (std::vector<EngineManifest::Part>{{"en.tar.gz", 10, kDigest}}));
    EXPECT_TRUE(m.files[1].downloads().empty());

    // Lookups take the first exact match; an empty manifest falls back to the wanted model.
    const auto lookups = decoded(
        manifest(file(R"(, "model": "murmlark-ovra/en")", "first") + "," +
                 file(R"(, "model": "murmlark-ovra/en")", "second") + "," +
                 R"({"name": "e", "kind": "Engine", "bytes": 1, "sha256": "x"},)" +
                 R"({"name": "m", "kind": "Model", "bytes": 1, "sha256": "x", "model": "v/x"},)" +
                 file("", "anonymous")));
    EXPECT_EQ(lookups.model("murmlark-ovra/en")->name, "first");
    EXPECT_EQ(lookups.modelIDs(),
              (std::vector<std::string>{"murmlark-ovra/en", "murmlark-ovra/en"}));
    EXPECT_FALSE(lookups.engine());
    EXPECT_FALSE(lookups.model("v/x"));
    EXPECT_EQ(lookups.usableModel("murmlark-ovra/multi"), "murmlark-ovra/en");
    const auto empty = decoded(manifest(""));
    EXPECT_EQ(empty.usableModel("murmlark-ovra/en"), "murmlark-ovra/en");
    EXPECT_TRUE(empty.toFetch(false, {"murmlark-ovra/en"}, nullptr).empty());
}

TEST(EngineManifest, ToFetchOrdersEngineFirstThenModelsAsAskedOnce) {
    const auto m =
        decoded(manifest(file(R"(, "model": "murmlark-ovra/multi")", "multi") + "," +
                         file(R"(, "model": "murmlark-ovra/en")", "en") + "," +
                         R"({"name": "engine", "kind": "engine", "bytes": 1, "sha256": "x"})"));
    const auto never = [](const std::string&) { return false; };
    const auto names = [](const std::vector<EngineManifest::File>& files) {
        std::vector<std::string> out;
        for (const auto& f : files)
            out.push_back(f.name);
        return out;
    };
    using Names = std::vector<std::string>;
    EXPECT_EQ(names(m.toFetch(false, {"murmlark-ovra/en", "murmlark-ovra/multi"}, never)),
              (Names{"engine", "en", "multi"}));
    EXPECT_EQ(names(m.toFetch(true, {"murmlark-ovra/en", "murmlark-ovra/en", "unknown"}, never)),
              Names{"en"});
    EXPECT_EQ(names(m.toFetch(true, {"murmlark-ovra/en", "murmlark-ovra/multi"},
                              [](const std::string& id) { return id == "murmlark-ovra/en"; })),
              Names{"multi"});
}

}  // namespace
}  // namespace ovra
