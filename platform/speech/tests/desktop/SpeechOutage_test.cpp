// Speech through a speech-dispatcher that stops answering (SIGSTOP), and is then killed and
// started again: whatever it is asked meanwhile ends, once each and on the main thread, as
// cancelled; the connection it left unanswered is dropped, and the next utterance once the
// daemon is back is spoken on a new one.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <map>

#include "platform/qt/MainThread.h"
#include "platform/speech/SpeechDispatcherEngine.h"
#include "testing/desktop/LaunchedApp.h"
#include "testing/desktop/PrivateSpeech.h"

namespace ovra::speech {
namespace {

bool pumpUntil(const std::function<bool()>& done, double seconds = 20) {
    return ovra::testing::eventually([&] { return QCoreApplication::processEvents(), done(); },
                                     seconds);
}

TEST(SpeechOutage, UnspokenUtterancesEndCancelledOnceAndTheNextConnectionSpeaks) {
    ovra::testing::ScratchFolder folder{"speech-outage"};
    ovra::testing::PrivateSpeech speech{folder.path(), ovra::testing::PrivateSpeech::Recorder{}};
    ASSERT_TRUE(speech.started()) << "speech-dispatcher did not start";

    std::vector<std::string> log;
    std::map<MessageId, std::vector<SpeechEnd>> endings;
    SpeechDispatcherEngine engine{postToMainThread,
                                  [&](const std::string& line) { log.push_back(line); }};
    engine.setEndHandler([&](MessageId id, SpeechEnd end) {
        EXPECT_EQ(QThread::currentThread(), qApp->thread());
        endings[id].push_back(end);
    });
    const auto endedAll = [&](std::initializer_list<MessageId> ids) {
        return std::all_of(ids.begin(), ids.end(), [&](MessageId id) { return endings.count(id); });
    };

    const MessageId hello = engine.speak({"Hello.", std::nullopt, 0});
    ASSERT_TRUE(pumpUntil([&] { return endedAll({hello}); }));
    EXPECT_EQ(endings[hello], std::vector{SpeechEnd::finished});

    // Stopped: the utterance on the open connection, a cancel, and one that needs a new
    // connection all come back unspoken.
    speech.daemon().signal(SIGSTOP);
    const MessageId onOpen = engine.speak({"Never heard.", std::nullopt, 0});
    engine.cancelOwn();
    const MessageId onNew = engine.speak({"Not heard either.", std::nullopt, 0});
    EXPECT_TRUE(pumpUntil([&] {
        return endedAll({onOpen, onNew});
    })) << ::testing::PrintToString(log);
    const std::string cutLine = "speech-dispatcher did not answer within 500 ms";
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [&](const std::string& line) {
        return line.starts_with(cutLine);
    })) << ::testing::PrintToString(log);

    // Killed and started again: the next utterance is spoken.
    speech.daemon().signal(SIGKILL);
    ASSERT_TRUE(speech.start());
    const MessageId back = engine.speak({"Back again.", std::nullopt, 0});
    ASSERT_TRUE(pumpUntil([&] { return endedAll({back}); })) << ::testing::PrintToString(log);
    EXPECT_EQ(endings[back], std::vector{SpeechEnd::finished}) << ::testing::PrintToString(log);
    EXPECT_NE(speech.spoken().find("Back again."), std::string::npos) << speech.spoken();

    // Late or repeated notices never end an utterance twice.
    pumpUntil([] { return false; }, 1.5);
    for (const MessageId id : {hello, onOpen, onNew, back}) {
        EXPECT_EQ(endings[id].size(), 1U) << id;
    }
    EXPECT_EQ(endings[onOpen], std::vector{SpeechEnd::cancelled});
    EXPECT_EQ(endings[onNew], std::vector{SpeechEnd::cancelled});
    EXPECT_EQ(speech.spoken().find("heard"), std::string::npos) << speech.spoken();
}

}  // namespace
}  // namespace ovra::speech
