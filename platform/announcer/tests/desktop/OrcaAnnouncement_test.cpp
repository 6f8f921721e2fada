// Announcements reach Orca: a real Orca 43 runs in the virtual desktop with speech and braille
// off and writes what it would speak to its debug file.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/announcer/AccessibleAnnouncer.h"
#include "testing/Files.h"
#include "testing/desktop/LaunchedApp.h"
#include "testing/desktop/OrcaListener.h"

namespace ovra::announcer {
namespace {

// Whether Orca's debug file says it spoke the notification `text`.
bool spoke(const std::filesystem::path& debug, const std::string& text) {
    return ovra::testing::readText(debug).find("SPEECH OUTPUT: 'notification " + text) !=
           std::string::npos;
}

TEST(OrcaAnnouncement, OrcaSpeaksEachAnnouncementOfTheWindow) {
    const std::filesystem::path dir =
        std::filesystem::path(std::getenv("XDG_RUNTIME_DIR")) / "ovra-orca";
    std::filesystem::create_directories(dir);
    const auto debug = dir / "debug.out";
    // Orca runs once per user: test runs beside each other take turns.
    const ovra::testing::OrcaTurn orcaTurn;
    ASSERT_TRUE(orcaTurn.held());
    auto orca = ovra::testing::LaunchedApp::start({"orca", "--disable", "speech", "--disable",
                                                   "braille", "--disable", "main-window",
                                                   "--disable", "splash-window", "--user-prefs",
                                                   dir.string(), "--debug-file", debug.string()});
    ASSERT_TRUE(orca.running());

    QWidget window;
    window.setWindowTitle("Announcements");
    QPushButton button("Sign up", &window);
    window.resize(300, 120);
    window.show();
    AccessibleAnnouncer announcer(window);

    // Orca writes its debug file in blocks: later announcements push earlier lines out. The
    // event loop keeps turning, since Orca asks this process about every announcement.
    int sentinel = 0;
    const auto heard = [&](const std::string& text) {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 45'000) {
            QElapsedTimer turn;
            turn.start();
            while (turn.elapsed() < 1000) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            }
            if (spoke(debug, text)) {
                return true;
            }
            announcer.announce("Sentinel " + std::to_string(++sentinel),
                               AnnouncementPriority::medium);
        }
        return false;
    };
    ASSERT_TRUE(heard("Sentinel")) << "Orca never spoke an announcement";

    const std::string opening = "Ovra: 3 choices, 1 distraction hidden. 1, Sign up, button";
    const std::string selection = "2 of 3: Log in, link";
    announcer.announce(opening, AnnouncementPriority::high);
    announcer.announce(selection, AnnouncementPriority::high);
    EXPECT_TRUE(heard(opening));
    EXPECT_TRUE(heard(selection));
    orca.stop();
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace ovra::announcer

int main(int argc, char** argv) {
    // Screen readers see windows on the X server only; listing the tests needs no display.
    setenv("QT_QPA_PLATFORM", ovra::testing::onDesktop() ? "xcb" : "offscreen", 1);
    setenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
