// The shell's Qt pieces: PNG files, the island's geometry and drawing, the bird, termination
// signals, the single running copy on a session bus of the test's own, and the stall watchdog.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QProcess>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "app/overlay/StyleKit.h"
#include "app/overlay/Suite.h"
#include "app/shell/AppLifetime.h"
#include "app/shell/HomeIslandView.h"
#include "app/shell/MenuBarIcon.h"
#include "app/shell/PngFile.h"
#include "app/shell/SingleInstance.h"
#include "app/shell/StallWatchdog.h"
#include "app/shell/SystemTray.h"
#include "app/shell/TerminationSignals.h"
#include "platform/qt/MainThreadActivity.h"
#include "platform/scheduler/ManualScheduler.h"
#include "testing/Files.h"

namespace ovra {
namespace {

namespace fs = std::filesystem;

TEST(PngFile, WritesThroughATemporaryFileAndReplacesAPlantedLink) {
    const testing::ScratchFolder folder("shell");
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(Qt::red);
    const fs::path victim = folder / "victim";
    std::ofstream(victim) << "keep";
    fs::create_symlink(victim, folder / "shot.png");

    EXPECT_EQ(writePngFile(image, (folder / "shot.png").string()), std::nullopt);
    EXPECT_FALSE(fs::is_symlink(folder / "shot.png"));
    EXPECT_EQ(QImage(QString::fromStdString((folder / "shot.png").string())).pixelColor(0, 0),
              QColor(Qt::red));
    std::string kept;
    std::ifstream(victim) >> kept;
    EXPECT_EQ(kept, "keep");

    EXPECT_EQ(writePngFile(image, (folder / "missing" / "shot.png").string()),
              "No such file or directory");
    EXPECT_EQ(writePngFile(QImage(), (folder / "null.png").string()),
              "the picture could not be encoded as PNG");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 2);
}

HomeIslandModel islandModel(int items, double textScale, IslandGeometry geometry = {0, 28}) {
    HomeIslandModel model;
    std::vector<HomeItem> list;
    for (int i = 0; i < items; ++i) {
        list.push_back({"id" + std::to_string(i),
                        "Settings",
                        "Colors, text size, voice, your choices",
                        "gearshape.fill",
                        {}});
    }
    model.setContent(list, {"Accessibility access on", "On-device model ready"});
    model.textScale = textScale;
    model.geometry = geometry;
    return model;
}

TEST(HomeIslandView, TheIslandStaysInsideTheScreenAtEveryTextScale) {
    const struct {
        QSizeF screen;
        double textScale;
        double scale;  // the scale in use
        double width;
    } cases[] = {
        {{1280, 1024}, 1.0, 1.0, 620},
        {{1280, 1024}, 0.5, 1.0, 620},   // below the choices: clamped
        {{3840, 2160}, 1.5, 1.5, 930},   // rows of 96 and more, 930 wide
        {{3840, 2160}, 7.0, 2.0, 1240},  // above the choices: clamped
        {{3840, 2160}, std::nan(""), 1.0, 620},
        {{500, 1024}, 1.0, 1.0, 468},  // narrow screen: 16 each side
    };
    for (const auto& c : cases) {
        const HomeIslandModel model = islandModel(7, c.textScale);
        const IslandLayout layout = HomeIslandView::layout(model, c.screen);
        EXPECT_DOUBLE_EQ(layout.scale, c.scale) << c.textScale;
        EXPECT_DOUBLE_EQ(layout.island.width(), c.width) << c.textScale;
        EXPECT_GE(layout.rows.front().row.height(), 64 * c.scale);
        EXPECT_GE(layout.windowOrigin.x(), 16);
        EXPECT_LE(layout.windowOrigin.y() + layout.island.height(), c.screen.height() - 16);
        EXPECT_DOUBLE_EQ(layout.windowOrigin.y(), 28 + 8);
    }
    // Large text on a short screen: the scale shrinks until the island fits below the panel.
    const HomeIslandModel tall = islandModel(7, 2.0);
    const IslandLayout fitted = HomeIslandView::layout(tall, {1280, 720});
    EXPECT_LT(fitted.scale, 2.0);
    EXPECT_GT(fitted.scale, 0.5);
    EXPECT_LE(fitted.windowOrigin.y() + fitted.island.height(), 720 - 16);
    EXPECT_GT(fitted.windowOrigin.y() + fitted.island.height(), 720 - 16 - 80);
    // A notch: the island hangs from the very top, its content below the notch.
    const IslandLayout notched =
        HomeIslandView::layout(islandModel(6, 1.0, {185, 32}), {1280, 1024});
    EXPECT_EQ(notched.windowOrigin.y(), 0);
    EXPECT_GE(notched.rows.front().row.top(), 32 + 16);
}

TEST(HomeIslandView, TheSelectedRowCarriesTheThemeAndTheShellIsSlate) {
    HomeIslandModel model = islandModel(3, 1.0);
    model.theme = BeaconTheme::cyan;
    model.setSelection(1);
    const IslandLayout layout = HomeIslandView::layout(model, {1280, 1024});
    QImage image(layout.island.size().toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    HomeIslandView::paint(painter, model, layout, 1, false, false);
    painter.end();
    const QColor cyan = qColor(BeaconTheme(BeaconTheme::cyan).color());
    const auto near = [](QColor a, QColor b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                   std::abs(a.blue() - b.blue()) <
               40;
    };
    // The selected badge's disc is the theme colour; an unselected badge's disc is black.
    const QPointF selectedDisc = layout.rows[1].badge.center() + QPointF(-12, 12);
    const QPointF otherDisc = layout.rows[0].badge.center() + QPointF(-12, 12);
    EXPECT_TRUE(near(image.pixelColor(selectedDisc.toPoint()), cyan));
    EXPECT_TRUE(near(image.pixelColor(otherDisc.toPoint()), Qt::black));
    // The selected row's outline: the theme's stroke on its left edge.
    const QPointF edge(layout.rows[1].row.left(), layout.rows[1].row.center().y());
    EXPECT_TRUE(near(image.pixelColor(edge.toPoint()), cyan));
    // Between rows and hints: the slate shell.
    EXPECT_TRUE(near(image.pixelColor(QPoint(4, static_cast<int>(layout.island.center().y()))),
                     qColor(Suite::slate)));
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);  // a rounded corner
}

TEST(MenuBarIcon, TheBirdComesFromItsResourceElseADashedCircle) {
    const testing::ScratchFolder folder("shell");
    ASSERT_TRUE(MenuBarIcon::renderTrayResource(36).save(
        QString::fromStdString((folder / "menubar-ovra.png").string())));
    const QImage bird = MenuBarIcon::image(folder / "menubar-ovra.png");
    EXPECT_EQ(bird.deviceIndependentSize(), QSizeF(18, 18));
    const QImage circle = MenuBarIcon::image(folder / "absent.png");
    EXPECT_EQ(circle.deviceIndependentSize(), QSizeF(18, 18));
    EXPECT_NE(bird, circle);
    // White wherever the base has paint, clear elsewhere.
    const QImage white = MenuBarIcon::whiteImage(folder / "menubar-ovra.png");
    EXPECT_EQ(white.deviceIndependentSize(), QSizeF(36, 36));
    int painted = 0, other = 0;
    for (int y = 0; y < white.height(); ++y) {
        for (int x = 0; x < white.width(); ++x) {
            const QColor c = white.pixelColor(x, y);
            (c == QColor(Qt::white) ? painted : other) += c.alpha() == 255 ? 1 : 0;
        }
    }
    EXPECT_EQ(other, 0);
    EXPECT_GT(painted, 200);
}

// The icon is made only once the tray's watcher has answered (or none runs); a silent one is
// asked again later, and the notice that no tray shows the icon comes once.
TEST(SystemTray, TheIconWaitsForATrayThatAnswers) {
    ManualScheduler clock;
    std::vector<std::function<void(desktopstatus::TrayHost)>> asked;
    SystemTray tray([](bool, const IslandScreen&) {}, clock,
                    [&asked](QObject&, std::function<void(desktopstatus::TrayHost)> answer) {
                        asked.push_back(std::move(answer));
                    });
    std::vector<bool> shown;
    tray.showName(true);
    tray.show([&shown](bool inTray) { shown.push_back(inTray); });
    ASSERT_EQ(asked.size(), 1u);
    asked[0](desktopstatus::TrayHost::silent);
    EXPECT_EQ(tray.icon(), nullptr);
    EXPECT_EQ(shown, std::vector<bool>{false});
    clock.advance(SystemTray::kAskAgainSeconds);
    ASSERT_EQ(asked.size(), 2u);
    asked[1](desktopstatus::TrayHost::none);
    ASSERT_NE(tray.icon(), nullptr);
    EXPECT_TRUE(tray.icon()->isVisible());
    EXPECT_EQ(tray.icon()->toolTip(), "Murmlark Ovra: Ovra");
    EXPECT_EQ(shown, std::vector<bool>{false});
    clock.advance(10 * SystemTray::kAskAgainSeconds);
    EXPECT_EQ(asked.size(), 2u);
}

// The tray's menu shows each title as written: an "&" is part of the title, never taken as the
// mark of a keyboard mnemonic; an entry picked names its id.
TEST(SystemTray, TheMenuShowsEachTitleAsWritten) {
    ManualScheduler clock;
    SystemTray tray([](bool, const IslandScreen&) {}, clock);
    std::string picked;
    tray.popUpMenu({{"", "Ready", ""}, {"support", "Accessibility & support", "questionmark"}},
                   [&picked](const std::string& id) { picked = id; });
    QMenu* menu = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* shown = qobject_cast<QMenu*>(window); shown && shown->isVisible()) {
            menu = shown;
        }
    }
    ASSERT_NE(menu, nullptr);
    std::vector<std::string> titles;
    QAction* last = nullptr;
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator()) {
            // The text as the menu draws and names it, mnemonic marks taken out.
            titles.push_back(action->iconText().toStdString());
            last = action;
        }
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"Ready", "Accessibility & support"}));
    ASSERT_NE(last, nullptr);
    last->trigger();
    EXPECT_EQ(picked, "support");
    menu->close();
}

