#pragma once

// Files as tests use them: a folder of a test's own, and whole files read and written.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

namespace ovra::testing {

// A new folder under /tmp whose name no other run shares (short: sockets are made in some),
// removed with all it holds.
class ScratchFolder {
  public:
    explicit ScratchFolder(const std::string& name) {
        std::string pattern = "/tmp/ovra-" + name + ".XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& child) const {
        return path_ / child;
    }
    std::string string() const { return path_.string(); }

  private:
    std::filesystem::path path_;
};

// The whole file, or "" when it cannot be read.
inline std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Writes the whole file, making its folder first.
inline void writeText(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

}  // namespace ovra::testing
