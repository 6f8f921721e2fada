// A second start while the session bus is slow to answer: the copy starts up before it learns
// that another copy runs, and by then has touched nothing of that copy's update.

#include <signal.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QProcess>

#include "app/maintenance/tests/UpdaterFixture.h"
#include "app/shell/SingleInstance.h"

namespace ovra {
namespace {

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

// The updater's files and a session bus of the test's own, which it can stop and resume.
class LateSecondCopy : public testing::UpdaterTest {
  protected:
    LateSecondCopy() {
        bus_.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address"});
        EXPECT_TRUE(bus_.waitForStarted(5000) && bus_.waitForReadyRead(5000));
        address_ = QString::fromUtf8(bus_.readLine()).trimmed();
    }
    ~LateSecondCopy() override {
        resumeBus();
        bus_.terminate();
        bus_.waitForFinished(5000);
    }
    QDBusConnection connect(const QString& name) {
        return QDBusConnection::connectToBus(address_, name);
    }
    void stopBus() { ::kill(static_cast<pid_t>(bus_.processId()), SIGSTOP); }
    void resumeBus() { ::kill(static_cast<pid_t>(bus_.processId()), SIGCONT); }

    QProcess bus_;
    QString address_;
};

TEST_F(LateSecondCopy, LeavesTheRunningCopysStagedUpdateInPlace) {
    // The running copy owns the name; a security fix waits, staged, until it is not in use.
    auto running = std::make_unique<SingleInstance>(connect("running"));
    ASSERT_EQ(running->claim(), SingleInstance::Outcome::first);
    publish("1.1", true);
    overlay_ = true;
    updater().check(false);
    offload_->finishAll();
    ASSERT_EQ(testing::stagingFolders(prefix_).size(), 1U);

    // A second start whose claim the bus answers only after start-up: its updater (same prefix,
    // same data folder) waits for the answer, which says another copy runs.
    SingleInstance late(connect("late"));
    stopBus();
    ASSERT_EQ(late.claim(), SingleInstance::Outcome::undecided);
    auto lateUpdater = std::make_unique<Updater>(config());
    late.whenSole([&lateUpdater] { lateUpdater->start(); });
    std::optional<bool> ours;
    late.whenDecided([&ours](bool yes) { ours = yes; });
    resumeBus();
    ASSERT_TRUE(spinUntil([&ours] { return ours.has_value(); }));
    EXPECT_EQ(ours, false);
    late.whenSole([] { ADD_FAILURE() << "a second copy started its updater"; });
    lateUpdater.reset();  // the second copy has handed over and ended
    EXPECT_EQ(testing::stagingFolders(prefix_).size(), 1U);

    // Once the running copy is not in use, its fix installs.
    overlay_ = false;
    scheduler_.advance(Updater::kIdlePollInterval);
    offload_->finishAll();
    EXPECT_EQ(installedVersion(), "1.1");
    const auto receipt =
        OvraUpdates::Receipt::parse(testing::readText(support_ / Updater::kReceiptFile));
    ASSERT_TRUE(receipt);
    EXPECT_EQ(receipt->status, "ok");

    // With that copy gone, a late answer makes a copy the only one: what waited runs.
    running.reset();
    SingleInstance next(connect("next"));
    stopBus();
    ASSERT_EQ(next.claim(), SingleInstance::Outcome::undecided);
    int started = 0;
    next.whenSole([&started] { ++started; });
    resumeBus();
    EXPECT_TRUE(spinUntil([&started] { return started == 1; }));
}

}  // namespace
}  // namespace ovra
