#pragma once

// The app's own voice: one utterance at a time (a new one cuts the last off), the voices offered
// for the interface language, a voice's display name, and the app's share of the sibling speech
// notice: posted before every utterance, and any other sender's notice silences this voice.
//
// Each utterance's "done" runs exactly once, on a later turn of the main thread, when it ends,
// is cut off or stopped, or could not be spoken. Nothing here waits for the speech service:
// the engine takes every request as a message.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/speech/SpeechEngine.h"
#include "platform/speech/SpeechNotice.h"

namespace ovra {

class FocusVoice final {
  public:
    // The sibling notice's name, and this app's name in it.
    static constexpr std::string_view speechWillStart = "ai.qeld.murmlark.speech.willStart";
    static constexpr std::string_view ownName = "ovra";

    struct Services {
        speech::SpeechEngine& engine;
        speech::SpeechNotice& notice;
        // Runs work on a later turn of the main thread.
        std::function<void(std::function<void()>)> post;
        // One line per failure; standard error when absent.
        std::function<void(const std::string&)> log;
        // InterfaceLanguage::code() in the app.
        std::string interfaceLanguage = "en";
    };

    explicit FocusVoice(Services services);
    ~FocusVoice();
    FocusVoice(const FocusVoice&) = delete;
    FocusVoice& operator=(const FocusVoice&) = delete;

    // Speaks `text` with the saved voice (none or empty: the best voice for the interface
    // language) at `rate` times the default speed.
    void speak(std::string_view text, const std::optional<std::string>& voiceID, double rate,
               std::function<void()> done = {});
    // Stops this app's speech at once; stopped utterances count as cancelled.
    void stop();

    // The voices offered for the interface language, best first; empty until the speech
    // service has listed them (the first call asks for them).
    std::vector<speech::Voice> availableVoices() const;
    // Called on the main thread when the speech service's voices have been listed.
    void onVoicesListed(std::function<void()> listed);
    // The voice for a saved id: that voice when it speaks the interface language, else the
    // best offered; none when the language has no voice (the engine's default then speaks).
    std::optional<speech::Voice> voice(const std::optional<std::string>& voiceID) const;
    // "Name (Standard)": speech-dispatcher reports no quality, so every voice is standard.
    static std::string label(const speech::Voice& voice);
    // Linux has no Personal Voice to ask for: `then` runs on a later turn of the main thread.
    void requestPersonalVoice(std::function<void()> then) const;

    // The rate preference (1.0 the default speed, 0 the slowest, 2.0 and above the fastest) on
    // speech-dispatcher's scale from -100 to 100.
    static int engineRate(double rate);

  private:
    void ended(speech::MessageId id);
    void finishLater(std::function<void()> done) const;
    void log(const std::string& line) const;

    Services services_;
    std::map<speech::MessageId, std::function<void()>> waiting_;
};

}  // namespace ovra
