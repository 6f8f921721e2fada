// Speech through a real speech-dispatcher (espeak-ng into ALSA's null device: no sound card
// needed): an utterance ends with its own callback on the main thread, and stopping this app's
// speech leaves another program's message alone.

#include <gtest/gtest.h>

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
