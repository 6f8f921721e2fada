// The uninstaller's question on the virtual desktop, typed at as a person types, for a copy
// installed into a temporary prefix with its files in a temporary HOME and XDG tree: Esc keeps
// everything; Tab then Return removes it all and puts the prefix in the Trash. With its cache
// folder on a mount that never answers, the question still opens at once, says so of that
// folder, and the window keeps answering throughout.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <QWindow>
#include <atomic>
#include <cstring>
#include <fstream>
#include <thread>

#include "app/maintenance/Uninstaller.h"
#include "app/maintenance/UninstallerDialogs.h"
#include "app/settings/ConfirmDialog.h"
#include "platform/keyboard/KeyboardWatcher.h"
#include "platform/scheduler/QtScheduler.h"
#include "testing/desktop/TypedKeys.h"

namespace ovra {
namespace {

namespace fs = std::filesystem;
constexpr std::uint16_t kEscape = 53, kTab = 48, kReturn = 36;

// Whether this process has mounts of its own (see main), which no other process sees.
bool ownMounts = false;

// A folder whose file system never answers, as a network mount whose server went away: a FUSE
// mount whose connection is never set up, so every look into it waits. Ending it aborts the
// connection, and whoever still looks gets an error.
class HungFolder {
  public:
    explicit HungFolder(fs::path at) : at_(std::move(at)) {
        fs::create_directories(at_);
        fd_ = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
        const std::string options =
            "fd=" + std::to_string(fd_) + ",rootmode=40000,user_id=0,group_id=0";
        mounted_ = fd_ >= 0 && ::mount("ovra-hung", at_.c_str(), "fuse", MS_NOSUID | MS_NODEV,
                                       options.c_str()) == 0;
        problem_ = mounted_ ? "" : std::strerror(errno);
    }
    ~HungFolder() { end(); }
    bool mounted() const { return mounted_; }
    const std::string& problem() const { return problem_; }
    void end() {
        if (fd_ >= 0) {
            ::close(std::exchange(fd_, -1));
        }
        if (std::exchange(mounted_, false)) {
            ::umount2(at_.c_str(), MNT_DETACH);
        }
    }

