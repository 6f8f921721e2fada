// The settings file: loading without writing, coalesced atomic writes, corrupt files set aside,
// and a file that survives the writer being killed at any moment.

#include "platform/defaults/JsonFileDefaults.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "platform/defaults/DefaultsDates.h"
#include "platform/scheduler/ManualScheduler.h"
#include "testing/Files.h"

namespace ovra {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class JsonFileDefaultsTest : public ::testing::Test {
  protected:
    std::unique_ptr<JsonFileDefaults> open() {
        return std::make_unique<JsonFileDefaults>(
            file_, scheduler_, [this](const std::string& line) { reports_.push_back(line); });
    }
    void store(const std::string& text) { testing::writeText(file_, text); }
    std::string stored() const { return testing::readText(file_); }
    std::vector<fs::path> setAside() const {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(file_.parent_path())) {
            if (entry.path().filename().string().find(".corrupt-") != std::string::npos) {
                found.push_back(entry.path());
            }
        }
        return found;
    }

    testing::ScratchFolder scratch_{"defaults"};
    const fs::path root_ = scratch_.path();
    const fs::path file_ = root_ / "murmlark-ovra" / "ai.qeld.murmlark-ovra.json";
    ManualScheduler scheduler_;
    std::vector<std::string> reports_;
};

TEST_F(JsonFileDefaultsTest, LoadingNeverWritesAndChangesInOneTurnMakeOneWrite) {
    {
        auto defaults = open();
        EXPECT_EQ(defaults->object("theme"), std::nullopt);
    }
    EXPECT_FALSE(fs::exists(file_.parent_path())) << "a missing file stays missing";

    store(R"({"theme": "cyan", "other": [1, 2]})");
    const auto before = fs::last_write_time(file_);
    {
        auto defaults = open();
        EXPECT_EQ(defaults->object("theme"), Json("cyan"));
        scheduler_.runDue();
        EXPECT_EQ(defaults->fileWrites(), 0u);
    }
    EXPECT_EQ(fs::last_write_time(file_), before);

    auto defaults = open();
    defaults->set("theme", "white");
    defaults->set("depth", 9);
    defaults->remove("other");
    defaults->remove("never there");
    EXPECT_EQ(stored(), R"({"theme": "cyan", "other": [1, 2]})") << "nothing before the turn ends";
    scheduler_.runDue();
    EXPECT_EQ(defaults->fileWrites(), 1u);
    EXPECT_EQ(json::parse(stored()).value(), Json::parse(R"({"theme": "white", "depth": 9})"));
    EXPECT_EQ(fs::status(file_).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(reports_.empty());

    // Flushing writes at once and leaves nothing for the next turn; a second flush has no work.
    defaults->set("depth", 10);
    EXPECT_TRUE(defaults->flush());
    EXPECT_TRUE(defaults->flush());
    scheduler_.runDue();
    EXPECT_EQ(defaults->fileWrites(), 2u);
    EXPECT_EQ(scheduler_.pending(), 0u);

    // What is pending when the domain goes away is written.
    defaults->set("depth", 11);
    defaults.reset();
    EXPECT_EQ(json::parse(stored()).value()["depth"], 11);
}

// Held changes, also one made just before, reach the file neither on the next turn, nor by a
// flush, nor when the domain goes; a release writes them, a freeze drops them for good.
TEST_F(JsonFileDefaultsTest, HeldChangesWaitForTheReleaseAndAFreezeDropsThem) {
    for (const std::string end : {"released", "frozen", "gone"}) {
        store(R"({"theme": "cyan"})");
        auto defaults = open();
        defaults->set("depth", 1);
        defaults->holdWrites();
        defaults->set("theme", "white");
        scheduler_.runDue();
        EXPECT_FALSE(defaults->flush());
        if (end == "frozen") {
            defaults->freeze();
        }
        if (end != "gone") {
            defaults->releaseWrites();
            scheduler_.runDue();
        }
        defaults.reset();
        EXPECT_EQ(json::parse(stored()).value()["theme"], end == "released" ? "white" : "cyan")
            << end;
    }
}

TEST_F(JsonFileDefaultsTest, AnUnusableFileIsSetAsideOnceAndAFreshOneWritten) {
    const std::string oversized =
        R"({"pad": ")" + std::string(DefaultsFiles::kMaxBytes, 'x') + "\"}";
    std::string overflowing = "{";
    for (int i = 0; i <= 64; ++i)
        overflowing += "\"k" + std::to_string(i) + "\": 1e999,";
    overflowing.back() = '}';
    const std::pair<std::string, std::string> rows[] = {
        {"{\n  \"theme\": \"cyan\",\n  theme: 1\n}", "(it is not valid JSON at line 3)"},
        {"{\"theme\": ", "(it is not valid JSON at line 1)"},
        {"[1, 2]", "(it does not hold a JSON object)"},
        {oversized, "(it is larger than 1 MiB)"},
        {overflowing, "(it holds more than 64 values that cannot be read)"}};
    for (const auto& [text, reason] : rows) {
        SCOPED_TRACE(text.substr(0, 12));
        fs::remove_all(file_.parent_path());
        reports_.clear();
        store(text);
        auto defaults = open();
        EXPECT_EQ(defaults->object("pad"), std::nullopt);
        EXPECT_FALSE(fs::exists(file_));
        const auto aside = setAside();
        ASSERT_EQ(aside.size(), 1u);
        EXPECT_THAT(aside[0].filename().string(),
                    StartsWith("ai.qeld.murmlark-ovra.json.corrupt-20"));
        ASSERT_EQ(reports_.size(), 1u);
        EXPECT_THAT(reports_[0], HasSubstr(aside[0].string()));
        EXPECT_THAT(reports_[0], HasSubstr(reason));

        defaults->set("theme", "ovra");
        scheduler_.runDue();
        EXPECT_EQ(json::parse(stored()).value(), Json::parse(R"({"theme": "ovra"})"));
        EXPECT_EQ(reports_.size(), 1u);
    }
    // The name of a second bad file in the same second does not replace the first one.
    EXPECT_EQ(DefaultsFiles::corruptName("a.json", std::chrono::system_clock::time_point{}),
              "a.json.corrupt-19700101T000000Z");
}

