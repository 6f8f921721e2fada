#include "platform/desktopstatus/ScreenReaderStatus.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QThreadPool>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string_view>

#include "platform/desktopstatus/AccessibilityStatus.h"
#include "platform/paths/Paths.h"
#include "platform/qt/MainThread.h"

namespace ovra::desktopstatus {

namespace {

constexpr std::size_t kMaxEnvironment = 256 * 1024;

// ":1.0" and ":1" are the same display: the screen number is dropped.
std::string displayName(const std::string& display) {
    const auto colon = display.rfind(':');
    const auto dot = display.find('.', colon == std::string::npos ? 0 : colon);
    return dot == std::string::npos ? display : display.substr(0, dot);
}

std::string variable(const char* name) {
    return paths::processEnvironment(name).value_or("");
}

// The session a process runs in, from the first 256 KiB of its environment (unreadable counts
// as none).
Session sessionOf(const std::filesystem::path& process) {
    std::ifstream in(process / "environ", std::ios::binary);
    std::string text(kMaxEnvironment, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    Session session;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\0', start), text.size());
        const std::string_view entry(text.data() + start, end - start);
        if (entry.starts_with("DBUS_SESSION_BUS_ADDRESS=")) {
            session.bus = entry.substr(entry.find('=') + 1);
        } else if (entry.starts_with("DISPLAY=")) {
            session.display = entry.substr(entry.find('=') + 1);
        }
        start = end + 1;
    }
    return session;
}

}  // namespace

Session Session::ofThisProcess() {
    return {variable("DBUS_SESSION_BUS_ADDRESS"), variable("DISPLAY")};
}

bool isOwnScreenReader(const std::string& command, unsigned theirUid, const Session& theirs,
                       unsigned ownUid, const Session& ours) {
    if (command != "orca" || theirUid != ownUid) {
        return false;
    }
    const bool sameBus = !ours.bus.empty() && theirs.bus == ours.bus;
    const bool sameDisplay =
        !ours.display.empty() && displayName(theirs.display) == displayName(ours.display);
    return sameBus || sameDisplay;
}

bool ownScreenReaderRuns(unsigned ownUid, const Session& ours, const std::filesystem::path& proc) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(proc, error)) {
        const std::string pid = entry.path().filename().string();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::ifstream comm(entry.path() / "comm");
        std::string command;
        struct stat owner {};
        if (!std::getline(comm, command) || command != "orca" ||
            ::stat(entry.path().c_str(), &owner) != 0) {
            continue;
        }
        if (isOwnScreenReader(command, owner.st_uid, sessionOf(entry.path()), ownUid, ours)) {
            return true;
        }
    }
    return false;
}

struct ScreenReaderWatch::State {
    bool running = false;
    bool checking = false;
    std::optional<bool> bus;
    std::optional<bool> process;

    void answered() {
        if (bus && process) {
            running = *bus || *process;
            checking = false;
            bus.reset();
            process.reset();
        }
    }
};

ScreenReaderWatch::ScreenReaderWatch() : state_(std::make_shared<State>()) {
    running();
}

ScreenReaderWatch::~ScreenReaderWatch() = default;

bool ScreenReaderWatch::running() {
    const bool last = state_->running;
    if (state_->checking) {
        return last;
    }
    state_->checking = true;
    const std::weak_ptr<State> weak = state_;
    askScreenReaderEnabled([weak](bool enabled) {
        if (auto state = weak.lock()) {
            state->bus = enabled;
            state->answered();
        }
    });
    QThreadPool::globalInstance()->start([weak, uid = ::getuid(), ours = Session::ofThisProcess()] {
        const bool found = ownScreenReaderRuns(uid, ours);
        postToMainThread([weak, found] {
            if (auto state = weak.lock()) {
                state->process = found;
                state->answered();
            }
        });
    });
    return last;
}

}  // namespace ovra::desktopstatus
