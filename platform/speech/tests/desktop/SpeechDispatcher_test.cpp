// Speech through a real speech-dispatcher (espeak-ng into ALSA's null device: no sound card
// needed): an utterance ends with its own callback on the main thread, and stopping this app's
// speech leaves another program's message alone.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QThread>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "platform/qt/MainThread.h"
#include "platform/speech/DBusSpeechNotice.h"
#include "platform/speech/SpeechDispatcherEngine.h"
#include "testing/desktop/LaunchedApp.h"
#include "testing/desktop/PrivateSpeech.h"

namespace ovra::speech {
namespace {

// One program's connection with the ends it was told of, all on the main thread.
struct Client {
    std::vector<std::string> log;
    std::map<MessageId, SpeechEnd> endings;
    SpeechDispatcherEngine engine{postToMainThread,
                                  [this](const std::string& line) { log.push_back(line); }};
    Client() {
        engine.setEndHandler([this](MessageId id, SpeechEnd end) {
            EXPECT_EQ(QThread::currentThread(), qApp->thread());
            EXPECT_TRUE(endings.emplace(id, end).second) << "a second end of " << id;
        });
    }
    std::optional<SpeechEnd> endOf(MessageId id) const {
        const auto it = endings.find(id);
        return it == endings.end() ? std::nullopt : std::optional(it->second);
    }
};

bool pumpUntil(const std::function<bool()>& done, double seconds = 30) {
    return ovra::testing::eventually([&] { return QCoreApplication::processEvents(), done(); },
                                     seconds);
}

// A private daemon speaking with espeak-ng into ALSA's null device.
class SpeechDispatcherTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(speech_.started()) << "speech-dispatcher did not start"; }

    ovra::testing::ScratchFolder folder_{"speech"};
    ovra::testing::PrivateSpeech speech_{folder_.path()};
};

TEST_F(SpeechDispatcherTest, SpeaksEndsAndStopsOnlyItsOwnSpeech) {
    Client ours;
    const MessageId hello = ours.engine.speak({"Hello from Ovra.", std::nullopt, 20});
    ASSERT_TRUE(pumpUntil([&] { return ours.endOf(hello).has_value(); })) << "no end reported";
    EXPECT_EQ(ours.endOf(hello), SpeechEnd::finished) << (ours.log.empty() ? "" : ours.log.back());

    // Another program (a screen reader, say) is speaking a long text; ours waits behind it.
    Client other;
    std::string longText;
    for (int i = 1; i <= 60; ++i) {
        longText += "This is sentence " + std::to_string(i) + " of what the other program reads. ";
    }
    const MessageId theirs = other.engine.speak({longText, std::nullopt, 0});
    // Theirs reaches the daemon (its own thread sends it) while the test waits a moment.
    pumpUntil([] { return false; }, 0.5);
    const MessageId queued = ours.engine.speak({"Cut off before it starts.", std::nullopt, 0});
    ours.engine.cancelOwn();
    ASSERT_TRUE(pumpUntil([&] { return other.endOf(theirs).has_value(); }, 60));
    EXPECT_EQ(other.endOf(theirs), SpeechEnd::finished) << "our stop silenced the other program";
    EXPECT_TRUE(pumpUntil([&] { return ours.endOf(queued).has_value(); }));
    EXPECT_EQ(ours.endOf(queued), SpeechEnd::cancelled);

    // Voices are listed per output module, with ids naming the module; a chosen voice speaks.
    std::vector<Voice> voices;
    ASSERT_TRUE(pumpUntil([&] { return !(voices = ours.engine.voices()).empty(); }))
        << ::testing::PrintToString(ours.log);
    EXPECT_EQ(voices.front().module, "espeak-ng");
    const MessageId chosen = ours.engine.speak({"Hallo.", voices.front().id(), -50});
    EXPECT_TRUE(pumpUntil([&] { return ours.endOf(chosen) == SpeechEnd::finished; }));
}

// The environment variable `name` set to `value` (unset when none) while this lives.
class EnvironmentVariable {
  public:
    EnvironmentVariable(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* was = std::getenv(name)) {
            was_ = was;
        }
        set(value);
    }
    ~EnvironmentVariable() { set(was_); }
    EnvironmentVariable(const EnvironmentVariable&) = delete;
    EnvironmentVariable& operator=(const EnvironmentVariable&) = delete;

  private:
    void set(const std::optional<std::string>& value) {
        value ? setenv(name_, value->c_str(), 1) : unsetenv(name_);
    }
    const char* name_;
    std::optional<std::string> was_;
};

