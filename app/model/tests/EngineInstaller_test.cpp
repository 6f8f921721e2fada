// The installer over a temporary home: a folder and a loopback HTTP server serve generated
// model archives and manifests, and a stand-in compile step plays the model runtime.

#include "app/model/EngineInstaller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <future>
#include <sstream>

#include "platform/crypto/Sha256.h"
#include "testing/ArchiveBuilder.h"
#include "testing/Files.h"
#include "testing/LoopbackServer.h"

namespace ovra::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using Kind = EngineInstaller::Stage::Kind;

const std::string kEn = "murmlark-ovra/en";
const std::string kMulti = "murmlark-ovra/multi";

inline std::string sha256(const std::string& data) {
    crypto::Sha256 h;
    h.update(data.data(), data.size());
    return h.hexDigest();
}

// The entries of a well-formed model archive for a model folder name.
inline std::vector<TarEntry> modelEntries(const std::string& folderName,
                                          const std::string& weights = "weights") {
    return {folder(folderName + "/"), folder(folderName + "/OvraClassifier.mlpackage/"),
            file(folderName + "/OvraClassifier.mlpackage/model.pt", weights),
            file(folderName + "/tokenizer.json", R"({"model": {}})")};
}

class Installer : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(served());
        config_.manifestFile = root_ / "resources" / "engine-manifest.json";
        config_.supportFolder = root_ / "data" / "Murmlark Ovra";
        config_.logFile = root_ / "state" / "MurmlarkOvra" / "setup.log";
        config_.bases = {fileBase()};
        config_.downloader = download::makeDownloader();
        config_.downloadOptions.stallTimeout = std::chrono::milliseconds(200);
        config_.downloadOptions.connectTimeout = std::chrono::milliseconds(2000);
        config_.availableSpace = [](const fs::path&) { return std::nullopt; };
        // Stands in for the model runtime: the package becomes the compiled model.
        config_.compile = [this](const fs::path& folder) -> std::optional<std::string> {
            compiledFolders_.push_back(folder);
            if (compileError_)
                return compileError_;
            std::error_code ec;
            fs::rename(folder / "OvraClassifier.mlpackage", folder / "OvraClassifier.mlmodelc", ec);
            if (ec)
                return "FileError: " + ec.message();
            return std::nullopt;
        };
    }

    fs::path served() const { return root_ / "served"; }
    std::string fileBase() const { return "file://" + served().string(); }
    fs::path modelFolder(const std::string& name = "murmlark-ovra--en") const {
        return config_.supportFolder / "models" / name;
    }

    // Writes an archive into the served folder, split into `parts` parts, and returns its file
    // entry for the manifest.
    Json serve(const std::string& fileName, const std::string& modelID,
               const std::vector<TarEntry>& entries, int parts = 1) {
        const fs::path archive = root_ / "build.tmp";
        writeTar(archive, entries, fileName.ends_with(".gz"));
        const std::string data = readText(archive);
        Json f{{"name", fileName},
               {"kind", "model"},
               {"bytes", static_cast<std::int64_t>(data.size())},
               {"sha256", sha256(data)},
               {"model", modelID}};
        if (parts == 1) {
            std::ofstream(served() / fileName, std::ios::binary) << data;
            return f;
        }
        Json list = Json::array();
        const std::size_t step = data.size() / static_cast<std::size_t>(parts) + 1;
        for (int i = 0; i < parts; ++i) {
            const std::string chunk =
                data.substr(std::min(data.size(), step * static_cast<std::size_t>(i)), step);
            const std::string name = fileName + ".part" + std::to_string(i);
            std::ofstream(served() / name, std::ios::binary) << chunk;
            list.push_back(Json{{"name", name},
                                {"bytes", static_cast<std::int64_t>(chunk.size())},
                                {"sha256", sha256(chunk)}});
        }
        f["parts"] = list;
        return f;
    }

    void writeManifest(const std::vector<Json>& files) {
        Json root{{"version", 1}, {"files", Json::array()}};
        for (const auto& f : files)
            root["files"].push_back(f);
        fs::create_directories(config_.manifestFile.parent_path());
        std::ofstream(config_.manifestFile) << json::dump(root, 2);
    }

    std::string logText() const { return readText(config_.logFile); }

    EngineInstaller& installer() {
        if (!installer_)
            installer_ = std::make_unique<EngineInstaller>(config_);
        return *installer_;
    }

    // Serves every part of the entry under /ovra/ of the loopback server and points the
    // installer there.
    void publish(const Json& entry) {
        writeManifest({entry});
        for (const auto& p : entry.contains("parts") ? entry["parts"] : Json::array({entry})) {
            const std::string name = p["name"];
            server_.route("/ovra/" + name, Reply{200, readText(served() / name)});
        }
        config_.bases = {server_.base() + "/ovra"};
    }

    ScratchFolder scratch_{"install"};
    const fs::path root_ = scratch_.path();
    LoopbackServer server_;
    EngineInstaller::Config config_;
    std::optional<std::string> compileError_;
    std::vector<fs::path> compiledFolders_;
    std::unique_ptr<EngineInstaller> installer_;
};

