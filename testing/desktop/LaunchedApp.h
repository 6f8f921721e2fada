#pragma once

// The desktop tests' and benchmarks' way to start real apps: each in its own process group, and
// that group (and only it) ended when it goes out of scope; waiting for what they show; the
// local pages they open.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace ovra::testing {

class LaunchedApp {
  public:
    LaunchedApp() = default;
    LaunchedApp(const LaunchedApp&) = delete;
    LaunchedApp& operator=(const LaunchedApp&) = delete;
    LaunchedApp& operator=(LaunchedApp&& other) noexcept {
        if (this != &other) {
            stop();
            pid_ = std::exchange(other.pid_, 0);
            code_ = std::exchange(other.code_, std::nullopt);
            scratch_ = std::move(other.scratch_);
        }
        return *this;
    }
    LaunchedApp(LaunchedApp&& other) noexcept
        : pid_(std::exchange(other.pid_, 0)),
          code_(std::exchange(other.code_, std::nullopt)),
          scratch_(std::move(other.scratch_)) {}
    ~LaunchedApp() { stop(); }

    static LaunchedApp start(std::vector<std::string> argv, std::string scratch = {}) {
        LaunchedApp app;
        app.scratch_ = std::move(scratch);
        std::vector<char*> args;
        for (auto& arg : argv) {
            args.push_back(arg.data());
        }
        args.push_back(nullptr);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        pid_t pid = 0;
        if (posix_spawnp(&pid, args[0], nullptr, &attributes, args.data(), environ) == 0) {
            app.pid_ = pid;
        }
        posix_spawnattr_destroy(&attributes);
        return app;
    }

    // Firefox ESR on a local page, with a profile left at its defaults in `profile` (an empty
    // folder, or that of a running Firefox: the page then opens in a new tab of it), but for the
    // privacy notice of a first start: a tab of its own, opened a while later, which would take
    // the page's place in front (and, with no network, shows "Problem loading page").
    static LaunchedApp firefox(const std::string& url, const std::string& profile) {
        std::FILE* prefs =
            profile.empty() ? nullptr : std::fopen((profile + "/user.js").c_str(), "a");
        if (prefs != nullptr) {
            std::fputs(
                "user_pref(\"datareporting.policy.dataSubmissionPolicyBypassNotification\", "
                "true);\nuser_pref(\"datareporting.policy.firstRunURL\", \"\");\n",
                prefs);
            std::fclose(prefs);
        }
        return start({"firefox-esr", "--profile", profile, url});
    }

    // Firefox ESR on a local page, in a fresh profile of its own that goes when it stops.
    static LaunchedApp firefoxInOwnProfile(const std::string& url) {
        char pattern[] = "/tmp/ovra-firefox.XXXXXX";
        const std::string profile = mkdtemp(pattern) ? pattern : "";
        LaunchedApp app = firefox(url, profile);
        app.scratch_ = profile;
        return app;
    }

    // Chromium on a local page with accessibility forced on (or left off, to test the wake), and
    // `more` switches. Its window is 1200 by 900 at the screen's corner unless `size` says
    // otherwise ("1000,800").
    static LaunchedApp chromium(const std::string& url, bool forceAccessibility = true,
                                const std::vector<std::string>& more = {},
                                const std::string& size = "1200,900") {
        char pattern[] = "/tmp/ovra-chromium.XXXXXX";
        const char* dir = mkdtemp(pattern);
        std::string profile = dir ? dir : "/tmp/ovra-chromium";
        std::vector<std::string> argv{"chromium",
                                      "--no-sandbox",
                                      "--user-data-dir=" + profile,
                                      "--no-first-run",
                                      "--no-default-browser-check",
                                      "--disable-background-networking",
                                      "--disable-component-update",
                                      "--disable-sync",
                                      "--password-store=basic",
                                      "--disable-features=Translate,MediaRouter",
                                      "--disable-gpu"};
        argv.insert(argv.end(), more.begin(), more.end());
        argv.push_back("--window-position=0,0");
        argv.push_back("--window-size=" + size);
        if (forceAccessibility) {
            argv.push_back("--force-renderer-accessibility");
        }
        argv.push_back(url);
        return start(std::move(argv), profile);
    }

    pid_t pid() const { return pid_; }
    // False once the process has ended, also before it is reaped (a crash leaves a zombie,
    // which still takes signals).
    bool running() const {
        if (pid_ <= 0) {
            return false;
        }
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
            return false;
        }
        return info.si_pid == 0;
    }

    // Its exit code (128 + the signal when a signal ended it) once it ends within `seconds`.
    std::optional<int> exitCode(double seconds) {
        const auto until = std::chrono::steady_clock::now() +
                           std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
        while (pid_ > 0 && !code_) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            } else if (std::chrono::steady_clock::now() >= until) {
                break;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
        return code_;
    }

    void signal(int number) const {
        if (pid_ > 0) {
            kill(pid_, number);
        }
    }

    void stop() {
        const pid_t group = std::exchange(pid_, 0);
        if (group > 0) {
            kill(-group, SIGCONT);
            kill(-group, SIGTERM);
            bool reaped = code_.has_value();
            for (int i = 0; i < 50 && !reaped; ++i) {
                reaped = waitpid(group, nullptr, WNOHANG) == group;
                if (!reaped) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                }
            }
            // The group is ours alone (see start): end what is left of it.
            kill(-group, SIGKILL);
            if (!reaped) {
                waitpid(group, nullptr, 0);
            }
        }
        if (!scratch_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(scratch_, ignored);
            scratch_.clear();
        }
    }

  private:
    pid_t pid_ = 0;
    std::optional<int> code_;
    std::string scratch_;
};

// Inside the private desktop of scripts/with-desktop. Desktop test programs need not ask: the
// guard linked into each skips them all elsewhere.
inline bool onDesktop() {
    return std::getenv("OVRA_DESKTOP") != nullptr;
}

// Polls `done` every 100 ms for at most `seconds`; true once it holds.
inline bool eventually(const std::function<bool()>& done, double seconds = 30) {
    const auto until = std::chrono::steady_clock::now() +
                       std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
    while (std::chrono::steady_clock::now() < until) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return done();
}

inline std::string fixtureUrl(const std::string& name) {
    const char* source = std::getenv("OVRA_SOURCE_DIR");
    const std::filesystem::path pages =
        source ? std::filesystem::path(source) / "testing/desktop/pages"
               : std::filesystem::path(__FILE__).parent_path() / "pages";
    return "file://" + std::filesystem::absolute(pages / name).string();
}

}  // namespace ovra::testing
