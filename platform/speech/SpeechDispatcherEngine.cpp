#include "platform/speech/SpeechDispatcherEngine.h"

#include <speech-dispatcher/libspeechd.h>

#include <cstdlib>
#include <map>
#include <mutex>

namespace ovra::speech {

std::optional<std::pair<std::string, std::string>> splitVoiceId(std::string_view id) {
    const auto slash = id.find('/');
    if (slash == std::string_view::npos || slash == 0 || slash + 1 == id.size()) {
        return std::nullopt;
    }
    return std::pair{std::string(id.substr(0, slash)), std::string(id.substr(slash + 1))};
}

// Where the notifications of one connection go: posted to the main thread, then delivered
// while the engine lives.
struct SpeechDispatcherEngine::Sink {
    Poster post;
    std::function<void(MessageId, SpeechEnd)> deliver;
};

namespace {

// libspeechd's callbacks carry no user data, only the client id of their connection: this
// table finds the engine a notification belongs to.
struct Registry {
    std::mutex mutex;
    std::map<std::size_t, std::weak_ptr<SpeechDispatcherEngine::Sink>> sinks;
};
Registry& registry() {
    static Registry table;
    return table;
}

void onNotification(std::size_t messageId, std::size_t clientId, SPDNotificationType type) {
    std::shared_ptr<SpeechDispatcherEngine::Sink> sink;
    {
        std::lock_guard lock(registry().mutex);
        const auto it = registry().sinks.find(clientId);
        if (it != registry().sinks.end()) {
            sink = it->second.lock();
        }
    }
    if (!sink) {
        return;
    }
    const SpeechEnd end = type == SPD_EVENT_END ? SpeechEnd::finished : SpeechEnd::cancelled;
    std::weak_ptr<SpeechDispatcherEngine::Sink> weak = sink;
    sink->post([weak, id = static_cast<MessageId>(messageId), end] {
        if (auto alive = weak.lock()) {
            alive->deliver(id, end);
        }
    });
}

std::string takeString(char* owned) {
    std::string text = owned ? owned : "";
    std::free(owned);
    return text;
}

}  // namespace

struct SpeechDispatcherEngine::Connection {
    SPDConnection* spd = nullptr;
    std::size_t clientId = 0;
    bool registered = false;
    std::string defaultModule;

    ~Connection() {
        if (spd != nullptr) {
            spd_close(spd);  // joins libspeechd's thread: no notification after this
        }
        if (registered) {
            std::lock_guard lock(registry().mutex);
            registry().sinks.erase(clientId);
        }
    }
};

SpeechDispatcherEngine::SpeechDispatcherEngine(Poster post, Log log)
    : post_(std::move(post)), log_(std::move(log)), sink_(std::make_shared<Sink>()) {
    sink_->post = post_;
    sink_->deliver = [this](MessageId id, SpeechEnd end) { ended(id, end); };
}

SpeechDispatcherEngine::~SpeechDispatcherEngine() {
    disconnect();
    sink_.reset();  // notifications already posted find no engine
}

bool SpeechDispatcherEngine::connect() {
    if (connection_) {
        return true;
    }
    char* error = nullptr;
    SPDConnection* spd =
        spd_open2("murmlark-ovra", "main", nullptr, SPD_MODE_THREADED, nullptr, 1, &error);
    const std::string why = takeString(error);
    if (spd == nullptr) {
        log_("speech-dispatcher is not available" + (why.empty() ? "" : ": " + why));
        return false;
    }
    auto connection = std::make_unique<Connection>();
    connection->spd = spd;
    spd->callback_end = onNotification;
    spd->callback_cancel = onNotification;
    const int clientId = spd_get_client_id(spd);
    if (clientId < 0) {
        log_("speech-dispatcher did not give this connection an id");
        return false;
    }
    connection->clientId = static_cast<std::size_t>(clientId);
    {
        std::lock_guard lock(registry().mutex);
        registry().sinks[connection->clientId] = sink_;
        connection->registered = true;
    }
    if (spd_set_notification_on(spd, SPD_END) != 0 ||
        spd_set_notification_on(spd, SPD_CANCEL) != 0) {
        log_("speech-dispatcher refused to report the end of speech");
        return false;
    }
    connection->defaultModule = takeString(spd_get_output_module(spd));
    connection_ = std::move(connection);
    voiceId_.reset();
    voiceSet_ = false;
    rate_ = 0;
    return true;
}

void SpeechDispatcherEngine::disconnect() {
    connection_.reset();
}

bool SpeechDispatcherEngine::applyVoice(const std::optional<std::string>& voiceId) {
    if (voiceSet_ && voiceId == voiceId_) {
        return true;
    }
    SPDConnection* spd = connection_->spd;
    bool ok = true;
    const auto parts = voiceId ? splitVoiceId(*voiceId) : std::nullopt;
    if (parts) {
        ok = spd_set_output_module(spd, parts->first.c_str()) == 0 &&
             spd_set_synthesis_voice(spd, parts->second.c_str()) == 0;
    } else {
        // The default: the daemon's own module, and a voice type instead of a named voice.
        if (!connection_->defaultModule.empty()) {
            ok = spd_set_output_module(spd, connection_->defaultModule.c_str()) == 0;
        }
        ok = spd_set_voice_type(spd, SPD_MALE1) == 0 && ok;
    }
    voiceId_ = voiceId;
    voiceSet_ = ok;
    if (!ok) {
        log_("speech-dispatcher refused the voice " + voiceId.value_or("(default)"));
    }
    return ok;
}

std::optional<MessageId> SpeechDispatcherEngine::speak(const Utterance& utterance) {
    if (!connect()) {
        return std::nullopt;
    }
    applyVoice(utterance.voiceId);
    if (utterance.rate != rate_ && spd_set_voice_rate(connection_->spd, utterance.rate) == 0) {
        rate_ = utterance.rate;
    }
    // "message" priority waits behind other programs' speech instead of cutting it off.
    const int id = spd_say(connection_->spd, SPD_MESSAGE, utterance.text.c_str());
    if (id < 0) {
        log_("speech-dispatcher did not take the text; reconnecting next time");
        disconnect();
        return std::nullopt;
    }
    return id;
}

void SpeechDispatcherEngine::cancelOwn() {
    if (connection_ && spd_cancel(connection_->spd) != 0) {
        log_("speech-dispatcher did not cancel; reconnecting next time");
        disconnect();
    }
}

std::vector<Voice> SpeechDispatcherEngine::voices() {
    if (voices_) {
        return *voices_;
    }
    if (!connect()) {
        return {};
    }
    SPDConnection* spd = connection_->spd;
    std::vector<Voice> all;
    char** modules = spd_list_modules(spd);
    for (char** module = modules; module != nullptr && *module != nullptr; ++module) {
        if (spd_set_output_module(spd, *module) != 0) {
            continue;
        }
        SPDVoice** list = spd_list_synthesis_voices(spd);
        for (SPDVoice** voice = list; voice != nullptr && *voice != nullptr; ++voice) {
            if ((*voice)->name == nullptr) {
                continue;
            }
            all.push_back({*module, (*voice)->name, (*voice)->language ? (*voice)->language : "",
                           (*voice)->variant ? (*voice)->variant : ""});
        }
        free_spd_voices(list);
    }
    free_spd_modules(modules);
    voiceSet_ = false;  // listing switched modules: set the voice again before speaking
    voices_ = std::move(all);
    return *voices_;
}

}  // namespace ovra::speech
