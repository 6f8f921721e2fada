// The uninstaller's question on the virtual desktop, typed at as a person types, for a copy
// installed into a temporary prefix with its files in a temporary HOME and XDG tree: Esc keeps
// everything; Tab then Return removes it all and puts the prefix in the Trash.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWindow>
#include <fstream>

#include "app/maintenance/Uninstaller.h"
#include "app/maintenance/UninstallerDialogs.h"
#include "app/settings/ConfirmDialog.h"
#include "platform/keyboard/KeyboardWatcher.h"
#include "testing/desktop/TypedKeys.h"

namespace ovra {
namespace {

namespace fs = std::filesystem;
constexpr std::uint16_t kEscape = 53, kTab = 48, kReturn = 36;

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

}  // namespace
}  // namespace ovra

int main(int argc, char** argv) {
    // The dialog must be on the X server to take typed keys; listing the tests needs no display.
    setenv("QT_QPA_PLATFORM", ovra::testing::onDesktop() ? "xcb" : "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
