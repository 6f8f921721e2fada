// A restarted accessibility bus hands the old bus names to other apps: nothing read on the old
// connection may reach whichever app holds those names on the new one.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "FakeAtspiApp.h"
#include "LaunchedApp.h"
#include "platform/atspi/AtspiBackend.h"

namespace ovra {
namespace {

using testing::eventually;
using testing::LaunchedApp;

// A session bus of this test's own that activates nothing, so every accessibility bus on it is
// one the test starts and ends. They get no X display (the bus launcher would announce its bus
// on the shared desktop's root window) and a runtime folder of their own.
class PrivateSession {
  public:
    PrivateSession() : dir_(std::filesystem::temp_directory_path() / "ovra-bus-XXXXXX") {
        std::string pattern = dir_.string();
        dir_ = mkdtemp(pattern.data());
        std::filesystem::create_directory(dir_ / "run");
        chmod((dir_ / "run").c_str(), 0700);
        std::ofstream(dir_ / "bus.conf")
            << "<busconfig><type>session</type><listen>unix:path=" << (dir_ / "session").string()
            << "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow "
               "send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow "
               "own=\"*\"/></policy></busconfig>";
        setenv("XDG_RUNTIME_DIR", (dir_ / "run").c_str(), 1);
        setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (dir_ / "session").string()).c_str(), 1);
        session_ =
            start({"dbus-daemon", "--nofork", "--config-file=" + (dir_ / "bus.conf").string()});
        eventually([&] { return std::filesystem::exists(dir_ / "session"); }, 10);
    }
    ~PrivateSession() {
        launcher_.stop();
        session_.stop();
        std::filesystem::remove_all(dir_);
    }

    // Ends the accessibility bus running (with every app on it) and starts a new one.
    bool restartAccessibilityBus() {
        launcher_.stop();
        const char* path = std::filesystem::exists("/usr/libexec/at-spi-bus-launcher")
                               ? "/usr/libexec/at-spi-bus-launcher"
                               : "/usr/lib/at-spi2-core/at-spi-bus-launcher";
        launcher_ = start({path, "--launch-immediately"});
        return eventually(
            [] {
                return std::system(
                           "dbus-send --session --print-reply --dest=org.a11y.Bus "
                           "/org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1") == 0;
            },
            10);
    }

  private:
    static LaunchedApp start(std::vector<std::string> argv) {
        const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
        unsetenv("DISPLAY");
        auto app = LaunchedApp::start(std::move(argv));
        if (!display.empty()) {
            setenv("DISPLAY", display.c_str(), 1);
        }
        return app;
    }

    std::filesystem::path dir_;
    LaunchedApp session_;
    LaunchedApp launcher_;
};

// Another app in a process of its own: told a bus name number, it joins the accessibility bus
// under that name (or the next free one), and on request says how many calls reached its
// objects. Forked while this process has no threads yet.
class OtherApp {
  public:
    OtherApp() {
        // Kept from the processes started later, or the other app would never see its end.
        int down[2], up[2];
        if (pipe2(down, O_CLOEXEC) != 0 || pipe2(up, O_CLOEXEC) != 0) {
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            close(down[1]);
            close(up[0]);
            serve(fdopen(down[0], "r"), up[1]);
            _exit(0);
        }
        close(down[0]);
        close(up[1]);
        commands_ = down[1];
        answers_ = fdopen(up[0], "r");
    }
    ~OtherApp() {
        close(commands_);
        if (answers_ != nullptr) {
            fclose(answers_);
        }
        if (pid_ > 0) {
            waitpid(pid_, nullptr, 0);
        }
    }
    pid_t pid() const { return pid_; }

    std::string join(int nameNumber) {
        dprintf(commands_, "%d\n", nameNumber);
        char name[64] = "";
        return std::fscanf(answers_, " name=%63[^\n]", name) == 1 ? name : "";
    }
    int objectCalls() {
        dprintf(commands_, "?\n");
        int calls = -1;
        return std::fscanf(answers_, "%d", &calls) == 1 ? calls : -1;
    }

  private:
    static void serve(FILE* commands, int answers) {
        int number = 0;
        if (commands == nullptr || std::fscanf(commands, "%d", &number) != 1) {
            return;
        }
        testing::FakeAtspiApp app(false, number);
        dprintf(answers, "name=%s\n", app.ready() ? app.busName().c_str() : "none");
        char ask = 0;
        while (std::fscanf(commands, " %c", &ask) == 1) {
            dprintf(answers, "%d\n", app.objectCalls());
        }
    }

    pid_t pid_ = -1;
    int commands_ = -1;
    FILE* answers_ = nullptr;
};

TEST(AccessibilityBusRestart, NothingReadBeforeReachesTheAppThatHoldsTheSameNameAfter) {
    if (std::getenv("OVRA_DESKTOP") == nullptr) {
        GTEST_SKIP() << "needs a desktop: run under scripts/with-desktop";
    }
    PrivateSession session;
    ASSERT_TRUE(session.restartAccessibilityBus());
    OtherApp other;
    ASSERT_GT(other.pid(), 0);

    // This process's app, read and remembered by the backend.
    auto first = std::make_unique<testing::FakeAtspiApp>(false, 20);
    ASSERT_TRUE(first->ready());
    const std::string name = first->busName();
    atspi::AtspiBackend backend;
    const ax::RunningApp self{getpid(), std::nullopt};
    ax::Element app;
    ASSERT_TRUE(eventually([&] {
        app = backend.applicationElement(self);
        return app.key().starts_with(name);
    }));
    auto window = backend.attribute(app, "AXFocusedWindow");
    ASSERT_TRUE(window.ok());
    const ax::Element windowElement = ax::asElement(window.value()).value_or(ax::Element());
    auto children = backend.children(windowElement, 8);
    ASSERT_TRUE(children.ok());
    ax::Element button;
    for (const auto& child : children.value()) {
        button = child.key().ends_with("/w/b") ? child : button;
    }
    ASSERT_TRUE(backend.attribute(button, "AXTitle").ok());

    // The bus restarts, and the other app joins the new one under the same name.
    ASSERT_TRUE(session.restartAccessibilityBus());
    first.reset();
    ASSERT_EQ(other.join(std::atoi(name.substr(name.rfind('.') + 1).c_str())), name);
    ASSERT_TRUE(eventually([&] {
        return backend.applicationElement(ax::RunningApp{other.pid(), std::nullopt})
            .key()
            .starts_with(name);
    })) << "the backend never found the other app on the new bus";

    // The name is no longer this process's, and what was read of it is gone.
    EXPECT_FALSE(backend.applicationElement(self).key().starts_with(name));
    auto title = backend.attribute(button, "AXTitle");
    ASSERT_FALSE(title.ok());
    EXPECT_EQ(title.error(), ax::AXError::appGone);
    EXPECT_EQ(backend.performAction(button, "AXPress"), ax::AXError::appGone);
    EXPECT_EQ(backend.performAction(windowElement, "AXRaise"), ax::AXError::appGone);
    EXPECT_FALSE(backend.children(windowElement, 8).ok());
    EXPECT_EQ(other.objectCalls(), 0);
}

}  // namespace
}  // namespace ovra