TEST_F(Installer, InstallsInPartsOverHttpAndPublishesEachStep) {
    publish(serve("en.tar.gz", kEn, modelEntries("murmlark-ovra--en"), 3));
    std::vector<EngineInstaller::Stage> stages;
    std::vector<double> fractions;
    installer().stage.subscribe([&](const auto& s) { stages.push_back(s); });
    installer().progress.subscribe([&](double p) { fractions.push_back(p); });

    ASSERT_TRUE(installer().install({kEn})) << logText();

    EXPECT_TRUE(installer().modelInstalled(kEn));
    EXPECT_TRUE(fs::is_directory(modelFolder() / "OvraClassifier.mlmodelc"));
    EXPECT_EQ(readText(modelFolder() / "tokenizer.json"), R"({"model": {}})");
    EXPECT_FALSE(fs::exists(config_.supportFolder / "incoming"));
    EXPECT_THAT(logText(), HasSubstr(" installed en.tar.gz\n"));
    EXPECT_EQ(installer().stage.get(), EngineInstaller::Stage::done());
    EXPECT_EQ(installer().progress.get(), 1.0);

    std::vector<std::string> steps;
    for (const auto& s : stages) {
        if (s.kind == Kind::working)
            steps.push_back(s.text);
    }
    EXPECT_THAT(steps,
                ElementsAre(HasSubstr("Downloading Murmlark Large, English (one time, about 0 MB)"),
                            "Checking Murmlark Large, English", "Unpacking Murmlark Large, English",
                            "Preparing Murmlark Large, English for this computer"));
    ASSERT_FALSE(fractions.empty());
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    EXPECT_LE(fractions.back(), 1.0);
}

TEST_F(Installer, NothingToFetchIsDoneWithoutTouchingAnything) {
    writeManifest({serve("en.tar", kEn, modelEntries("murmlark-ovra--en"))});
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
    Json good() { return serve("en.tar", kEn, modelEntries("murmlark-ovra--en")); }
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
    Json entry = serve("en.tar", kEn, modelEntries("murmlark-ovra--en"), 2);
    entry["parts"][1]["sha256"] = std::string(64, 'f');
    writeManifest({entry});
    failsWith(damaged, "checksum mismatch for en.tar.part1");
    // Uppercase digests never match the computed lowercase one.
    entry = good();
    for (auto& c : entry["sha256"].get_ref<std::string&>())
        c = static_cast<char>(std::toupper(c));
    writeManifest({entry});
    failsWith(damaged, "checksum mismatch for en.tar\n");

    // Free space for two and a half times the download, asked of the data folder.
    const Json fine = good();
    const auto needed = static_cast<std::uint64_t>(fine["bytes"].get<std::int64_t>()) * 5 / 2;
    fs::path asked;
    const auto freeSpace = [&](std::uint64_t bytes) {
        return [&asked, bytes](const fs::path& p) {
            asked = p;
            return std::optional<std::uint64_t>(bytes);
        };
    };
    writeManifest({fine});
    config_.availableSpace = freeSpace(needed - 1);
    failsWith("Ovra needs about 0.0 GB of free space",
              "not enough space: " + std::to_string(needed - 1) + " free, " +
                  std::to_string(needed) + " needed");
    EXPECT_EQ(asked, root_ / "data");
    // No base serves it: each is named. Broken replies fail as the downloader tells them.
    config_.bases = {"file://" + (root_ / "a").string(), "file://" + (root_ / "b").string()};
    failsWith("Ovra could not download Murmlark Large, English.",
              "download failed for en.tar from file://" + (root_ / "a").string() + ", file://" +
                  (root_ / "b").string());
    const std::string body = testing::readText(served() / "en.tar");
    for (const auto& [reply, logged] :
         {std::pair{Reply{503, "busy"}, std::string("HTTP 503")},
          std::pair{Reply{200, body.substr(0, 100), "", static_cast<long long>(body.size())},
                    std::string("network error")}}) {
        publish(fine);
        server_.route("/ovra/en.tar", reply);
        failsWith("Ovra could not download",
                  "download error from " + server_.base() + "/ovra: " + logged);
    }

    // Which entries are unsafe is the extractor's business; here each kind of refusal keeps the
    // old folder and compiles nothing. 300 MB of zeros packs into a few hundred KB: far more
    // than the archive's size allows.
    std::vector<TarEntry> many = modelEntries("murmlark-ovra--en");
    for (int i = 0; i < 5; ++i)
        many.push_back(file("murmlark-ovra--en/f" + std::to_string(i), ""));
    for (const auto& [entries, logged] : std::vector<std::pair<std::vector<TarEntry>, std::string>>{
             {{folder("murmlark-ovra--en/"), file("murmlark-ovra--en/../../../evil", "x")},
              "unsafe entry"},
             {{{"murmlark-ovra--en", TarEntry::Type::symlink, "/etc"}}, "unsafe entry"},
             {many, "too many entries"},
             {{folder("murmlark-ovra--en/"),
               file("murmlark-ovra--en/zeros", std::string(300U << 20U, '\0'))},
              "unpacks too large"}}) {
        writeManifest({serve("en.tar.gz", kEn, entries)});
        config_.maxArchiveEntries = 5;
        failsWith("refused to unpack", "unsafe archive en.tar.gz: " + logged);
    }
    EXPECT_FALSE(fs::exists(root_ / "evil"));
    EXPECT_TRUE(compiledFolders_.empty());

    const std::string unfinished = "Ovra could not finish installing Murmlark Large, English.";
    writeManifest({serve("en.tar", kEn, modelEntries("some-other-folder"))});
    failsWith(unfinished, "move failed: en.tar holds no folder murmlark-ovra--en");
    writeManifest({serve("en.tar", kEn, {file("murmlark-ovra--en", "a file, not a folder")})});
    failsWith(unfinished, "move failed");
    auto entries = modelEntries("murmlark-ovra--en");
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

    // Once it installs (the free space just enough), the new folder replaces the old one whole.
    writeManifest({fine});
    config_.availableSpace = freeSpace(needed);
    EXPECT_TRUE(installer().install({kEn})) << logText();
    EXPECT_FALSE(fs::exists(modelFolder() / "old-marker"));
}

