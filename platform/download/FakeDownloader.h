#pragma once

// A downloader for tests: serves the files it was given by address (anything else is a 404)
// and keeps every address it was asked for.

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/download/Downloader.h"

namespace ovra::download {

class FakeDownloader final : public Downloader {
  public:
    Outcome fetch(const std::string& url, const std::filesystem::path& destination, const Options&,
                  const Progress&, const std::atomic<bool>&) override {
        requests.push_back(url);
        const auto it = files.find(url);
        if (it == files.end())
            return {Outcome::Kind::httpStatus, 404, {}, 0};
        std::ifstream in(it->second, std::ios::binary);
        std::ostringstream body;
        body << in.rdbuf();
        std::filesystem::create_directories(destination.parent_path());
        std::ofstream(destination, std::ios::binary) << body.str();
        return {Outcome::Kind::ok, 200, {}, static_cast<std::int64_t>(body.str().size())};
    }

    std::map<std::string, std::filesystem::path> files;  // address → served file
    std::vector<std::string> requests;
};

}  // namespace ovra::download
