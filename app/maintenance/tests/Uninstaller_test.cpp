// The uninstaller in a temporary HOME and XDG tree.

#include "app/maintenance/Uninstaller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unicode/locid.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>

#include "app/maintenance/InstallListing.h"
#include "app/maintenance/InstallMarker.h"
#include "app/maintenance/Offload.h"
#include "app/maintenance/UninstallerFiles.h"
#include "app/model/SetupLog.h"
#include "platform/defaults/JsonFileDefaults.h"
#include "platform/scheduler/ManualScheduler.h"
#include "testing/Files.h"

namespace ovra {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class UninstallerTest : public ::testing::Test {
  protected:
    ~UninstallerTest() override { fs::remove_all(root_); }

    Uninstaller make(fs::path prefix = {}, bool selfTest = false,
                     std::string id = "ai.qeld.murmlark-ovra") {
        Uninstaller::Services s;
        s.stopModel = [this] { calls_.push_back("stop model"); };
        s.freezeSettings = [this] { defaults_->freeze(); };
        s.confirm = [this](const UninstallerText::Question& q) {
            asked_.push_back(q.message);
            if (whileAsking_) {
                whileAsking_();
            }
            return answer_;
        };
        s.update = [this](const UninstallerText::Question& q) { asked_.push_back(q.message); };
        s.showFailure = [this](const UninstallerText::Message& m) { calls_.push_back(m.text); };
        s.quit = [this] { calls_.push_back("quit"); };
        s.out = &out_;
        s.log = [this](const std::string& line) { calls_.push_back(line); };
        if (downloading_ || counting_) {
            s.scheduler = &scheduler_;
            s.offload = [this](std::function<void()> work, std::function<void()> then) {
                offload_.run(std::move(work), std::move(then));
            };
        }
        if (downloading_) {
            s.modelStopped = [this] { return !*downloading_; };
            s.scheduler = &scheduler_;
            s.offload = [this](std::function<void()> work, std::function<void()> then) {
                offload_.run(std::move(work), std::move(then));
            };
        }
        const auto env = [vars = vars_, this](const char* name) -> std::optional<std::string> {
            const auto found = vars.find(name);
            return found == vars.end() ? std::nullopt : std::optional(root_ / found->second);
        };
        return Uninstaller({env, std::move(id), prefix}, s, selfTest);
    }
    fs::path file(const fs::path& relative, std::size_t bytes = 1) {
        fs::create_directories((root_ / relative).parent_path());
        std::ofstream(root_ / relative) << std::string(bytes, 'x');
        return root_ / relative;
    }
    void link(const fs::path& relative, const fs::path& target) {
        fs::create_directories((root_ / relative).parent_path());
        fs::create_symlink(target, root_ / relative);
    }
    // A prefix with our marker and listing; its list of files outside it names `outside`.
    fs::path prefix(const std::string& relative, bool selfUpdate, std::string outside = "",
                    std::vector<fs::path> listed = {}) {
        for (const char* name : {"bin/murmlark-ovra", "share/murmlark-ovra/install-marker",
                                 "share/murmlark-ovra/installed-outside"})
            listed.push_back(file(relative + "/" + name));
        std::ofstream(root_ / relative / "share/murmlark-ovra/install-marker")
            << InstallMarker::text(selfUpdate);
        std::ofstream(root_ / relative / "share/murmlark-ovra/installed-outside") << outside;
        for (auto& f : listed)
            f = f.lexically_relative(root_ / relative);
        std::ofstream(InstallListing::file(root_ / relative)) << InstallListing::text(listed);
        return root_ / relative;
    }
    const fs::path root_ =
        fs::temp_directory_path() / ("ovra-uninstall-" + std::to_string(::getpid()));
    std::map<std::string, std::string> vars_ = {
        {"HOME", "h"},           {"XDG_DATA_HOME", "d"},   {"XDG_STATE_HOME", "s"},
        {"XDG_CACHE_HOME", "c"}, {"XDG_CONFIG_HOME", "f"}, {"XDG_RUNTIME_DIR", "r"}};
    ManualScheduler scheduler_;
    std::unique_ptr<JsonFileDefaults> defaults_ = std::make_unique<JsonFileDefaults>(
        root_ / "f/murmlark-ovra/ai.qeld.murmlark-ovra.json", scheduler_, nullptr);
    std::vector<std::string> calls_;
    bool answer_ = true;
    // Set: a model download that runs until it is false, waited for on the scheduler, and
    // files removed by the offload.
    std::optional<bool> downloading_;
    ManualOffload offload_;
    std::ostringstream out_;
    // Set: the space is counted on the offload, with the scheduler's bound. What the question
    // said, as asked and as told again, and what happens while it is open.
    bool counting_ = false;
    std::vector<std::string> asked_;
    std::function<void()> whileAsking_;
};

TEST_F(UninstallerTest, AnAppIDThatIsNoPlainNameNamesNoCacheFolder) {
    for (const char* id : {"", ".", "..", "a/b", "x..", "/"}) {
        for (const auto& location : make({}, false, id).locations())
            EXPECT_FALSE(UninstallerFiles::isInside(root_ / "c", location.path)) << id;
    }
}

TEST_F(UninstallerTest, SizesAreAllocatedBlocksCountedOnceWithoutFollowingLinks) {
    const fs::path sparse = file("t/sparse", 4096), big = file("outside/big", 3'000'000);
    fs::resize_file(sparse, 200'000'000);
    link("t/big", big);
    fs::create_hard_link(sparse, root_ / "t/hard");
    const auto size = UninstallerFiles::allocatedSize;
    EXPECT_GE(size({sparse}), 4096);
    EXPECT_LT(size({root_ / "t"}), 100'000);
    EXPECT_EQ(size({sparse, root_ / "t/hard", root_ / "missing"}), size({sparse}));
    EXPECT_GE(size({root_ / "t", big}), 3'000'000);
}

TEST_F(UninstallerTest, TheQuestionGivesDecimalSizesInTheUsersLocaleAndNamesAModelOnlyIfAny) {
    const std::tuple<const char*, std::int64_t, const char*> rows[] = {
        {"en", 0, "0 KB"},           {"en", 1, "1 KB"},          {"en", 849'600, "850 KB"},
        {"en", 999'600, "1 MB"},     {"en", 2'000'000, "2 MB"},  {"en", 2'345'678'901, "2.35 GB"},
        {"en", 1'500'000, "1.5 MB"}, {"de", 1'500'000, "1,5 MB"}};
    const icu::Locale before;
    UErrorCode status = U_ZERO_ERROR;
    for (const auto& [locale, bytes, text] : rows) {
        icu::Locale::setDefault(icu::Locale(locale), status);
        EXPECT_EQ(UninstallerText::byteCount(bytes), text) << bytes;
    }
    icu::Locale::setDefault(before, status);

    EXPECT_THAT(make().question().message,
                HasSubstr("its logs. It frees about 0 KB.\n\nMurmlark Ovra itself stays where"));
    file("s/MurmlarkOvra/setup.log", 5000);
    file("h/.cache/huggingface/hub/models--f03b9d2--vorn-mlx/blobs/a", 1'000'000);
    EXPECT_THAT(make(prefix("apps/murmlark-ovra", true)).question().message,
                HasSubstr("its logs, and the on-device model (1 MB). It frees about 1 MB.\n\n"
                          "Murmlark Ovra itself moves to the Trash"));
}

TEST_F(UninstallerTest, OnlyAPrefixOfOursGoesToTheTrashAndASharedOneGivesOnlyOurFiles) {
    // A prefix of ours that another program shares, with our desktop file in it.
    const fs::path shared = prefix("opt", true, "",
                                   {file("opt/share/applications/murmlark-ovra.desktop"),
                                    file("opt/lib/murmlark-ovra/ovra-torch-runtime.so")});
    const fs::path other = file("opt/bin/other-program"), otherLib = file("opt/lib/other.so");
    const std::pair<fs::path, std::vector<std::string>> rows[] = {
        {prefix("apps/murmlark-ovra", true), {"apps/murmlark-ovra"}},
        {shared,
         {"opt/bin/murmlark-ovra", "opt/share/murmlark-ovra", "opt/lib/murmlark-ovra",
          "opt/share/applications/murmlark-ovra.desktop"}},
        {prefix("h/.local", false), {"h/.local/bin/murmlark-ovra", "h/.local/share/murmlark-ovra"}},
        {prefix("h", true), {"h/bin/murmlark-ovra", "h/share/murmlark-ovra"}},
        {file("build/bin/murmlark-ovra").parent_path().parent_path(), {}},
        {"/usr", {}},
        {{}, {}}};
    for (const auto& [prefix, expected] : rows) {
        std::vector<std::string> items;
        for (const auto& item : make(prefix).appItems())
            items.push_back(item.lexically_relative(root_).string());
        EXPECT_EQ(items, expected) << prefix;
    }
    make(shared).removeEverything();
    EXPECT_EQ(testing::readText(other) + testing::readText(otherLib), "xx");
    EXPECT_FALSE(fs::exists(root_ / "opt/share/applications/murmlark-ovra.desktop") ||
                 fs::exists(root_ / "opt/lib/murmlark-ovra"));
}

TEST_F(UninstallerTest, ARemovalFollowsLinksOnlyIntoOurBlobsAndNothingComesBack) {
    const char* ours[] = {"d/Murmlark Ovra/models/murmlark-ovra--en/tokenizer.json",
                          "s/MurmlarkOvra/setup.log",
                          "c/ai.qeld.murmlark-ovra/x",
                          "f/murmlark-ovra/ai.qeld.murmlark-ovra.json",
                          "r/murmlark_ovra.sock",
                          "d/applications/murmlark-ovra.desktop"};
    for (const char* name : ours)
        file(name);
    // Model folders linking in, out, across our two models, and to a blob another model uses.
    const fs::path hub = "h/.cache/huggingface/hub", mlx = hub / "models--f03b9d2--vorn-mlx",
                   multi = hub / "models--f03b9d2--vorn-multilingual-mlx";
    const fs::path doc = file("h/Documents/letter.txt"), cross = file(multi / "blobs/cross"),
                   shared = file(multi / "blobs/shared"),
                   old = file(hub / "models--f03b9d2--vorn-mlx-old/blobs/o");
    for (const auto& [name, target] :
         std::map<std::string, fs::path>{{"in", file(mlx / "blobs/in")},
                                         {"document", doc},
                                         {"root", "/"},
                                         {"folder", doc.parent_path()},
                                         {"old", old},
                                         {"cross", cross},
                                         {"shared", shared}})
        link(mlx / "snapshots/r" / name, target);
    link(hub / "models--other--m/snapshots/r/s", shared);
    link(hub / "not-a-model/c", cross);
    EXPECT_FALSE(UninstallerFiles::isInside(old, root_ / mlx));

    // Only what an install of ours writes outside its prefix, where it writes it, is taken.
    const fs::path notes = file("h/murmlark-ovra-notes.txt");
    auto uninstaller =
        make(prefix("apps/Murmlark Ovra", true,
                    (root_ / "d/applications/murmlark-ovra.desktop\n").string() + doc.string() +
                        "\n" + notes.string() + "\nmurmlark-ovra.desktop\n"));
    EXPECT_THAT(uninstaller.exclusiveModelBlobs(), ElementsAre(cross));
    defaults_->set("dimLevel", 0.5);  // not yet written
    EXPECT_TRUE(uninstaller.confirmAndRemove());
    EXPECT_THAT(calls_, ElementsAre("stop model", "quit"));
    for (const char* name : ours)
        EXPECT_FALSE(fs::exists(root_ / name)) << name;
    EXPECT_FALSE(fs::exists(root_ / mlx) || fs::exists(root_ / multi));
    EXPECT_TRUE(fs::exists(doc) && fs::exists(old) && fs::exists(notes));
    EXPECT_TRUE(fs::exists(root_ / "d/Trash/files/Murmlark Ovra/bin/murmlark-ovra"));

    // Late writers: a setting, the flush at quit, a log line.
    defaults_->set("theme", "white");
    scheduler_.runDue();
    defaults_.reset();
    SetupLog(root_ / "s/MurmlarkOvra/setup.log").write("late");
    EXPECT_FALSE(fs::exists(root_ / "f/murmlark-ovra") || fs::exists(root_ / "s/MurmlarkOvra"));
}

TEST_F(UninstallerTest, WhatCouldNotBeRemovedIsListedBeforeQuitting) {
    file("d/Trash");  // a file where the Trash should be
    const fs::path entry = root_ / "d/applications/murmlark-ovra.desktop";
    file("d/applications/murmlark-ovra.desktop/x");  // a folder is not a file to delete
    make(prefix("h/apps/murmlark-ovra", true, entry.string())).removeEverything();
    EXPECT_THAT(calls_, ElementsAre("stop model",
                                    "These are still there; you can delete them yourself:\n" +
                                        entry.string() +
                                        "\n~/apps/murmlark-ovra (it could not be moved to the "
                                        "Trash: the Trash folder " +
                                        (root_ / "d/Trash").string() + " cannot be used)",
                                    "quit"));
}

TEST_F(UninstallerTest, ADownloadIsWaitedForOnTheSchedulerAndTheFilesGoOnTheWorker) {
    const fs::path data = file("d/Murmlark Ovra/models/x"), log = file("s/MurmlarkOvra/setup.log");
    // The download stops after a second, or never (removal goes on after the bound).
    for (const bool stops : {true, false}) {
        calls_.clear();
        downloading_ = true;
        std::optional<std::vector<UninstallerText::Remaining>> left;
        make().removeEverything([&](const auto& remaining) { left = remaining; });
        EXPECT_THAT(calls_, ElementsAre("stop model"));
        // Nothing writes while it waits: a setting, a line of the setup log.
        defaults_->set("theme", "white");
        SetupLog(log).write("while waiting");
        scheduler_.advance(1);
        EXPECT_TRUE(offload_.jobs.empty() && fs::exists(data));
        EXPECT_FALSE(fs::exists(root_ / "f/murmlark-ovra/ai.qeld.murmlark-ovra.json"));
        EXPECT_EQ(testing::readText(log), "x");
        downloading_ = !stops;
        scheduler_.advance(stops ? 0.05 : Uninstaller::kModelStopBound);
        ASSERT_EQ(offload_.jobs.size(), 1U);
        EXPECT_EQ(scheduler_.pending(), 1U);  // the quit at the latest after kQuitBound
        EXPECT_TRUE(fs::exists(data));
        offload_.jobs.front().first();  // on the worker
        EXPECT_FALSE(fs::exists(data) || fs::exists(log));
        EXPECT_FALSE(left.has_value());
        offload_.jobs.front().second();  // back on the main thread
        offload_.jobs.clear();
        EXPECT_EQ(scheduler_.pending(), 0U);
        EXPECT_THAT(left, ::testing::Optional(::testing::IsEmpty()));
        std::vector<std::string> expected{"stop model", "quit"};
        if (!stops) {
            expected.insert(expected.begin() + 1,
                            "the model download did not stop in time; the app is removed anyway");
        }
        EXPECT_EQ(calls_, expected);
        file("d/Murmlark Ovra/models/x");
        file("s/MurmlarkOvra/setup.log");
    }
}

TEST_F(UninstallerTest, AWorkerThatHangsOnAMountDoesNotKeepTheAppRunning) {
    file("d/Trash");  // what remains would be shown, were the worker in time
    downloading_ = false;
    bool finished = false;
    make(prefix("h/apps/murmlark-ovra", true)).removeEverything([&](auto) { finished = true; });
    ASSERT_EQ(offload_.jobs.size(), 1U);
    scheduler_.advance(Uninstaller::kQuitBound - 0.1);
    EXPECT_THAT(calls_, ElementsAre("stop model"));
    scheduler_.advance(0.1);
    EXPECT_THAT(calls_, ElementsAre("stop model", HasSubstr("the app quits anyway"), "quit"));
    // The worker comes back after all: nothing more is shown, and the app quits only once.
    offload_.jobs.front().first();
    offload_.jobs.front().second();
    EXPECT_EQ(calls_.size(), 3U);
    EXPECT_FALSE(finished);
}

TEST_F(UninstallerTest, CancelADryRunOrASelfTestProcessRemovesNothing) {
    const fs::path log = file("s/MurmlarkOvra/setup.log");
    const std::string dry =
        "uninstall dialog answered: Remove Everything (dry run, nothing removed)\n";
    const std::tuple<bool, bool, bool, std::string> rows[] = {
        {false, false, false, ""},
        {true, false, true, dry},
        {false, true, true, dry},
        {false, true, false, "uninstall dialog answered: Cancel\n"}};
    for (const auto& [dryRun, selfTest, answer, printed] : rows) {
        out_.str("");
        answer_ = answer;
        auto uninstaller = make({}, selfTest);
        uninstaller.setDryRun(dryRun);
        EXPECT_FALSE(uninstaller.confirmAndRemove());
        EXPECT_EQ(out_.str(), printed);
        if (uninstaller.refuses()) {
            uninstaller.removeEverything([](const auto&) { ADD_FAILURE() << "removed"; });
        }
    }
    EXPECT_TRUE(fs::exists(log) && calls_.empty());
    EXPECT_TRUE(Uninstaller::isSelfTestLaunch({"--trace-keys", "--keyboard-test"}));
    EXPECT_FALSE(Uninstaller::isSelfTestLaunch({"--trace-keys", "--dump"}));
}

TEST_F(UninstallerTest, TheQuestionOpensAtOnceAndIsToldAgainAsTheSpaceIsCounted) {
    file("s/MurmlarkOvra/setup.log", 5000);
    file("h/.cache/huggingface/hub/models--f03b9d2--vorn-mlx/blobs/a", 1'000'000);
    const std::string whole = make().question().message;
    counting_ = true;
    answer_ = false;
    whileAsking_ = [this] {
        EXPECT_FALSE(offload_.jobs.empty()) << "nothing of the disk is read before it opens";
        offload_.finishAll();
    };
    EXPECT_FALSE(make().confirmAndRemove());
    ASSERT_GE(asked_.size(), 2u);
    EXPECT_THAT(asked_.front(), HasSubstr("and the on-device model if there is one. Counting the "
                                          "space this frees…"));
    EXPECT_EQ(asked_.back(), whole);
    EXPECT_THAT(whole, HasSubstr("the on-device model (1 MB). It frees about 1 MB."));

    // Answers after the dialog closed tell nothing.
    asked_.clear();
    whileAsking_ = {};
    make().confirmAndRemove();
    offload_.finishAll();
    scheduler_.advance(UninstallerSurvey::kBound);
    EXPECT_EQ(asked_.size(), 1u);
}

TEST_F(UninstallerTest, AFolderThatDoesNotAnswerIsToldAndCountsOnceItDoes) {
    file("c/ai.qeld.murmlark-ovra/big", 3'000'000);
    file("s/MurmlarkOvra/setup.log", 5000);
    counting_ = true;
    answer_ = false;
    // Every place answers but the cache folder, which hangs (its job never runs) until late.
    whileAsking_ = [this] {
        std::vector<std::pair<std::function<void()>, std::function<void()>>> held;
        std::size_t place = 0;
        for (auto& job : offload_.jobs) {
            if (place++ == 2) {
                held.push_back(std::move(job));
            } else {
                job.first();
                job.second();
            }
        }
        offload_.jobs.clear();
        ASSERT_EQ(held.size(), 1u);
        scheduler_.advance(UninstallerSurvey::kBound - 0.1);
        EXPECT_THAT(asked_.back(), HasSubstr("Counting the space"));
        scheduler_.advance(0.1);
        EXPECT_THAT(asked_.back(),
                    HasSubstr(" KB.\n" + (root_ / "c/ai.qeld.murmlark-ovra").string() +
                              " does not answer, so the space it takes is not "
                              "counted.\n\nMurmlark Ovra itself stays where"));
        held.front().first();
        held.front().second();
        EXPECT_THAT(asked_.back(), HasSubstr("It frees about 3 MB.\n\nMurmlark Ovra itself"));
    };
    EXPECT_FALSE(make().confirmAndRemove());
    EXPECT_EQ(asked_.size(), 1u + 8u + 1u + 1u) << "asked, eight places, the bound, the late one";
}

}  // namespace
}  // namespace ovra
