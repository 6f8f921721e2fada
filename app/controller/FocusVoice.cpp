#include "app/controller/FocusVoice.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <set>

#include "core/OvraText.h"
#include "core/VoiceRank.h"
#include "platform/log/Log.h"

namespace ovra {

namespace {

std::string primarySubtag(std::string_view language) {
    std::string subtag(language.substr(0, language.find_first_of("_-")));
    for (char& c : subtag) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return subtag;
}

bool isBlank(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](unsigned char c) { return std::isspace(c) != 0; });
}

}  // namespace

FocusVoice::FocusVoice(Services services) : services_(std::move(services)) {
    services_.engine.setEndHandler([this](speech::MessageId id, speech::SpeechEnd) { ended(id); });
    services_.notice.setHandler([this](const std::optional<std::string>& sender) {
        if (sender != ownName) {
            stop();
        }
    });
}

FocusVoice::~FocusVoice() {
    services_.engine.setEndHandler(nullptr);
    services_.engine.setVoicesHandler(nullptr);
    services_.notice.setHandler(nullptr);
}

void FocusVoice::onVoicesListed(std::function<void()> listed) {
    services_.engine.setVoicesHandler(std::move(listed));
}

void FocusVoice::speak(std::string_view text, const std::optional<std::string>& voiceID,
                       double rate, std::function<void()> done) {
    stop();
    services_.notice.post(ownName);
    if (isBlank(text)) {
        log("speech: nothing to say, the utterance ends at once");
        finishLater(std::move(done));
        return;
    }
    const std::optional<std::string> saved = voiceID && !voiceID->empty() ? voiceID : std::nullopt;
    std::optional<std::string> chosen;
    if (const auto offered = voice(saved)) {
        chosen = offered->id();
    } else if (services_.engine.voices().empty()) {
        chosen = saved;  // not listed yet: the saved voice as it stands, else the default
    }
    const speech::MessageId id =
        services_.engine.speak({std::string(text), chosen, engineRate(rate)});
    if (done) {
        waiting_[id] = std::move(done);
    }
}

void FocusVoice::stop() {
    services_.engine.cancelOwn();
    // Their cancel notices may come late or never (a daemon that went away): end them now.
    auto stopped = std::move(waiting_);
    waiting_.clear();
    for (auto& [id, done] : stopped) {
        finishLater(std::move(done));
    }
}

void FocusVoice::ended(speech::MessageId id) {
    const auto it = waiting_.find(id);
    if (it == waiting_.end()) {
        return;  // spoken without "done", already stopped, or a late repeat
    }
    auto done = std::move(it->second);
    waiting_.erase(it);
    finishLater(std::move(done));
}

void FocusVoice::finishLater(std::function<void()> done) const {
    if (done) {
        services_.post(std::move(done));
    }
}

std::vector<speech::Voice> FocusVoice::availableVoices() const {
    const std::string code = primarySubtag(services_.interfaceLanguage);
    std::vector<speech::Voice> kept;
    std::set<std::string> ids;
    for (const auto& voice : services_.engine.voices()) {
        // Variants ("croak", "whisper") are flavours of a voice, like the novelty voices.
        const bool flavour = !voice.variant.empty() && voice.variant != "none";
        if (!flavour && primarySubtag(voice.language) == code && ids.insert(voice.id()).second) {
            kept.push_back(voice);
        }
    }
    std::vector<VoiceRank::Voice> ranked;
    for (const auto& voice : kept) {
        ranked.push_back({voice.id(), voice.name, voice.language, 1});
    }
    ranked = VoiceRank::sorted(std::move(ranked), std::nullopt);
    std::vector<speech::Voice> result;
    for (const auto& r : ranked) {
        const auto it = std::find_if(kept.begin(), kept.end(), [&](const speech::Voice& v) {
            return v.id() == r.identifier;
        });
        if (it != kept.end()) {
            result.push_back(*it);
        }
    }
    return result;
}

std::optional<speech::Voice> FocusVoice::voice(const std::optional<std::string>& voiceID) const {
    const auto offered = availableVoices();
    if (voiceID) {
        const auto it = std::find_if(offered.begin(), offered.end(),
                                     [&](const speech::Voice& v) { return v.id() == *voiceID; });
        if (it != offered.end()) {
            return *it;
        }
    }
    if (!offered.empty()) {
        return offered.front();
    }
    return std::nullopt;
}

std::string FocusVoice::label(const speech::Voice& voice) {
    return voice.name + " (" + OvraText::t("Standard") + ")";
}

void FocusVoice::requestPersonalVoice(std::function<void()> then) const {
    finishLater(std::move(then));
}

int FocusVoice::engineRate(double rate) {
    // The factor scales the default speed, the middle of a 0…1 range, and is clamped to it.
    const float factor = std::isfinite(rate) ? static_cast<float>(rate) : 1.0F;
    const float scaled = std::clamp(0.5F * factor, 0.0F, 1.0F);
    return static_cast<int>(std::lround((scaled - 0.5F) * 200.0F));
}

void FocusVoice::log(const std::string& line) const {
    if (services_.log) {
        services_.log(line);
    } else {
        logs::info(logs::Category::speech, line);
    }
}

}  // namespace ovra
