#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>

#include "app/model/EngineInstaller.h"
#include "app/model/tests/InstallerFixture.h"
#include "platform/download/tests/LoopbackServer.h"

namespace ovra {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::Reply;

const std::string kEn = "murmlark-ovra/en";

// The same installs against an HTTP server on 127.0.0.1 that serves the generated parts.
class HttpInstaller : public testing::InstallerTest {
  protected:
    // Serves every part of the entry under /ovra/ and points the installer at the server.
    void publish(const Json& entry) {
        writeManifest({entry});
        for (const auto& p : entry.contains("parts") ? entry["parts"] : Json::array({entry})) {
            const std::string name = p["name"];
            server_.route("/ovra/" + name, Reply{200, testing::readText(served() / name)});
        }
        config_.bases = {server_.base() + "/ovra"};
    }
    std::string part(const Json& entry, std::size_t i) const {
        return testing::readText(served() / entry["parts"][i]["name"].get<std::string>());
    }

    testing::LoopbackServer server_;
};

TEST_F(HttpInstaller, InstallsInPartsOverHttpFollowingARedirect) {
    const Json entry = serve("en.tar.gz", kEn, testing::modelEntries("murmlark-ovra--en"), 2);
    publish(entry);
    server_.route("/ovra/en.tar.gz.part1", Reply{301, "moved", "/mirror/part1"});
    server_.route("/mirror/part1", Reply{200, part(entry, 1)});
    ASSERT_TRUE(installer().install({kEn})) << logText();
    EXPECT_TRUE(installer().modelInstalled(kEn));
    EXPECT_THAT(
        server_.requests(),
        ::testing::ElementsAre("/ovra/en.tar.gz.part0", "/ovra/en.tar.gz.part1", "/mirror/part1"));
}

TEST_F(HttpInstaller, A404IsLoggedWithItsStatusAndTheNextBaseServes) {
    const Json entry = serve("en.tar", kEn, testing::modelEntries("murmlark-ovra--en"));
    writeManifest({entry});
    config_.bases = {server_.base() + "/nothing", fileBase()};
    ASSERT_TRUE(installer().install({kEn})) << logText();
    EXPECT_THAT(logText(),
                HasSubstr("download error from " + server_.base() + "/nothing: HTTP 404"));
}

TEST_F(HttpInstaller, BrokenRepliesFailTheInstallEachAsWhatItIs) {
    struct Case {
        std::string what;
        Reply reply;
        std::string logged;
    };
    const Json entry = serve("en.tar", kEn, testing::modelEntries("murmlark-ovra--en"));
    const std::string body = testing::readText(served() / "en.tar");
    const std::vector<Case> cases = {
        {"server error", Reply{503, "busy"}, "HTTP 503"},
        {"truncated", Reply{200, body.substr(0, 100), "", static_cast<long long>(body.size())},
         "network error"},
        {"oversized", Reply{200, body + std::string(50000, 'x')},
         "more than " + std::to_string(body.size()) + " bytes"},
        {"stalled", Reply{200, body, "", -1, 100}, "no data for 200 ms"},
        {"redirect loop", Reply{302, "", "/ovra/en.tar"}, "network error"},
    };
    for (const auto& c : cases) {
        publish(entry);
        server_.route("/ovra/en.tar", c.reply);
        EXPECT_FALSE(installer().install({kEn})) << c.what;
        EXPECT_THAT(installer().stage.get().text, HasSubstr("Ovra could not download")) << c.what;
        EXPECT_THAT(logText(),
                    HasSubstr("download error from " + server_.base() + "/ovra: " + c.logged))
            << c.what;
        EXPECT_FALSE(fs::exists(config_.supportFolder / "incoming")) << c.what;
        EXPECT_FALSE(installer().modelInstalled(kEn)) << c.what;
    }
    EXPECT_THAT(logText(), Not(HasSubstr("checksum mismatch")));
}

TEST_F(HttpInstaller, RunsOnAWorkerThreadRefusesASecondCallAndCancels) {
    const Json entry = serve("en.tar", kEn, testing::modelEntries("murmlark-ovra--en"));
    publish(entry);
    config_.downloadOptions.stallTimeout = std::chrono::seconds(60);
    server_.route("/ovra/en.tar", Reply{200, testing::readText(served() / "en.tar"), "", -1, 10});

    std::promise<bool> result;
    std::promise<void> downloading;
    bool signalled = false;
    installer().progress.subscribe([&](double) {
        if (!std::exchange(signalled, true))
            downloading.set_value();
    });
    ASSERT_TRUE(installer().start({kEn}, [&](bool ok) { result.set_value(ok); }));
    downloading.get_future().wait();

    const auto stage = installer().stage.get();
    EXPECT_EQ(stage.kind, EngineInstaller::Stage::Kind::working);
    EXPECT_FALSE(installer().install({kEn}));
    EXPECT_FALSE(installer().start({kEn}, nullptr));
    EXPECT_EQ(installer().stage.get(), stage);

    installer().cancel();
    EXPECT_FALSE(result.get_future().get());
    EXPECT_EQ(installer().stage.get().text, "Installing Murmlark Large, English was cancelled.");
    EXPECT_THAT(logText(), HasSubstr("install of Murmlark Large, English cancelled"));
    EXPECT_FALSE(fs::exists(config_.supportFolder / "incoming"));
    EXPECT_FALSE(installer().isRunning());

    // The next install starts afresh.
    server_.route("/ovra/en.tar", Reply{200, testing::readText(served() / "en.tar")});
    EXPECT_TRUE(installer().install({kEn})) << logText();
}

}  // namespace
}  // namespace ovra