// A cold start, again and again: no speech-dispatcher runs, and the first utterance and the
// voice listing (each on a thread of its own) need one at the same moment. libspeechd starts
// one, from the user's configuration (a recorder voice that writes what it is given to a file),
// with its socket in the user's runtime folder; no line says it is not available, the
// utterance is spoken and the voices are listed.
TEST(SpeechDispatcherColdStart, TheDaemonIsStartedOnceForEveryoneWhoNeedsIt) {
    const ovra::testing::ScratchFolder home{"speech-cold"};
    const std::filesystem::path config = home / "config/speech-dispatcher";
    const std::filesystem::path spoken = home / "spoken";
    ovra::testing::writeText(config / "speechd.conf",
                             "AudioOutputMethod \"alsa\"\nAudioALSADevice \"null\"\n"
                             "DefaultModule recorder\n"
                             "AddModule \"recorder\" \"sd_generic\" \"recorder.conf\"\n");
    ovra::testing::writeText(config / "modules/recorder.conf",
                             "GenericExecuteSynth \"printf '%s\\\\n' \\'$DATA\\' >> " +
                                 spoken.string() +
                                 "\"\nAddVoice \"en\" \"MALE1\" \"recorder\"\n"
                                 "DefaultVoice \"recorder\"\nGenericLanguage \"en\" \"en\" "
                                 "\"utf-8\"\n");
    std::filesystem::create_directories(home / "run");
    std::filesystem::permissions(home / "run", std::filesystem::perms::owner_all);
    const EnvironmentVariable configHome("XDG_CONFIG_HOME", (home / "config").string());
    const EnvironmentVariable runtime("XDG_RUNTIME_DIR", (home / "run").string());
    const EnvironmentVariable address("SPEECHD_ADDRESS", std::nullopt);
    const std::filesystem::path pidFile = home / "run/speech-dispatcher/pid/speech-dispatcher.pid";

    for (int start = 1; start <= 3; ++start) {
        SCOPED_TRACE(start);
        {
            Client ours;
            ours.engine.voices();  // as the app's voice asks, before its first utterance
            const std::string text = "Cold start " + std::to_string(start) + ".";
            const MessageId hello = ours.engine.speak({text, std::nullopt, 0});
            ASSERT_TRUE(pumpUntil([&] { return ours.endOf(hello).has_value(); }));
            EXPECT_EQ(ours.endOf(hello), SpeechEnd::finished);
            EXPECT_TRUE(pumpUntil([&] { return !ours.engine.voices().empty(); }));
            EXPECT_THAT(ours.log, ::testing::IsEmpty());
            EXPECT_NE(ovra::testing::readText(spoken).find(text), std::string::npos);
        }
        // The daemon it started ends, as it would at logout.
        const pid_t daemon = std::atoi(ovra::testing::readText(pidFile).c_str());
        ASSERT_GT(daemon, 0);
        kill(daemon, SIGTERM);
        ASSERT_TRUE(ovra::testing::eventually([&] { return kill(daemon, 0) != 0; }, 10));
    }
}

TEST(SpeechNoticeBus, NoticesReachEverySiblingWithTheSendersName) {
    DBusSpeechNotice ovra, sibling;
    ASSERT_TRUE(ovra.connected());
    std::vector<std::optional<std::string>> heard;
    sibling.setHandler([&](std::optional<std::string> sender) { heard.push_back(sender); });
    ovra.post("ovra");
    ASSERT_TRUE(pumpUntil([&] { return heard.size() == 1; }, 10));
    EXPECT_EQ(heard[0], "ovra");
    // A sender that names no one.
    ASSERT_EQ(std::system("dbus-send --session --type=signal /ai/qeld/murmlark/speech "
                          "ai.qeld.murmlark.speech.willStart"),
              0);
    ASSERT_TRUE(pumpUntil([&] { return heard.size() == 2; }, 10));
    EXPECT_EQ(heard[1], std::nullopt);
}

}  // namespace
}  // namespace ovra::speech