  private:
    fs::path at_;
    int fd_ = -1;
    bool mounted_ = false;
    std::string problem_;
};

TEST(UninstallerDesktop, EscKeepsEverythingAndTabThenReturnRemovesAnInstalledCopy) {
    ASSERT_EQ(std::system("setxkbmap us"), 0);
    char pattern[] = "/tmp/ovra-remove.XXXXXX";
    const fs::path root = ::mkdtemp(pattern), prefix = root / "apps/murmlark-ovra";
    for (const char* name :
         {"HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"})
        ::setenv(name, (root / name).c_str(), 1);
    const std::string install =
        CMAKE_COMMAND " --install " OVRA_BUILD_DIR " --prefix '" + prefix.string() + "' >/dev/null";
    ASSERT_EQ(std::system(install.c_str()), 0);
    std::vector<fs::path> ours;  // the desktop file is the install's
    for (const char* file :
         {"XDG_CONFIG_HOME/murmlark-ovra/ai.qeld.murmlark-ovra.json",
          "XDG_STATE_HOME/MurmlarkOvra/setup.log", "XDG_DATA_HOME/Murmlark Ovra/x",
          "XDG_CACHE_HOME/ai.qeld.murmlark-ovra/x",
          "HOME/.cache/huggingface/hub/models--f03b9d2--vorn-mlx/x",
          "XDG_DATA_HOME/applications/murmlark-ovra.desktop"}) {
        fs::create_directories((root / file).parent_path());
        if (ours.emplace_back(root / file).extension() != ".desktop")
            std::ofstream(root / file) << "{}";
    }

    auto watcher = keyboard::KeyboardWatcher::open();
    auto layout = keyboard::KeyboardLayout::fromNames("us");
    ASSERT_TRUE(watcher.ok() && layout.ok());
    testing::TypedKeys keys(std::move(layout).value());
    Uninstaller::Services services;
    services.confirm = [&](const UninstallerText::Question& question) {
        ConfirmDialog dialog(UninstallerDialogs::model(question), false,
                             {nullptr, [&] { return &watcher.value()->layout(); }, {}});
        return dialog.runModal(nullptr);  // as the settings window asks it, over itself
    };
    // Types once the dialog has the keyboard; closes it (a Cancel) if the keys never arrive.
    const auto answer = [&](std::initializer_list<std::uint16_t> typed) {
        QTimer typist, giveUp;
        QObject::connect(&typist, &QTimer::timeout, [&] {
            if (QGuiApplication::focusWindow() != nullptr) {
                typist.stop();
                for (const auto key : typed)
                    keys.tap(key);
            }
        });
        QObject::connect(&giveUp, &QTimer::timeout, [] {
            if (QWidget* dialog = QApplication::activeModalWidget())
                dialog->close();
        });
        typist.start(50);
        giveUp.start(30'000);
        return Uninstaller({paths::processEnvironment, "ai.qeld.murmlark-ovra", prefix}, services,
                           false)
            .confirmAndRemove();
    };

    EXPECT_FALSE(answer({kEscape}));
    for (const auto& file : ours)
        EXPECT_TRUE(fs::exists(file)) << file;
    EXPECT_TRUE(fs::exists(prefix / "bin/murmlark-ovra"));
    EXPECT_TRUE(answer({kTab, kReturn}));
    for (const auto& file : ours)
        EXPECT_FALSE(fs::exists(file)) << file;
    EXPECT_FALSE(fs::exists(prefix));
    const fs::path trash = root / "XDG_DATA_HOME/Trash";
    EXPECT_TRUE(fs::exists(trash / "files/murmlark-ovra/bin/murmlark-ovra") &&
                fs::exists(trash / "info/murmlark-ovra.trashinfo"));
    fs::remove_all(root);
}

TEST(UninstallerDesktop, AFolderThatDoesNotAnswerIsToldWhileTheWindowKeepsAnswering) {
    ASSERT_TRUE(ownMounts) << "needs to mount a file system of its own (as root)";
    ASSERT_EQ(std::system("setxkbmap us"), 0);
    char pattern[] = "/tmp/ovra-remove.XXXXXX";
    const fs::path root = ::mkdtemp(pattern);
    for (const char* name :
         {"HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"})
        ::setenv(name, (root / name).c_str(), 1);
    fs::create_directories(root / "XDG_STATE_HOME/MurmlarkOvra");
    std::ofstream(root / "XDG_STATE_HOME/MurmlarkOvra/setup.log") << "x";
    const fs::path cache = root / "XDG_CACHE_HOME/ai.qeld.murmlark-ovra";
    HungFolder hung(cache);
    ASSERT_TRUE(hung.mounted()) << hung.problem();

    auto watcher = keyboard::KeyboardWatcher::open();
    auto layout = keyboard::KeyboardLayout::fromNames("us");
    ASSERT_TRUE(watcher.ok() && layout.ok());
    testing::TypedKeys keys(std::move(layout).value());
    QtScheduler scheduler;
    // Each look on a thread of its own, as the app does; counted, to wait for the hung one.
    auto looking = std::make_shared<std::atomic<int>>(0);
    Uninstaller::Services services;
    services.scheduler = &scheduler;
    services.offload = [looking](std::function<void()> work, std::function<void()> then) {
        ++*looking;
        std::thread([looking, work = std::move(work), then = std::move(then)] {
            work();
            QMetaObject::invokeMethod(qApp, then);
            --*looking;
        }).detach();
    };
    ConfirmDialog* open = nullptr;
    std::vector<std::string> said;
    services.confirm = [&](const UninstallerText::Question& question) {
        said.push_back(question.message);
        ConfirmDialog dialog(UninstallerDialogs::model(question), false,
                             {nullptr, [&] { return &watcher.value()->layout(); }, {}});
        open = &dialog;
        const bool answer = dialog.runModal(nullptr);
        open = nullptr;
        return answer;
    };
    services.update = [&](const UninstallerText::Question& question) {
        said.push_back(question.message);
        if (open != nullptr) {
            open->setMessage(question.message);
        }
    };
    // Esc once the dialog has the keyboard and says the folder does not answer: the UI thread
    // turns while the look hangs. Only when it never does, the dialog is given up.
    bool escaped = false;
    QTimer typist, giveUp;
    QObject::connect(&typist, &QTimer::timeout, [&] {
        if (open != nullptr && QGuiApplication::focusWindow() != nullptr &&
            open->model().message.find(" does not answer") != std::string::npos) {
            typist.stop();
            escaped = true;
            keys.tap(kEscape);
        }
    });
    QObject::connect(&giveUp, &QTimer::timeout, [] {
        if (QWidget* dialog = QApplication::activeModalWidget())
            dialog->close();
    });
    typist.start(50);
    giveUp.start(30'000);
    EXPECT_FALSE(
        Uninstaller({paths::processEnvironment, "ai.qeld.murmlark-ovra", {}}, services, false)
            .confirmAndRemove());
    ASSERT_FALSE(said.empty());
    EXPECT_NE(said.front().find("Counting the space"), std::string::npos) << said.front();
    EXPECT_NE(said.back().find("XDG_CACHE_HOME/ai.qeld.murmlark-ovra does not answer"),
              std::string::npos)
        << said.back();
    EXPECT_TRUE(escaped) << "the dialog never had the keyboard with the folder's answer";

    // Its look ends with an error once the mount goes.
    hung.end();
    EXPECT_TRUE(testing::eventually([&] { return *looking == 0; }, 10));
    fs::remove_all(root);
}

}  // namespace
}  // namespace ovra

int main(int argc, char** argv) {
    // Mounts of this process's own, before any thread starts: the hung folder is seen by no
    // other process, and goes with this one however it ends.
    ovra::ownMounts = ::unshare(CLONE_NEWNS) == 0 &&
                      ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    // The dialog must be on the X server to take typed keys; listing the tests needs no display.
    setenv("QT_QPA_PLATFORM", ovra::testing::onDesktop() ? "xcb" : "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}