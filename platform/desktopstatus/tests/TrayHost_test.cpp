// Whether the tray watcher answers, asked on a session bus of the test's own: none, one that
// answers, and one that holds the name but never answers.

#include "platform/desktopstatus/TrayHost.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <optional>

namespace ovra::desktopstatus {
namespace {

class Watcher final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
  public:
    bool hostRegistered() const { return true; }
};

std::optional<TrayHost> ask(const QDBusConnection& bus) {
    QObject context;
    std::optional<TrayHost> found;
    int answers = 0;
    askTrayHost(bus, context, [&](TrayHost host) {
        found = host;
        ++answers;
    });
    QElapsedTimer timer;
    timer.start();
    // Longer than the bound, so a second answer would be seen.
    while (timer.elapsed() < 3 * kTrayAnswerMs || (!found && timer.elapsed() < 5000)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    EXPECT_EQ(answers, 1);
    return found;
}

TEST(TrayHost, NoWatcherAWatcherThatAnswersAndOneThatNeverDoes) {
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address"});
    ASSERT_TRUE(daemon.waitForStarted(5000));
    ASSERT_TRUE(daemon.waitForReadyRead(5000));
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    const QDBusConnection app = QDBusConnection::connectToBus(address, "app");
    QDBusConnection tray = QDBusConnection::connectToBus(address, "tray");

    EXPECT_EQ(ask(app), TrayHost::none);

    Watcher watcher;
    ASSERT_TRUE(tray.registerObject("/StatusNotifierWatcher", &watcher,
                                    QDBusConnection::ExportAllProperties));
    ASSERT_TRUE(tray.registerService("org.kde.StatusNotifierWatcher"));
    EXPECT_EQ(ask(app), TrayHost::answers);

    // A watcher whose thread never runs holds the name and lets every call wait.
    QThread stuck;
    watcher.moveToThread(&stuck);
    EXPECT_EQ(ask(app), TrayHost::silent);
    tray.unregisterObject("/StatusNotifierWatcher");

    EXPECT_EQ(ask(QDBusConnection::connectToBus("unix:path=/nonexistent", "none")), TrayHost::none);
    daemon.terminate();
    daemon.waitForFinished(5000);
}

}  // namespace
}  // namespace ovra::desktopstatus

#include "TrayHost_test.moc"