TEST(TerminationSignals, SignalsQuitThroughTheEventLoopAndTheModelStopsOnce) {
    int stops = 0;
    int flushes = 0;
    int leaves = 0;
    AppLifetime lifetime({[&] { ++stops; }, [&] { return ++flushes > 0; }, [&] { ++leaves; }, {}});
    std::vector<int> seen;
    TerminationSignals signals([&](int signal) {
        seen.push_back(signal);
        lifetime.quit();
    });
    ASSERT_TRUE(signals.installed());
    ::raise(SIGTERM);
    ::raise(SIGINT);
    ::raise(SIGHUP);
    EXPECT_TRUE(seen.empty());  // nothing runs inside the handler
    QElapsedTimer timer;
    timer.start();
    while (seen.size() < 3 && timer.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    EXPECT_EQ(seen, (std::vector<int>{SIGTERM, SIGINT, SIGHUP}));
    lifetime.quit();  // the Quit item as well
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(flushes, 1);
    EXPECT_EQ(leaves, 1);
}

// Runs the event loop until `done` holds, for at most ten seconds.
template <class Done>
bool spinUntil(Done done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

// Asks the owner of the name for its Home pane; whether it answered.
std::optional<bool> handOver(SingleInstance& later) {
    std::optional<bool> answered;
    later.handOver([&answered](bool yes) { answered = yes; });
    spinUntil([&answered] { return answered.has_value(); });
    return answered;
}

TEST(SingleInstance, ALaterStartAsksTheFirstForItsHomePane) {
    QProcess bus;
    bus.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address"});
    ASSERT_TRUE(bus.waitForStarted(5000));
    ASSERT_TRUE(bus.waitForReadyRead(5000));
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    {
        SingleInstance first(QDBusConnection::connectToBus(address, "first"));
        EXPECT_EQ(first.claim(), SingleInstance::Outcome::first);
        int shown = 0;
        SingleInstance later(QDBusConnection::connectToBus(address, "later"));
        // Asked before the first copy is ready: remembered, shown once it is.
        EXPECT_EQ(later.claim(), SingleInstance::Outcome::taken);
        EXPECT_EQ(handOver(later), true);
        first.setShowHome([&shown] { ++shown; });
        EXPECT_EQ(shown, 1);
        SingleInstance third(QDBusConnection::connectToBus(address, "third"));
        EXPECT_EQ(third.claim(), SingleInstance::Outcome::taken);
        EXPECT_EQ(handOver(third), true);
        EXPECT_EQ(shown, 2);

        // A bus that answers late: the claim returns undecided, and the answer comes once,
        // when the bus answers (here: taken); asked again later, it is told at once.
        SingleInstance slow(QDBusConnection::connectToBus(address, "slow"));
        ::kill(static_cast<pid_t>(bus.processId()), SIGSTOP);
        EXPECT_EQ(slow.claim(), SingleInstance::Outcome::undecided);
        std::vector<bool> decided;
        slow.whenDecided([&decided](bool ours) { decided.push_back(ours); });
        ::kill(static_cast<pid_t>(bus.processId()), SIGCONT);
        EXPECT_TRUE(spinUntil([&decided] { return !decided.empty(); }));
        EXPECT_EQ(decided, std::vector<bool>{false});
        EXPECT_EQ(handOver(slow), true);
        EXPECT_EQ(shown, 3);
        slow.whenDecided([&decided](bool ours) { decided.push_back(ours); });
        EXPECT_EQ(decided, (std::vector<bool>{false, false}));
    }
    // Once the first copy is gone the name is free again, also to a claim answered late.
    SingleInstance next(QDBusConnection::connectToBus(address, "next"));
    ::kill(static_cast<pid_t>(bus.processId()), SIGSTOP);
    EXPECT_EQ(next.claim(), SingleInstance::Outcome::undecided);
    ::kill(static_cast<pid_t>(bus.processId()), SIGCONT);
    std::optional<bool> ours;
    next.whenDecided([&ours](bool yes) { ours = yes; });
    EXPECT_TRUE(spinUntil([&ours] { return ours.has_value(); }));
    EXPECT_EQ(ours, true);
    SingleInstance again(QDBusConnection::connectToBus(address, "again"));
    EXPECT_EQ(again.claim(), SingleInstance::Outcome::taken);
    SingleInstance offline(QDBusConnection::connectToBus("unix:path=/nonexistent", "offline"));
    EXPECT_EQ(offline.claim(), SingleInstance::Outcome::noBus);
    bus.terminate();
    bus.waitForFinished(5000);
}

}  // namespace
}  // namespace ovra