TEST_F(JsonFileDefaultsTest, ReadOnlyDomainNeverTouchesTheFile) {
    store("not json");
    auto defaults = JsonFileDefaults::readOnly(
        file_, [this](const std::string& line) { reports_.push_back(line); });
    EXPECT_EQ(reports_.size(), 1u);
    defaults->set("theme", "ovra");
    EXPECT_EQ(defaults->object("theme"), Json("ovra"));
    EXPECT_FALSE(defaults->flush());
    defaults.reset();
    EXPECT_EQ(stored(), "not json");
    EXPECT_TRUE(setAside().empty());
}

TEST_F(JsonFileDefaultsTest, AFailedWriteIsReportedOnceAndTriedAgain) {
    // The settings folder cannot be made while a file stands where it should be.
    fs::create_directories(root_);
    std::ofstream(file_.parent_path()) << "in the way";
    auto defaults = open();
    defaults->set("theme", "ovra");
    scheduler_.runDue();
    defaults->set("theme", "cyan");
    scheduler_.runDue();
    EXPECT_FALSE(defaults->flush());
    EXPECT_EQ(reports_.size(), 1u);
    EXPECT_TRUE(defaults->hasPendingChanges());

    fs::remove(file_.parent_path());
    EXPECT_TRUE(defaults->flush());
    EXPECT_EQ(json::parse(stored()).value()["theme"], "cyan");
}

TEST_F(JsonFileDefaultsTest, ASymlinkedFileIsWrittenThroughAndAFolderInItsPlaceIsLeftAlone) {
    const fs::path real = root_ / "dotfiles" / "ovra.json";
    fs::create_directories(real.parent_path());
    std::ofstream(real) << R"({"theme": "cyan"})";
    fs::create_directories(file_.parent_path());
    fs::create_symlink(real, file_);
    {
        auto defaults = open();
        EXPECT_EQ(defaults->object("theme"), Json("cyan"));
        defaults->set("theme", "white");
    }
    EXPECT_TRUE(fs::is_symlink(file_));
    EXPECT_EQ(json::parse(stored()).value()["theme"], "white");

    fs::remove(file_);
    fs::create_directories(file_ / "inside");
    auto defaults = open();
    defaults->set("theme", "ovra");
    EXPECT_FALSE(defaults->flush());
    EXPECT_TRUE(fs::exists(file_ / "inside"));
    EXPECT_EQ(reports_.size(), 2u);  // the folder, then the refused write
}

