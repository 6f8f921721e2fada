#pragma once

// One running copy per session. The first copy owns a name on the session bus and answers one
// method there; a later start finds the name taken, asks the owner to show its Home pane and
// ends. The name is claimed before anything else is set up, so two starts at the same moment
// still end with one copy (the bus grants the name to exactly one of them).
//
// Nothing here holds the main thread up for long: the name is asked for without blocking and
// its answer awaited for at most kClaimBoundMs with the event loop running. A bus slower than
// that leaves the claim undecided: the app runs as the first copy and hears the answer later.
// A later start's request to the first copy is answered on the event loop as well.
//
// Until the answer is in, a copy may be the second one: what writes or deletes the app's files
// (the updater's clean-up, model downloads, the hotkeys' fallback) waits in whenSole, and never
// runs in a copy that turns out to be the second.

#include <QDBusConnection>
#include <QObject>
#include <functional>
#include <string>
#include <vector>

class QDBusMessage;

namespace ovra {

class SingleInstance final : public QObject {
    Q_OBJECT
  public:
    static constexpr const char* kServiceName = "ai.qeld.MurmlarkOvra";
    static constexpr const char* kObjectPath = "/ai/qeld/MurmlarkOvra";
    static constexpr const char* kInterface = "ai.qeld.MurmlarkOvra.App";
    static constexpr int kAnswerTimeoutMs = 5000;
    static constexpr int kClaimBoundMs = 100;

    enum class Outcome {
        first,      // this copy owns the name
        taken,      // another copy owns it: handOver asks it for its Home pane
        undecided,  // the bus has not answered yet: run as the first copy; whenDecided says
        noBus,      // no session bus, or it gave no name: this copy runs without the name
    };

    explicit SingleInstance(QDBusConnection connection = QDBusConnection::sessionBus());
    ~SingleInstance() override;

    Outcome claim();
    // After an undecided claim: runs `decided` once, on the main thread, when the bus has
    // answered: false when another copy owns the name, true otherwise (this copy owns it, or
    // the bus gave no name and it runs without one). At once when the answer is already in.
    void whenDecided(std::function<void(bool ours)> decided);
    // Runs `work` once this copy is known to be the only one: at once after a claim that made
    // it the first (or found no bus), on the main thread once the bus has answered after an
    // undecided one (after `decided`), never when another copy owns the name. In the order
    // given.
    void whenSole(std::function<void()> work);
    // Asks the copy that owns the name to show its Home pane. `done` runs once, on the main
    // thread, with whether that copy answered within kAnswerTimeoutMs.
    void handOver(std::function<void(bool answered)> done);

    // What a later start asks for; until it is set such requests are remembered and run when
    // it is.
    void setShowHome(std::function<void()> showHome);

    // The bus call of a later start: shows the Home pane.
    void showHomeRequested();

  private:
    enum class Name { asking, ours, taken, none };

    void answered(const QDBusMessage& reply);

    QDBusConnection connection_;
    std::function<void()> showHome_;
    std::function<void(bool)> decided_;
    std::vector<std::function<void()>> held_;  // whenSole's work while the bus has not answered
    Name name_ = Name::asking;
    bool pending_ = false;
    bool registered_ = false;
};

}  // namespace ovra
