#pragma once

// Test support for the installer: a temporary home with data and state folders, a folder that
// serves as a file base, generated model archives and manifests, and a stand-in compile step.

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "app/model/EngineInstaller.h"
#include "platform/archive/tests/ArchiveBuilder.h"
#include "platform/crypto/Sha256.h"

namespace ovra::testing {

namespace fs = std::filesystem;

inline std::string readText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

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

class InstallerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("ovra-install-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
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
    void TearDown() override { fs::remove_all(root_); }

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

    fs::path root_;
    EngineInstaller::Config config_;
    std::optional<std::string> compileError_;
    std::vector<fs::path> compiledFolders_;
    std::unique_ptr<EngineInstaller> installer_;
};

}  // namespace ovra::testing