TEST_F(JsonFileDefaultsTest, EveryProblemIsToldAndNothingOutsideOurFolderChanges) {
    using Step = JsonFileDefaults::WriteStep;
    const fs::path ours = file_.parent_path(), outside = root_ / "outside";
    const std::string leftover = ".ai.qeld.murmlark-ovra.json.Ab12Cd";
    const auto old = [](const fs::path& file) {
        std::ofstream(file) << "{";
        fs::last_write_time(file, fs::file_time_type::clock::now() - std::chrono::hours(2));
    };
    const auto listing = [](const fs::path& folder) {
        std::map<std::string, std::string> out;
        for (const auto& entry : fs::directory_iterator(folder)) {
            std::ifstream in(entry.path());
            std::stringstream text;
            text << in.rdbuf();
            out[entry.path().filename()] = text.str();
        }
        return out;
    };
    const struct {
        std::string what;
        std::function<void()> setUp;
        std::optional<Step> failing;
        int error;
        std::string told;  // a part of the one report; empty for none
        std::function<void(JsonFileDefaults&)> check;
    } rows[] = {
        {"a link to a file that holds no settings",
         [&] { fs::create_symlink(outside / "notes.txt", file_); },
         {},
         0,
         "it was moved to",
         [&](JsonFileDefaults&) {
             EXPECT_TRUE(fs::is_symlink(setAside().at(0)));
             EXPECT_EQ(json::parse(stored()).value(), Json::parse(R"({"theme": "white"})"));
         }},
        {"a read-only folder", [&] { store(R"({"theme": "cyan"})"); }, Step::makeTemporary, EROFS,
         "Read-only file system", [&](JsonFileDefaults& d) { EXPECT_TRUE(d.hasPendingChanges()); }},
        {"a full disk", [&] { store(R"({"theme": "cyan"})"); }, Step::writeData, ENOSPC,
         "No space left on device",
         [&](JsonFileDefaults&) { EXPECT_EQ(stored(), R"({"theme": "cyan"})"); }},
        {"temporary files of killed writers",
         [&] {
             for (const char* name : {".ai.qeld.murmlark-ovra.json.x1", "a.json.Ab12Cd"})
                 old(ours / name);
             old(ours / leftover);
             old(outside / leftover);
             std::ofstream(ours / ".ai.qeld.murmlark-ovra.json.Young1") << "{";
         },
         {},
         0,
         "",
         [&](JsonFileDefaults&) {
             EXPECT_FALSE(fs::exists(ours / leftover));
             EXPECT_EQ(listing(ours).size(), 4U);  // the young, the two unlike ours, the file
         }},
        {"values that cannot be read",
         [&] { store("{\"dimLevel\": -1e309, \"voiceID\": \"\xff\", \"depth\": 9}"); },
         {},
         0,
         "2 values that could not be read",
         [&](JsonFileDefaults& d) {
             EXPECT_EQ(d.object("dimLevel"), Json());
             EXPECT_EQ(d.object("voiceID"), Json());
             EXPECT_EQ(d.object("depth"), Json(9));
             EXPECT_TRUE(setAside().empty());
         }}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        fs::remove_all(root_);
        fs::create_directories(outside);
        fs::create_directories(ours);
        std::ofstream(outside / "notes.txt") << "my notes";
        reports_.clear();
        r.setUp();
        const auto before = listing(outside);
        auto defaults = open();
        defaults->setWriteFault(
            [&](Step step) { return r.failing && *r.failing == step ? r.error : 0; });
        if (!defaults->object("depth"))
            defaults->set("theme", "white");
        scheduler_.runDue();
        r.check(*defaults);
        EXPECT_EQ(reports_.size(), r.told.empty() ? 0U : 1U);
        if (!r.told.empty()) {
            EXPECT_THAT(reports_.at(0), HasSubstr(r.told));
        }
        for (const auto& [name, text] : listing(ours))
            EXPECT_TRUE(!DefaultsFiles::isTemporaryName(name, file_.filename()) || text == "{")
                << name;
        EXPECT_EQ(listing(outside), before);
    }
}

