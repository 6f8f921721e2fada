#include <gmock/gmock.h>

#include <cerrno>

#include "app/maintenance/tests/UpdaterFixture.h"

namespace ovra::testing {
namespace {

// Each step of the swap fails on demand (0: the real call), as no permission can make a rename
// fail for root.
class SwapFaults : public UpdaterTest {
  protected:
    Updater::Config config() override {
        Updater::Config c = UpdaterTest::config();
        const auto real = paths::systemRenames();
        c.renames.exchange = [this, real](const fs::path& a, const fs::path& b) {
            return exchangeError_ != 0 ? exchangeError_ : real.exchange(a, b);
        };
        c.renames.rename = [this, real](const fs::path& from, const fs::path& to) {
            const int error = renameErrors_[std::min<std::size_t>(renames_++, 2)];
            return error != 0 ? error : real.rename(from, to);
        };
        return c;
    }
    int exchangeError_ = 0;
    std::array<int, 3> renameErrors_{};  // moving the old aside, the new in, the old back
    std::size_t renames_ = 0;
};

TEST_F(SwapFaults, EveryWayTheSwapEndsLeavesARunnableVersionAndAReceipt) {
    const struct {
        std::string what;
        int exchange;
        std::array<int, 3> renames;
        std::string status;
        std::string runs;       // the version the relaunched program is
        std::string installed;  // the version in the prefix afterwards
        std::string detail;
    } rows[] = {
        {"exchange", 0, {}, "ok", "1.1", "1.1", ""},
        {"renames where no exchange exists", EINVAL, {}, "ok", "1.1", "1.1", ""},
        {"exchange refused", EACCES, {}, "blocked", "1.0", "1.0", "Permission denied"},
        {"old cannot move aside", EINVAL, {EBUSY, 0, 0}, "blocked", "1.0", "1.0", "busy"},
        {"new cannot move in", EXDEV, {0, EIO, 0}, "restored", "1.0", "1.0", "Input/output"},
        {"old cannot move back", ENOSYS, {0, EIO, EIO}, "restored", "1.0", "", "is now in"},
    };
    publish("1.1");
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        fs::remove_all(prefix_);
        writeLayout(prefix_, "1.0");
        exchangeError_ = r.exchange;
        renameErrors_ = r.renames;
        renames_ = 0;
        relaunched_.clear();
        restart("1.0");
        updater().check(false);
        offload_->finishAll();
        updater().installAvailable();
        offload_->finishAll();

        const auto receipt =
            OvraUpdates::Receipt::parse(readText(support_ / Updater::kReceiptFile));
        ASSERT_TRUE(receipt);
        EXPECT_EQ(receipt->status, r.status);
        EXPECT_THAT(receipt->detail, ::testing::HasSubstr(r.detail));
        ASSERT_EQ(relaunched_.size(), 1U);
        const std::string program = readText(relaunched_[0][0]);
        EXPECT_THAT(program, ::testing::HasSubstr("echo \"" + r.runs + " "));
        EXPECT_EQ(fs::exists(prefix_) ? installedVersion() : "", r.installed);

        // The next start says how it went; a failed version is not retried by itself.
        restart(r.runs);
        ASSERT_EQ(banners_.size(), 1U);
        EXPECT_EQ(banners_[0].second, r.status != "ok");
        EXPECT_EQ(defaults_.object(Updater::kFailedVersionKey).has_value(), r.status != "ok");
        defaults_.remove(Updater::kFailedVersionKey);
    }
}

}  // namespace
}  // namespace ovra::testing
