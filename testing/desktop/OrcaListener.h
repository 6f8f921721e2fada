#pragma once

// A real Orca in the virtual desktop with speech and braille off, writing what it would speak to
// a debug file, for journeys that check what a screen reader user hears. Orca runs once per
// user: test runs beside each other take turns (OrcaTurn), and one the user runs is waited for.
// Its debug file is written in blocks, so what it said is read once it has stopped.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "testing/Files.h"
#include "testing/desktop/Commands.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra::testing {

// The user's turn to run Orca, held until destroyed: Orca refuses to start while another of the
// user's runs, whatever desktop it reads, so runs of the tests beside each other take turns by a
// lock on a file all of them see. Then one the user runs is waited for.
class OrcaTurn {
  public:
    OrcaTurn() {
        const std::string path = "/tmp/ovra-orca-" + std::to_string(::getuid()) + ".lock";
        fd_ = ::open(path.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
        held_ =
            fd_ >= 0 && eventually([&] { return ::flock(fd_, LOCK_EX | LOCK_NB) == 0; }, 300) &&
            eventually([] { return std::system("pgrep -x -u \"$(id -u)\" orca >/dev/null") != 0; },
                       120);
    }
    ~OrcaTurn() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    OrcaTurn(const OrcaTurn&) = delete;
    OrcaTurn& operator=(const OrcaTurn&) = delete;
    bool held() const { return held_; }

  private:
    int fd_ = -1;
    bool held_ = false;
};

class OrcaListener {
  public:
    explicit OrcaListener(std::filesystem::path folder) : folder_(std::move(folder)) {
        std::filesystem::create_directories(folder_);
        orca_ =
            LaunchedApp::start({"orca", "--disable", "speech", "--disable", "braille", "--disable",
                                "main-window", "--disable", "splash-window", "--user-prefs",
                                folder_.string(), "--debug-file", debugFile().string()});
        // Orca has registered for the bus's events once it has written its first lines.
        started_ = orca_.running() && eventually([&] {
                       return std::filesystem::exists(debugFile()) &&
                              std::filesystem::file_size(debugFile()) > 0;
                   });
    }

    bool started() const { return started_; }

    // Stops Orca and returns everything it would have spoken, a line an utterance.
    std::string stopAndRead() {
        orca_.stop();
        std::string spoken;
        const std::string all = readText(debugFile());
        const std::string mark = "SPEECH OUTPUT: '";
        for (auto at = all.find(mark); at != std::string::npos; at = all.find(mark, at + 1)) {
            const auto start = at + mark.size();
            spoken += all.substr(start, all.find('\n', start) - start) + "\n";
        }
        return spoken;
    }

  private:
    std::filesystem::path debugFile() const { return folder_ / "debug.out"; }

    OrcaTurn turn_;
    std::filesystem::path folder_;
    LaunchedApp orca_;
    bool started_ = false;
};

}  // namespace ovra::testing
