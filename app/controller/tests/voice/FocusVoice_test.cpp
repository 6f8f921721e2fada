// The voice's utterances against a fake engine: each "done" exactly once and never early, in
// whatever order the engine reports; blank utterances; other senders; voices and rates.

#include "app/controller/FocusVoice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>

#include "platform/speech/FakeSpeechEngine.h"

namespace ovra {
namespace {

using speech::SpeechEnd;

class FocusVoiceTest : public ::testing::Test {
  protected:
    // Runs what was posted to the main thread, as its next turns would.
    void turn() {
        for (; !posted_.empty(); posted_.pop_front()) {
            posted_.front()();
        }
    }
    std::function<void()> note(std::string name) {
        return [this, name] { done_.push_back(name); };
    }
    std::unique_ptr<FocusVoice> makeVoice() {
        return std::make_unique<FocusVoice>(FocusVoice::Services{
            engine_, notice_, [this](auto work) { posted_.push_back(std::move(work)); },
            [this](const std::string& line) { logged_.push_back(line); }, language_});
    }

    speech::FakeSpeechEngine engine_;
    speech::LoopbackSpeechNotice notice_;
    std::deque<std::function<void()>> posted_;
    std::vector<std::string> done_, logged_;
    std::string language_ = "en";
    std::unique_ptr<FocusVoice> voice_ = makeVoice();
};

TEST_F(FocusVoiceTest, EachDoneRunsOnceWhateverTheEngineReportsAndWhenever) {
    voice_->speak("First", std::nullopt, 1.0, note("first"));    // id 1
    voice_->speak("Second", std::nullopt, 1.0, note("second"));  // id 2: cuts the first off
    EXPECT_TRUE(done_.empty()) << "never inside speak";
    turn();
    EXPECT_EQ(done_, (std::vector<std::string>{"first"}));

    engine_.end(2);                        // the second ends before the first's cancel
    engine_.end(1, SpeechEnd::cancelled);  // late cancel of the first
    engine_.end(2);                        // a repeated end
    turn();
    EXPECT_EQ(done_, (std::vector<std::string>{"first", "second"}));

    voice_->speak("Third", std::nullopt, 1.0, note("third"));  // id 3
    engine_.end(2, SpeechEnd::cancelled);                      // stale: not the third's
    engine_.end(1);
    turn();
    EXPECT_EQ(done_.size(), 2U);
    voice_->stop();
    EXPECT_EQ(engine_.cancels, 4);  // one per speak, one for stop
    engine_.end(3, SpeechEnd::cancelled);
    turn();
    EXPECT_EQ(done_, (std::vector<std::string>{"first", "second", "third"}));
    EXPECT_EQ(notice_.posted, (std::vector<std::string>{"ovra", "ovra", "ovra"}));
}

TEST_F(FocusVoiceTest, BlankUtterancesEndAtOnceAndAreLogged) {
    voice_->speak("  ", std::nullopt, 1.0, note("blank"));
    EXPECT_TRUE(done_.empty());
    turn();
    EXPECT_EQ(done_, (std::vector<std::string>{"blank"}));
    EXPECT_EQ(logged_.size(), 1U);
    EXPECT_TRUE(engine_.spoken.empty());
}

TEST_F(FocusVoiceTest, AnotherSendersNoticeStopsTheVoiceAndItsOwnDoesNot) {
    voice_->speak("Reading", std::nullopt, 1.0, note("reading"));
    notice_.arrive("ovra");
    turn();
    EXPECT_TRUE(done_.empty());
    notice_.arrive(std::nullopt);  // a notice without a name counts as another sender
    turn();
    EXPECT_EQ(done_, (std::vector<std::string>{"reading"}));
    const int cancels = engine_.cancels;
    notice_.arrive("murmlark");
    EXPECT_EQ(engine_.cancels, cancels + 1);
}

TEST_F(FocusVoiceTest, VoicesOfTheInterfaceLanguageBestFirst) {
    // Before the engine has listed its voices, a saved voice goes to it as it stands.
    int listed = 0;
    voice_->onVoicesListed([&] { ++listed; });
    voice_->speak("Early", std::string("espeak-ng/German"), 1.0);
    EXPECT_EQ(engine_.spoken.back().voiceId, "espeak-ng/German");
    engine_.installed = {{"espeak-ng", "German", "de", "none"},
                         {"espeak-ng", "English (Great Britain)", "en-gb", "none"},
                         {"espeak-ng", "English+croak", "en", "croak"},
                         {"rhvoice", "English (America)", "en-US", ""},
                         {"espeak-ng", "Finnish", "fi", "none"},
                         {"espeak-ng", "Filipino", "fil", "none"}};
    engine_.listed();
    EXPECT_EQ(listed, 1);
    std::vector<std::string> names;
    for (const auto& v : voice_->availableVoices()) {
        names.push_back(v.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"English (America)", "English (Great Britain)"}));
    EXPECT_EQ(voice_->voice("espeak-ng/English (Great Britain)")->name, "English (Great Britain)");
    EXPECT_EQ(voice_->voice("espeak-ng/German")->name, "English (America)");  // other language
    EXPECT_EQ(voice_->voice("gone/Voice")->name, "English (America)");
    EXPECT_EQ(FocusVoice::label(*voice_->voice(std::nullopt)), "English (America) (Standard)");

    language_ = "fil";
    voice_ = makeVoice();
    EXPECT_EQ(voice_->availableVoices().size(), 1U);
    language_ = "xx";  // no voice: the engine's default speaks
    voice_ = makeVoice();
    voice_->speak("Hello", std::string("espeak-ng/German"), 1.0);
    EXPECT_EQ(engine_.spoken.back().voiceId, std::nullopt);
}

TEST(FocusVoiceRate, TheFactorScalesTheDefaultWithinTheEnginesRange) {
    const std::pair<double, int> cases[] = {{1.0, 0},  {0.0, -100}, {0.5, -50}, {1.5, 50},
                                            {10, 100}, {-3, -100},  {NAN, 0},   {INFINITY, 0}};
    for (const auto& [rate, expected] : cases) {
        EXPECT_EQ(FocusVoice::engineRate(rate), expected) << rate;
    }
}

}  // namespace
}  // namespace ovra