namespace ovra {
namespace {

TEST(StallWatchdog, LogsADeliveryThatHeldTheLoopNamingWhatRan) {
    std::int64_t now = 1;
    std::vector<std::string> lines;
    StallWatchdog watchdog([&](const std::string& line) { lines.push_back(line); },
                           [&] { return now; }, false);
    const auto ms = [&](std::int64_t n) { now += n * 1'000'000; };
    const auto task = [] {};
    watchdog.began("QTimer", QEvent::Timer);
    activity::running(typeid(task));
    ms(200), watchdog.ended();  // quick enough
    watchdog.began("QWidgetWindow", QEvent::KeyPress);
    watchdog.began("OverlayView", QEvent::KeyPress);  // sent from inside: part of the outer one
    ms(200), watchdog.ended();
    watchdog.waiting(), ms(5000), watchdog.woke();  // a modal dialog's loop waiting
    ms(100), watchdog.ended();
    EXPECT_TRUE(lines.empty());

    watchdog.began("QTimer", QEvent::Timer);
    activity::running(typeid(task));
    ms(2500), watchdog.look(), watchdog.look();
    ms(100), watchdog.ended();
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_EQ(lines[0].rfind("main thread stalled: QTimer Timer running ", 0), 0U) << lines[0];
    EXPECT_NE(lines[0].find("LogsADeliveryThatHeldTheLoop"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("still running after 2500 ms"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1].rfind("main thread stalled 2600 ms in QTimer Timer running ", 0), 0U);
}

// On the real thread: a delivery held in a read of a pipe is told as blocked there (the pipe is
// written once the watchdog has told, so the test waits on no clock); one that only runs is not.
TEST(StallWatchdog, SeesTheMainThreadSleepInAReadAndNotInARun) {
    std::mutex mutex;
    std::vector<std::string> lines;
    const auto logged = [&](std::string_view text) {
        std::lock_guard lock(mutex);
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.find(text) != l.npos; });
    };
    StallWatchdog watchdog([&](const std::string& line) {
        std::lock_guard lock(mutex);
        lines.push_back(line);
    });
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    std::jthread writer([&] {
        // A bound for a watchdog that never tells, generous for a loaded machine.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!logged("main thread blocked") && std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        (void)write(ends[1], "x", 1);
    });
    watchdog.began("QSocketNotifier", QEvent::SockAct);
    char byte = 0;
    EXPECT_EQ(read(ends[0], &byte, 1), 1);
    watchdog.ended();
    EXPECT_TRUE(logged("main thread blocked in QSocketNotifier SockAct: read on pipe:"));
    {
        std::lock_guard lock(mutex);
        lines.clear();
    }
    watchdog.began("QTimer", QEvent::Timer);
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
         std::chrono::steady_clock::now() < end;) {
    }
    watchdog.ended();
    EXPECT_FALSE(logged("main thread blocked"));
    close(ends[0]);
    close(ends[1]);
}

