#include "app/model/SetupLog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "testing/Files.h"

namespace ovra {
namespace {

namespace fs = std::filesystem;

TEST(SetupLog, TimestampIsIso8601Utc) {
    EXPECT_EQ(SetupLog::timestamp(std::chrono::system_clock::from_time_t(1796492453)),
              "2026-12-05T17:40:53Z");
}

TEST(SetupLog, AppendsOneLinePerEventCreatingTheFolder) {
    const testing::ScratchFolder dir("log");
    const SetupLog log(dir / "MurmlarkOvra" / "setup.log");
    log.write("first");
    log.write("two\nlines");
    std::vector<std::thread> writers;
    for (int i = 0; i < 4; ++i) {
        writers.emplace_back([&log] {
            for (int j = 0; j < 50; ++j)
                log.write("concurrent");
        });
    }
    for (auto& t : writers)
        t.join();

    std::ifstream in(log.file());
    std::string line;
    std::vector<std::string> lines;
    while (std::getline(in, line))
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 202U);
    const std::regex shape(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ (first|two lines|concurrent))");
    for (const auto& l : lines)
        EXPECT_TRUE(std::regex_match(l, shape)) << l;
}

}  // namespace
}  // namespace ovra
