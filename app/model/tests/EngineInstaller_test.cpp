#include "app/model/EngineInstaller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>

#include "app/model/tests/InstallerFixture.h"

namespace ovra {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using Kind = EngineInstaller::Stage::Kind;
using testing::file;
using testing::TarEntry;

const std::string kEn = "murmlark-ovra/en";
const std::string kMulti = "murmlark-ovra/multi";

class Installer : public testing::InstallerTest {};

TEST_F(Installer, InstallsFromAFileBaseInPartsAndPublishesEachStep) {
    writeManifest({serve("en.tar.gz", kEn, testing::modelEntries("murmlark-ovra--en"), 3)});
    std::vector<EngineInstaller::Stage> stages;
    std::vector<double> fractions;
    installer().stage.subscribe([&](const auto& s) { stages.push_back(s); });
    installer().progress.subscribe([&](double p) { fractions.push_back(p); });

    ASSERT_TRUE(installer().install({kEn})) << logText();

    EXPECT_TRUE(installer().modelInstalled(kEn));
    EXPECT_TRUE(fs::is_directory(modelFolder() / "OvraClassifier.mlmodelc"));
    EXPECT_EQ(testing::readText(modelFolder() / "tokenizer.json"), R"({"model": {}})");
    EXPECT_FALSE(fs::exists(config_.supportFolder / "incoming"));
    EXPECT_THAT(logText(), HasSubstr(" installed en.tar.gz\n"));
    EXPECT_EQ(installer().stage.get(), EngineInstaller::Stage::done());
    EXPECT_EQ(installer().progress.get(), 1.0);

    std::vector<std::string> steps;
    for (const auto& s : stages) {
        if (s.kind == Kind::working)
            steps.push_back(s.text);
    }
    EXPECT_THAT(steps, ::testing::ElementsAre(
                           HasSubstr("Downloading Murmlark Large, English (one time, about 0 MB)"),
                           "Checking Murmlark Large, English", "Unpacking Murmlark Large, English",
                           "Preparing Murmlark Large, English for this computer"));
    ASSERT_FALSE(fractions.empty());
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    EXPECT_LE(fractions.back(), 1.0);
}

TEST_F(Installer, NothingToFetchIsDoneWithoutTouchingAnything) {
    writeManifest({serve("en.tar", kEn, testing::modelEntries("murmlark-ovra--en"))});
    ASSERT_TRUE(installer().install({kEn}));
    fs::remove_all(config_.supportFolder / "incoming");
    installer().progress.set(0.25);
    config_.availableSpace = [](const fs::path&) { return std::uint64_t{0}; };

    EXPECT_TRUE(installer().install({kEn}));
    EXPECT_EQ(installer().stage.get(), EngineInstaller::Stage::done());
    EXPECT_EQ(installer().progress.get(), 0.25);
    EXPECT_FALSE(fs::exists(config_.supportFolder / "incoming"));
}

// A downloader that leaves a folder where the part file should be: the bytes arrive but cannot
// be read back, which is a storage fault, not a damaged download.
class FolderDownloader final : public download::Downloader {
  public:
    download::Outcome fetch(const std::string&, const fs::path& destination,
                            const download::Options&, const download::Progress&,
                            const std::atomic<bool>&) override {
        fs::create_directories(destination);
        return {};
    }
};

class FailingInstall : public Installer {
  protected:
    void SetUp() override {
        Installer::SetUp();
        original_ = config_;
        keepOldFolder();
    }
    // An earlier, unfinished model that a good install would replace.
    void keepOldFolder() {
        fs::create_directories(modelFolder() / "OvraClassifier.mlmodelc");
        std::ofstream(modelFolder() / "old-marker") << "old";
    }
    Json good() { return serve("en.tar", kEn, testing::modelEntries("murmlark-ovra--en")); }
    // Installs, expects a failure said and logged as given (a damaged download only when it was
    // one) that leaves the old folder, then starts the next case afresh.
    void failsWith(const std::string& said, const std::string& logged,
                   const std::vector<std::string>& models = {kEn}) {
        EXPECT_FALSE(installer().install(models));
        EXPECT_EQ(installer().stage.get().kind, Kind::failed);
        EXPECT_THAT(installer().stage.get().text, HasSubstr(said));
        EXPECT_THAT(logText(), HasSubstr(logged));
        if (logged.find("checksum") == std::string::npos) {
            EXPECT_THAT(logText(), Not(HasSubstr("checksum mismatch")));
        }
        EXPECT_FALSE(installer().modelInstalled(kEn));
        EXPECT_TRUE(fs::exists(modelFolder() / "old-marker"));
        EXPECT_FALSE(fs::exists(config_.supportFolder / "incoming"));
        installer_.reset();
        config_ = original_;
        compileError_.reset();
        fs::remove(config_.logFile);
    }
    EngineInstaller::Config original_;
};

TEST_F(FailingInstall, EveryFailureIsSaidAndLoggedAsWhatItIsAndKeepsTheOldFolder) {
    failsWith("This copy of Ovra is missing its download list. Please reinstall Ovra.",
              "no engine-manifest.json in the app");
    fs::create_directories(config_.manifestFile.parent_path());
    std::ofstream(config_.manifestFile) << R"({"version": 1, "files": [{"name": "../x"}]})";
    failsWith("Please reinstall Ovra.", "engine-manifest.json does not decode");
    writeManifest({good()});
    failsWith("Murmlark Multilingual", "no download for murmlark-ovra/multi", {kEn, kMulti});

    const std::string damaged =
        "The download of Murmlark Large, English was damaged. Please try again.";
    Json entry = serve("en.tar", kEn, testing::modelEntries("murmlark-ovra--en"), 2);
    entry["parts"][1]["sha256"] = std::string(64, 'f');
    writeManifest({entry});
    failsWith(damaged, "checksum mismatch for en.tar.part1");
    // Uppercase digests never match the computed lowercase one.
    entry = good();
    for (auto& c : entry["sha256"].get_ref<std::string&>())
        c = static_cast<char>(std::toupper(c));
    writeManifest({entry});
    failsWith(damaged, "checksum mismatch for en.tar\n");

    const std::string unfinished = "Ovra could not finish installing Murmlark Large, English.";
    writeManifest({serve("en.tar", kEn, testing::modelEntries("some-other-folder"))});
    failsWith(unfinished, "move failed: en.tar holds no folder murmlark-ovra--en");
    writeManifest({serve("en.tar", kEn, {file("murmlark-ovra--en", "a file, not a folder")})});
    failsWith(unfinished, "move failed");
    auto entries = testing::modelEntries("murmlark-ovra--en");
    entries.pop_back();  // no tokenizer.json
    writeManifest({serve("en.tar", kEn, entries)});
    failsWith("will not load", "en.tar has no tokenizer.json");

    writeManifest({good()});
    config_.compile = nullptr;
    failsWith("will not load", "no model runtime is available");
    compileError_ = "TorchError: bad graph";
    failsWith("The on-device model was downloaded but will not load. Details are in " +
                  config_.logFile.string() + ".",
              "model will not compile or load: TorchError: bad graph");
    config_.downloader = std::make_shared<FolderDownloader>();
    failsWith("Ovra could not save", "read failed for en.tar");

    // Once it installs, the new folder replaces the old one whole.
    EXPECT_TRUE(installer().install({kEn})) << logText();
    EXPECT_FALSE(fs::exists(modelFolder() / "old-marker"));
}

TEST_F(Installer, FreeSpaceMustCoverTwoAndAHalfTimesTheDownload) {
    const Json entry = serve("en.tar", kEn, testing::modelEntries("murmlark-ovra--en"));
    writeManifest({entry});
    const auto needed = static_cast<std::uint64_t>(entry["bytes"].get<std::int64_t>()) * 5 / 2;
    fs::path asked;
    config_.availableSpace = [&](const fs::path& p) {
        asked = p;
        return std::optional<std::uint64_t>(needed - 1);
    };
    EXPECT_FALSE(installer().install({kEn}));
    EXPECT_EQ(asked, root_ / "data");
    EXPECT_THAT(installer().stage.get().text, HasSubstr("Ovra needs about 0.0 GB of free space"));
    EXPECT_THAT(logText(), HasSubstr("not enough space: " + std::to_string(needed - 1) + " free, " +
                                     std::to_string(needed) + " needed"));

    installer_.reset();
    config_.availableSpace = [&](const fs::path&) { return std::optional<std::uint64_t>(needed); };
    EXPECT_TRUE(installer().install({kEn})) << logText();
}

TEST_F(Installer, TriesEveryBaseInOrderAndNamesThemAllWhenNoneServes) {
    writeManifest({serve("en.tar", kEn, testing::modelEntries("murmlark-ovra--en"))});
    config_.bases = {"file://" + (root_ / "empty").string(), "no-scheme:/x", fileBase() + "/"};
    // The last base ends in "/" and so asks for "served//en.tar", which a file path allows.
    EXPECT_TRUE(installer().install({kEn})) << logText();

    installer_.reset();
    fs::remove_all(modelFolder());
    config_.bases = {"file://" + (root_ / "a").string(), "file://" + (root_ / "b").string()};
    EXPECT_FALSE(installer().install({kEn}));
    EXPECT_THAT(installer().stage.get().text,
                HasSubstr("Ovra could not download Murmlark Large, English."));
    EXPECT_THAT(logText(),
                HasSubstr("download failed for en.tar from file://" + (root_ / "a").string() +
                          ", file://" + (root_ / "b").string()));
}

TEST_F(Installer, HostileArchivesAreRefusedAndNothingLeavesTheScratchFolder) {
    const std::vector<std::vector<TarEntry>> hostile = {
        {testing::folder("murmlark-ovra--en/"), file("murmlark-ovra--en/../../../evil", "x")},
        {file("/tmp/ovra-evil-absolute", "x")},
        {testing::folder("murmlark-ovra--en/"),
         {"murmlark-ovra--en/tokenizer.json", TarEntry::Type::symlink, "/etc/passwd"}},
        {{"murmlark-ovra--en", TarEntry::Type::symlink, "/etc"}},
        {{"murmlark-ovra--en/x", TarEntry::Type::hardlink, "/etc/passwd"}},
        {{"murmlark-ovra--en/p", TarEntry::Type::fifo, ""}},
    };
    // An unfinished earlier model that a good install would replace.
    fs::create_directories(modelFolder());
    std::ofstream(modelFolder() / "old-marker") << "old";
    for (std::size_t i = 0; i < hostile.size(); ++i) {
        writeManifest({serve("en.tar.gz", kEn, hostile[i])});
        EXPECT_FALSE(installer().install({kEn})) << i;
        EXPECT_THAT(installer().stage.get().text, HasSubstr("refused to unpack")) << i;
        EXPECT_TRUE(fs::is_directory(fs::symlink_status(modelFolder()))) << i;
        EXPECT_TRUE(fs::exists(modelFolder() / "old-marker")) << i;
    }
    EXPECT_THAT(logText(), HasSubstr("unsafe archive en.tar.gz: unsafe entry"));
    EXPECT_FALSE(fs::exists(root_ / "evil"));
    EXPECT_FALSE(fs::exists("/tmp/ovra-evil-absolute"));
    EXPECT_TRUE(compiledFolders_.empty());
}

TEST_F(Installer, ADecompressionBombIsRefused) {
    config_.maxArchiveEntries = 5;
    std::vector<TarEntry> many = testing::modelEntries("murmlark-ovra--en");
    for (int i = 0; i < 5; ++i)
        many.push_back(file("murmlark-ovra--en/f" + std::to_string(i), ""));
    writeManifest({serve("en.tar.gz", kEn, many)});
    EXPECT_FALSE(installer().install({kEn}));
    EXPECT_THAT(logText(), HasSubstr("unsafe archive en.tar.gz: too many entries"));

    // 300 MB of zeros packs into a few hundred KB: far more than the archive's size allows.
    TarEntry huge = file("murmlark-ovra--en/zeros", std::string(300U << 20U, '\0'));
    writeManifest({serve("en.tar.gz", kEn, {testing::folder("murmlark-ovra--en/"), huge})});
    EXPECT_FALSE(installer().install({kEn}));
    EXPECT_THAT(logText(), HasSubstr("unsafe archive en.tar.gz: unpacks too large"));
}

TEST_F(Installer, SecondModelFailureKeepsTheFirstInstalled) {
    writeManifest({serve("en.tar", kEn, testing::modelEntries("murmlark-ovra--en")),
                   serve("multi.tar", kMulti, testing::modelEntries("wrong-folder"))});
    EXPECT_FALSE(installer().install({kEn, kMulti}));
    EXPECT_TRUE(installer().modelInstalled(kEn));
    EXPECT_FALSE(installer().modelInstalled(kMulti));
    EXPECT_THAT(installer().stage.get().text, HasSubstr("Murmlark Multilingual"));
}

TEST_F(Installer, OddButSafeDownloadsInstall) {
    // Archive entries named like the download, and a part named like the whole file.
    auto entries = testing::modelEntries("murmlark-ovra--en");
    entries.push_back(file("en.tar", "not the archive"));
    entries.push_back(file("download/en.tar", "not the archive"));
    writeManifest({serve("en.tar", kEn, entries)});
    EXPECT_TRUE(installer().install({kEn})) << logText();

    fs::remove_all(modelFolder());
    Json entry = serve("en.tar", kEn, testing::modelEntries("murmlark-ovra--en"), 2);
    fs::rename(served() / "en.tar.part0", served() / "en");
    entry["parts"][0]["name"] = "en";
    entry["name"] = "en.download";
    writeManifest({entry});
    EXPECT_TRUE(installer().install({kEn})) << logText();
}

TEST_F(Installer, FinishedMayStartTheNextInstall) {
    writeManifest({serve("en.tar", kEn, testing::modelEntries("murmlark-ovra--en")),
                   serve("multi.tar", kMulti, testing::modelEntries("murmlark-ovra--multi"))});
    std::promise<std::pair<bool, bool>> results;
    ASSERT_TRUE(installer().start({kEn}, [&](bool first) {
        EXPECT_TRUE(installer().start({kMulti}, [&results, first](bool second) {
            results.set_value({first, second});
        }));
    }));
    EXPECT_EQ(results.get_future().get(), std::make_pair(true, true)) << logText();
    EXPECT_TRUE(installer().modelInstalled(kMulti));
}

TEST(InstallerBases, EnvironmentThenSettingThenBuiltIn) {
    const auto env = [](const char* name) -> std::optional<std::string> {
        if (std::string(name) == "OVRA_ENGINE_BASE_URL")
            return std::string();
        return std::nullopt;
    };
    const auto none = [](const char*) -> std::optional<std::string> { return std::nullopt; };
    EXPECT_EQ(EngineInstaller::bases(env, "https://mirror/ovra"),
              (std::vector<std::string>{"", "https://mirror/ovra", EngineInstaller::kBuiltInBase}));
    EXPECT_EQ(EngineInstaller::bases(none, std::nullopt),
              std::vector<std::string>{EngineInstaller::kBuiltInBase});
}

}  // namespace
}  // namespace ovra
