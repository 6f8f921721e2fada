#pragma once

// A program the test talks to by lines: its standard input is a named pipe that it holds open
// itself (so it never reads an end), its standard output and error go to a file; both in a
// folder of the test's. It ends with its process group, as a LaunchedApp does.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "testing/desktop/Commands.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra::testing {

class PipedProgram {
  public:
    PipedProgram(const std::vector<std::string>& argv, std::filesystem::path folder)
        : folder_(std::move(folder)) {
        std::filesystem::create_directories(folder_);
        EXPECT_EQ(mkfifo((folder_ / "in").c_str(), 0600), 0);
        std::vector<std::string> shell{"sh", "-c", "exec \"$@\" <>\"$0\" >\"$0.out\" 2>&1",
                                       (folder_ / "in").string()};
        shell.insert(shell.end(), argv.begin(), argv.end());
        app_ = LaunchedApp::start(std::move(shell));
    }

    LaunchedApp& app() { return app_; }
    pid_t pid() const { return app_.pid(); }

    // Without blocking: a program that has ended must not hang the test.
    void send(const std::string& line) {
        const int fd = ::open((folder_ / "in").c_str(), O_WRONLY | O_NONBLOCK);
        ASSERT_GE(fd, 0) << "nothing reads the pipe any more";
        const std::string text = line + "\n";
        EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        ::close(fd);
    }

    std::string output() const { return readText(folder_ / "in.out"); }

    // The `skip`+1st line of its output holding `text`, waiting up to `seconds`; "" when none
    // came.
    std::string line(const std::string& text, int skip = 0, double seconds = 30) const {
        std::string found;
        eventually(
            [&] {
                std::ifstream in(folder_ / "in.out");
                int seen = 0;
                for (std::string l; std::getline(in, l) && found.empty();) {
                    found = l.find(text) != std::string::npos && seen++ == skip ? l : "";
                }
                return !found.empty();
            },
            seconds);
        return found;
    }
    bool said(const std::string& text, double seconds = 30) const {
        return !line(text, 0, seconds).empty();
    }

  private:
    std::filesystem::path folder_;
    LaunchedApp app_;
};

}  // namespace ovra::testing