TEST_F(JsonFileDefaultsTest, AWriterKilledAtAnyMomentLeavesOneWholeFile) {
    // Two versions of the file, each large enough that a write takes many system calls.
    const std::string a(200'000, 'a');
    const std::string b(300'000, 'b');
    std::mt19937 random(7);
    for (int round = 0; round < 12; ++round) {
        // The writer says when its first write is whole, so every kill lands while it is
        // rewriting, however slow the machine is.
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(ready[0]);
            ManualScheduler scheduler;
            JsonFileDefaults defaults(file_, scheduler, nullptr);
            for (int i = 0;; ++i) {
                defaults.set("text", i % 2 == 0 ? a : b);
                defaults.flush();
                if (i == 0) {
                    const char byte = 1;
                    (void)!write(ready[1], &byte, 1);
                    close(ready[1]);
                }
            }
        }
        close(ready[1]);
        char byte = 0;
        ASSERT_EQ(read(ready[0], &byte, 1), 1);
        close(ready[0]);
        usleep(std::uniform_int_distribution<useconds_t>(0, 30'000)(random));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        auto parsed = json::parse(stored());
        ASSERT_TRUE(parsed) << "round " << round << ": " << parsed.error();
        const std::string text = (*parsed)["text"].get<std::string>();
        EXPECT_TRUE(text == a || text == b) << "round " << round;
    }
    // Killed writers leave temporary files behind, never anything named like the settings.
    for (const auto& entry : fs::directory_iterator(file_.parent_path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == file_.filename() || name.rfind(".ai.qeld.murmlark-ovra.json.", 0) == 0)
            << name;
    }
}

TEST(DefaultsDates, ReadsIsoTextAndWritesUtc) {
    using namespace std::chrono;
    const auto at = [](int y, unsigned m, unsigned d, int h, int mi, int s) {
        return sys_days(year(y) / month(m) / day(d)) + hours(h) + minutes(mi) + seconds(s);
    };
    EXPECT_EQ(DefaultsDates::parse("2026-12-06T19:26:18Z"), at(2026, 12, 6, 19, 26, 18));
    EXPECT_EQ(DefaultsDates::parse("2026-12-06T21:26:18+02:00"), at(2026, 12, 6, 19, 26, 18));
    EXPECT_EQ(DefaultsDates::parse("2026-12-06T14:56:18-0430"), at(2026, 12, 6, 19, 26, 18));
    EXPECT_EQ(DefaultsDates::parse("2024-02-29T00:00:00.5Z"),
              at(2024, 2, 29, 0, 0, 0) + milliseconds(500));
    for (const char* bad : {"2025-02-29T00:00:00Z", "2026-12-06T19:26:18", "2026-12-06",
                            "2026-13-01T00:00:00Z", "2026-12-06T24:00:00Z", "yesterday",
                            "2026-12-06T19:26:18Zjunk", "", "4052-12-06T10:00:00Z"}) {
        EXPECT_EQ(DefaultsDates::parse(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(DefaultsDates::format(at(2026, 1, 5, 7, 8, 9) + milliseconds(900)),
              "2026-01-05T07:08:09Z");

    InMemoryDefaults domain(Json::parse(R"({"firstLaunch": 12, "lastUpdateCheck": "soon"})"));
    EXPECT_EQ(DefaultsDates::read(domain, "firstLaunch"), std::nullopt);
    EXPECT_EQ(DefaultsDates::read(domain, "lastUpdateCheck"), std::nullopt);
    DefaultsDates::write(domain, "firstLaunch", at(2026, 1, 5, 7, 8, 9));
    EXPECT_EQ(domain.contents()["firstLaunch"], "2026-01-05T07:08:09Z");
    EXPECT_EQ(DefaultsDates::read(domain, "firstLaunch"), at(2026, 1, 5, 7, 8, 9));
}

}  // namespace
}  // namespace ovra