TEST_F(Installer, TriesEveryBaseInOrder) {
    writeManifest({serve("en.tar", kEn, modelEntries("murmlark-ovra--en"))});
    config_.bases = {"file://" + (root_ / "empty").string(), "no-scheme:/x",
                     server_.base() + "/nothing", fileBase() + "/"};
    // The last base ends in "/" and so asks for "served//en.tar", which a file path allows.
    EXPECT_TRUE(installer().install({kEn})) << logText();
    EXPECT_THAT(logText(),
                HasSubstr("download error from " + server_.base() + "/nothing: HTTP 404"));
}

TEST_F(Installer, SecondModelFailureKeepsTheFirstInstalled) {
    writeManifest({serve("en.tar", kEn, modelEntries("murmlark-ovra--en")),
                   serve("multi.tar", kMulti, modelEntries("wrong-folder"))});
    EXPECT_FALSE(installer().install({kEn, kMulti}));
    EXPECT_TRUE(installer().modelInstalled(kEn));
    EXPECT_FALSE(installer().modelInstalled(kMulti));
    EXPECT_THAT(installer().stage.get().text, HasSubstr("Murmlark Multilingual"));
}

TEST_F(Installer, OddButSafeDownloadsInstall) {
    // Archive entries named like the download, and a part named like the whole file.
    auto entries = modelEntries("murmlark-ovra--en");
    entries.push_back(file("en.tar", "not the archive"));
    entries.push_back(file("download/en.tar", "not the archive"));
    writeManifest({serve("en.tar", kEn, entries)});
    EXPECT_TRUE(installer().install({kEn})) << logText();

    fs::remove_all(modelFolder());
    Json entry = serve("en.tar", kEn, modelEntries("murmlark-ovra--en"), 2);
    fs::rename(served() / "en.tar.part0", served() / "en");
    entry["parts"][0]["name"] = "en";
    entry["name"] = "en.download";
    writeManifest({entry});
    EXPECT_TRUE(installer().install({kEn})) << logText();
}

TEST_F(Installer, FinishedMayStartTheNextInstall) {
    writeManifest({serve("en.tar", kEn, modelEntries("murmlark-ovra--en")),
                   serve("multi.tar", kMulti, modelEntries("murmlark-ovra--multi"))});
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

TEST_F(Installer, RunsOnAWorkerThreadRefusesASecondCallAndCancels) {
    const Json entry = serve("en.tar", kEn, modelEntries("murmlark-ovra--en"));
    publish(entry);
    config_.downloadOptions.stallTimeout = std::chrono::seconds(60);
    server_.route("/ovra/en.tar", Reply{200, readText(served() / "en.tar"), "", -1, 10});

    std::promise<bool> result;
    std::promise<void> downloading;
    bool signalled = false;
    installer().progress.subscribe([&](double) {
        if (!std::exchange(signalled, true))
            downloading.set_value();
    });
    ASSERT_TRUE(installer().start({kEn}, [&](bool ok) { result.set_value(ok); }));
    downloading.get_future().wait();

    const auto stage = installer().stage.get();
    EXPECT_EQ(stage.kind, EngineInstaller::Stage::Kind::working);
    EXPECT_FALSE(installer().install({kEn}));
    EXPECT_FALSE(installer().start({kEn}, nullptr));
    EXPECT_EQ(installer().stage.get(), stage);

    installer().cancel();
    EXPECT_FALSE(result.get_future().get());
    EXPECT_EQ(installer().stage.get().text, "Installing Murmlark Large, English was cancelled.");
    EXPECT_THAT(logText(), HasSubstr("install of Murmlark Large, English cancelled"));
    EXPECT_FALSE(fs::exists(config_.supportFolder / "incoming"));
    EXPECT_FALSE(installer().isRunning());

    // The next install starts afresh.
    server_.route("/ovra/en.tar", Reply{200, readText(served() / "en.tar")});
    EXPECT_TRUE(installer().install({kEn})) << logText();
}

}  // namespace
}  // namespace ovra::testing
