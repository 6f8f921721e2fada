#pragma once

// One running copy per session. The first copy owns a name on the session bus and answers one
// method there; a later start finds the name taken, asks the owner to show its Home pane and
// ends. The name is claimed before anything else is set up, so two starts at the same moment
// still end with one copy (the bus grants the name to exactly one of them).

#include <QDBusConnection>
#include <QObject>
#include <functional>
#include <string>

namespace ovra {

class SingleInstance final : public QObject {
    Q_OBJECT
  public:
    static constexpr const char* kServiceName = "ai.qeld.MurmlarkOvra";
    static constexpr const char* kObjectPath = "/ai/qeld/MurmlarkOvra";
    static constexpr const char* kInterface = "ai.qeld.MurmlarkOvra.App";
    static constexpr int kAnswerTimeoutMs = 5000;

    enum class Outcome {
        first,       // this copy owns the name
        handedOver,  // another copy owns it and was asked to show its Home pane
        noAnswer,    // another copy owns it but did not answer
        noBus,       // no session bus: this copy runs without the name
    };

    explicit SingleInstance(QDBusConnection connection = QDBusConnection::sessionBus());
    ~SingleInstance() override;

    Outcome claim();
    // What a later start asks for; until it is set such requests are remembered and run when
    // it is.
    void setShowHome(std::function<void()> showHome);

    // The bus call of a later start: shows the Home pane.
    void showHomeRequested();

  private:
    QDBusConnection connection_;
    std::function<void()> showHome_;
    bool pending_ = false;
    bool registered_ = false;
};

}  // namespace ovra
