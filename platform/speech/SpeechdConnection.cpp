#include "platform/speech/SpeechdConnection.h"

#include <poll.h>
#include <speech-dispatcher/libspeechd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

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

namespace {

// libspeechd's callbacks carry no user data, only the client id of their connection: this
// table finds where a notification goes. Each entry carries the serial of the connection that
// made it, so a connection that closes late never removes a newer one's entry.
struct Registry {
    struct Entry {
        std::uint64_t serial = 0;
        SpeechdConnection::Notify notify;
    };
    std::mutex mutex;
    std::map<std::size_t, Entry> entries;
    std::uint64_t lastSerial = 0;
};
Registry& registry() {
    static Registry table;
    return table;
}

void onNotification(std::size_t messageId, std::size_t clientId, SPDNotificationType type) {
    std::lock_guard lock(registry().mutex);
    const auto it = registry().entries.find(clientId);
    if (it != registry().entries.end() && it->second.notify) {
        it->second.notify(static_cast<MessageId>(messageId),
                          type == SPD_EVENT_END ? SpeechEnd::finished : SpeechEnd::cancelled);
    }
}

std::string takeString(char* owned) {
    std::string text = owned ? owned : "";
    std::free(owned);
    return text;
}

}  // namespace

struct SpeechdConnection::Handle {
    SPDConnection* spd = nullptr;
    std::size_t clientId = 0;
    std::uint64_t serial = 0;
    std::string defaultModule;

    ~Handle() {
        if (spd != nullptr) {
            // After a broken socket libspeechd has closed the descriptor itself: closing it
            // again could close one another thread has opened since.
            if (spd->stream == nullptr) {
                spd->socket = -1;
            }
            spd_close(spd);  // joins libspeechd's thread: no notification after this
        }
        if (serial != 0) {
            std::lock_guard lock(registry().mutex);
            const auto it = registry().entries.find(clientId);
            if (it != registry().entries.end() && it->second.serial == serial) {
                registry().entries.erase(it);
            }
        }
    }
};

std::string SpeechdConnection::unixAddress() {
    char* error = nullptr;
    SPDConnectionAddress* address = spd_get_default_address(&error);
    std::free(error);
    std::string path;
    if (address != nullptr && address->method == SPD_METHOD_UNIX_SOCKET &&
        address->unix_socket_name != nullptr) {
        path = address->unix_socket_name;
    }
    SPDConnectionAddress__free(address);
    return path;
}

Result<std::unique_ptr<SpeechdConnection>> SpeechdConnection::open(Notify notify) {
    char* error = nullptr;
    SPDConnection* spd =
        spd_open2("murmlark-ovra", "main", nullptr, SPD_MODE_THREADED, nullptr, 1, &error);
    const std::string why = takeString(error);
    if (spd == nullptr) {
        return fail("speech-dispatcher is not available" + (why.empty() ? "" : ": " + why));
    }
    auto handle = std::make_unique<Handle>();
    handle->spd = spd;
    spd->callback_end = onNotification;
    spd->callback_cancel = onNotification;
    const int clientId = spd_get_client_id(spd);
    if (clientId < 0) {
        return fail(std::string("speech-dispatcher did not give this connection an id"));
    }
    handle->clientId = static_cast<std::size_t>(clientId);
    {
        std::lock_guard lock(registry().mutex);
        handle->serial = ++registry().lastSerial;
        registry().entries[handle->clientId] = {handle->serial, std::move(notify)};
    }
    if (spd_set_notification_on(spd, SPD_END) != 0 ||
        spd_set_notification_on(spd, SPD_CANCEL) != 0) {
        return fail(std::string("speech-dispatcher refused to report the end of speech"));
    }
    handle->defaultModule = takeString(spd_get_output_module(spd));
    return std::unique_ptr<SpeechdConnection>(new SpeechdConnection(std::move(handle)));
}

SpeechdConnection::SpeechdConnection(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}

SpeechdConnection::~SpeechdConnection() = default;

int SpeechdConnection::socket() const {
    return handle_->spd->socket;
}

bool SpeechdConnection::broken() const {
    return handle_->spd->stream == nullptr;
}

bool SpeechdConnection::applyVoice(const std::optional<std::string>& voiceId) {
    if (voiceSet_ && voiceId == voiceId_) {
        return true;
    }
    SPDConnection* spd = handle_->spd;
    bool ok = true;
    const auto parts = voiceId ? splitVoiceId(*voiceId) : std::nullopt;
    if (parts) {
        ok = spd_set_output_module(spd, parts->first.c_str()) == 0 &&
             spd_set_synthesis_voice(spd, parts->second.c_str()) == 0;
    } else {
        // The default: the daemon's own module, and a voice type instead of a named voice.
        if (!handle_->defaultModule.empty()) {
            ok = spd_set_output_module(spd, handle_->defaultModule.c_str()) == 0;
        }
        ok = spd_set_voice_type(spd, SPD_MALE1) == 0 && ok;
    }
    voiceId_ = voiceId;
    voiceSet_ = ok;
    return ok;
}

std::optional<MessageId> SpeechdConnection::say(const Utterance& utterance) {
    problem_.clear();
    if (!applyVoice(utterance.voiceId)) {
        problem_ = "speech-dispatcher refused the voice " + utterance.voiceId.value_or("(default)");
    }
    if (utterance.rate != rate_ && spd_set_voice_rate(handle_->spd, utterance.rate) == 0) {
        rate_ = utterance.rate;
    }
    // "message" priority waits behind other programs' speech instead of cutting it off.
    const int id = spd_say(handle_->spd, SPD_MESSAGE, utterance.text.c_str());
    if (id < 0) {
        problem_ = "speech-dispatcher did not take the text";
        return std::nullopt;
    }
    return id;
}

bool SpeechdConnection::cancel() {
    problem_.clear();
    if (spd_cancel(handle_->spd) != 0) {
        problem_ = "speech-dispatcher did not cancel";
        return false;
    }
    return true;
}

std::vector<Voice> SpeechdConnection::voices() {
    SPDConnection* spd = handle_->spd;
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
        if (list != nullptr) {
            free_spd_voices(list);
        }
    }
    if (modules != nullptr) {
        free_spd_modules(modules);
    }
    voiceSet_ = false;  // listing switched modules: set the voice again before speaking
    problem_ = all.empty() ? "speech-dispatcher listed no voices" : "";
    return all;
}

void SpeechdConnection::interrupt(int socket, unsigned long inode) {
    if (socket >= 0 && inode != 0 && inodeOf(socket) == inode) {
        ::shutdown(socket, SHUT_RDWR);
    }
}

bool SpeechdConnection::peerGone(int socket, unsigned long inode) {
    if (inode == 0 || inodeOf(socket) != inode) {
        return true;
    }
    pollfd state{socket, POLLRDHUP, 0};
    return ::poll(&state, 1, 0) == 1 && (state.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

unsigned long SpeechdConnection::inodeOf(int socket) {
    struct stat info {};
    if (socket < 0 || ::fstat(socket, &info) != 0 || !S_ISSOCK(info.st_mode)) {
        return 0;
    }
    return static_cast<unsigned long>(info.st_ino);
}

}  // namespace ovra::speech