// A stall in which the main thread slept in a call on something other than the display server
// gets a line naming that call; a stall it spent running (a loaded machine), or a short wait,
// gets none.
TEST(StallWatchdog, NamesTheCallTheMainThreadSleptInDuringAStall) {
    std::int64_t now = 1;
    std::vector<std::string> lines;
    std::optional<std::string> sleepsIn;
    int looked = 0;
    StallWatchdog watchdog([&](const std::string& line) { lines.push_back(line); },
                           [&] { return now; }, false,
                           [&] {
                               ++looked;
                               return sleepsIn;
                           });
    const auto ms = [&](std::int64_t n) { now += n * 1'000'000; };
    const struct {
        std::int64_t lookAt, endAt;
        std::optional<std::string> sleeping;
        std::vector<std::string> logged;
    } rows[] = {
        {100,
         300,
         "poll on socket to /run/bus",
         {"main thread stalled 300 ms in QTimer Timer",
          "main thread blocked in QTimer Timer: poll on socket to /run/bus"}},
        {100, 300, std::nullopt, {"main thread stalled 300 ms in QTimer Timer"}},
        {100, 150, "futex in QThread::wait (libQt6Core.so.6)", {}},
        {30, 300, "read on /home/u/file", {"main thread stalled 300 ms in QTimer Timer"}},
    };
    for (const auto& row : rows) {
        lines.clear();
        looked = 0;
        sleepsIn = row.sleeping;
        watchdog.began("QTimer", QEvent::Timer);
        ms(row.lookAt), watchdog.look();
        ms(row.endAt - row.lookAt), watchdog.ended();
        EXPECT_EQ(lines, row.logged) << row.lookAt << " " << row.endAt;
        EXPECT_EQ(looked, row.lookAt > 50 ? 1 : 0);
    }
}

}  // namespace
}  // namespace ovra
