#include "platform/download/Downloader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/download/FileUrl.h"
#include "testing/Files.h"
#include "testing/LoopbackServer.h"

namespace ovra::download {
namespace {

namespace fs = std::filesystem;
using Kind = Outcome::Kind;
using testing::Reply;

class Download : public ::testing::Test {
  protected:
    void SetUp() override {
        options_.stallTimeout = std::chrono::milliseconds(300);
        options_.connectTimeout = std::chrono::milliseconds(2000);
    }

    Outcome get(const std::string& url) {
        return downloader_->fetch(
            url, dir_ / "out", options_, [this](std::int64_t b) { progress_.push_back(b); },
            cancel_);
    }
    std::string saved() const { return testing::readText(dir_ / "out"); }

    testing::ScratchFolder scratch_{"dl"};
    const fs::path dir_ = scratch_.path();
    Options options_;
    std::atomic<bool> cancel_{false};
    std::vector<std::int64_t> progress_;
    std::unique_ptr<Downloader> downloader_ = makeDownloader();
    testing::LoopbackServer server_;
};

TEST_F(Download, SavesA200BodyAndReportsProgress) {
    const std::string body(300000, 'b');
    server_.route("/ovra/m.tar", Reply{200, body});
    const auto o = get(server_.base() + "/ovra/m.tar");
    ASSERT_TRUE(o.ok()) << describe(o, options_);
    EXPECT_EQ(saved(), body);
    ASSERT_FALSE(progress_.empty());
    EXPECT_EQ(progress_.back(), 300000);
}

TEST_F(Download, AnyOtherStatusFailsWithItAndWritesNoErrorPage) {
    for (const int status : {404, 500, 204, 206}) {
        server_.route("/x", Reply{status, status == 204 ? "" : "error page"});
        const auto o = get(server_.base() + "/x");
        EXPECT_EQ(o.kind, Kind::httpStatus) << status;
        EXPECT_EQ(o.status, status);
        EXPECT_EQ(describe(o, options_), "HTTP " + std::to_string(status));
        EXPECT_EQ(saved(), "") << status;
    }
}

TEST_F(Download, FollowsRedirectsOnlyToHttp) {
    // (A redirect loop is refused in the installer's HTTP tests.)
    server_.route("/old", Reply{302, "moved", "/new"});
    server_.route("/new", Reply{200, "payload"});
    ASSERT_TRUE(get(server_.base() + "/old").ok());
    EXPECT_EQ(saved(), "payload");

    std::ofstream(dir_ / "secret") << "secret";
    server_.route("/tofile", Reply{302, "", "file://" + (dir_ / "secret").string()});
    const auto o = get(server_.base() + "/tofile");
    EXPECT_FALSE(o.ok());
    EXPECT_NE(saved(), "secret");
}

TEST_F(Download, OversizedBodyStopsAtTheLimit) {
    options_.maxBytes = 1000;
    server_.route("/big", Reply{200, std::string(200000, 'x')});
    auto o = get(server_.base() + "/big");
    EXPECT_EQ(o.kind, Kind::tooLarge);
    EXPECT_LE(o.bytes, 1000);
    EXPECT_EQ(describe(o, options_), "more than 1000 bytes");

    // A body of exactly the limit is fine.
    server_.route("/exact", Reply{200, std::string(1000, 'x')});
    EXPECT_TRUE(get(server_.base() + "/exact").ok());
}

TEST_F(Download, StallWithoutBytesEndsTheDownload) {
    server_.route("/stall", Reply{200, std::string(5000, 's'), "", -1, 100});
    const auto o = get(server_.base() + "/stall");
    EXPECT_EQ(o.kind, Kind::stalled);
    EXPECT_EQ(o.bytes, 100);
    EXPECT_EQ(describe(o, options_), "no data for 300 ms");

    // A byte every 50 ms never stalls: the deadline ends it.
    options_.deadline = std::chrono::milliseconds(400);
    server_.route("/drip", Reply{200, std::string(5000, 'd'), "", -1, -1, 50});
    const auto dripped = get(server_.base() + "/drip");
    EXPECT_EQ(dripped.kind, Kind::timedOut);
    EXPECT_EQ(describe(dripped, options_), "not done within 400 ms");
}

TEST_F(Download, CancelStopsAStalledDownload) {
    options_.stallTimeout = std::chrono::milliseconds(60000);
    server_.route("/stall", Reply{200, std::string(5000, 's'), "", -1, 10});
    std::thread canceller([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        cancel_ = true;
    });
    const auto o = get(server_.base() + "/stall");
    canceller.join();
    EXPECT_EQ(o.kind, Kind::cancelled);
}

TEST_F(Download, RefusedConnectionAndBadUrls) {
    EXPECT_EQ(get("http://127.0.0.1:1/x").kind, Kind::networkError);
    EXPECT_EQ(get("ftp://127.0.0.1/x").kind, Kind::badURL);
    EXPECT_EQ(get("not a url").kind, Kind::badURL);
    EXPECT_EQ(get("file://otherhost/x").kind, Kind::badURL);
}

TEST_F(Download, FileUrlsAreCopiedWithTheSameLimits) {
    fs::create_directories(dir_ / "a b");
    std::ofstream(dir_ / "a b" / "m.tar") << std::string(5000, 'm');
    const std::string url = "file://" + (dir_ / "a%20b" / "m.tar").string();
    ASSERT_TRUE(get(url).ok());
    EXPECT_EQ(saved().size(), 5000U);
    EXPECT_EQ(progress_.back(), 5000);

    options_.maxBytes = 4999;
    EXPECT_EQ(get(url).kind, Kind::tooLarge);
    EXPECT_EQ(get("file://" + (dir_ / "missing").string()).kind, Kind::readFailed);

    options_.maxBytes = -1;
    const auto unwritable =
        downloader_->fetch(url, dir_ / "no" / "such" / "folder", options_, nullptr, cancel_);
    EXPECT_EQ(unwritable.kind, Kind::writeFailed);
}

TEST(FileUrl, Paths) {
    EXPECT_EQ(filePath("file:///srv/ovra/m.tar"), "/srv/ovra/m.tar");
    EXPECT_EQ(filePath("file://localhost/srv/m%2Etar"), "/srv/m.tar");
    EXPECT_EQ(filePath("FILE:///x"), "/x");
    EXPECT_EQ(filePath("file://host/x"), std::nullopt);
    EXPECT_EQ(filePath("file:///x%zz"), std::nullopt);
    EXPECT_EQ(filePath("file:///x%00y"), std::nullopt);
    EXPECT_EQ(filePath("file:///x%4"), std::nullopt);
    EXPECT_EQ(filePath("https://x/y"), std::nullopt);
}

}  // namespace
}  // namespace ovra::download
