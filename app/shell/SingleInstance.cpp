#include "app/shell/SingleInstance.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QEventLoop>
#include <QTimer>

namespace ovra {

namespace {

// RequestName's flag and answers, as the D-Bus protocol numbers them.
constexpr uint kDoNotQueue = 4;
constexpr uint kPrimaryOwner = 1;
constexpr uint kAlreadyOwner = 4;
constexpr uint kExists = 3;

// The object on the bus: one method, ShowHome.
class InstanceObject final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "ai.qeld.MurmlarkOvra.App")
  public:
    explicit InstanceObject(SingleInstance& owner) : QObject(&owner), owner_(owner) {}

  public Q_SLOTS:
    Q_SCRIPTABLE void ShowHome() { owner_.showHomeRequested(); }

  private:
    SingleInstance& owner_;
};

}  // namespace

SingleInstance::SingleInstance(QDBusConnection connection) : connection_(std::move(connection)) {}

SingleInstance::~SingleInstance() {
    if (registered_) {
        connection_.unregisterObject(kObjectPath);
        connection_.unregisterService(kServiceName);
    }
}

SingleInstance::Outcome SingleInstance::claim() {
    if (!connection_.isConnected() || !connection_.interface()) {
        name_ = Name::none;
        return Outcome::noBus;
    }
    // The object first, so a later start that sees the name can call it at once.
    if (!registered_) {
        registered_ = connection_.registerObject(kObjectPath, new InstanceObject(*this),
                                                 QDBusConnection::ExportScriptableSlots);
    }
    QDBusMessage request = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("RequestName"));
    request << QString::fromLatin1(kServiceName) << kDoNotQueue;
    name_ = Name::asking;
    auto* call = new QDBusPendingCallWatcher(connection_.asyncCall(request), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* c) {
        c->deleteLater();
        answered(c->reply());
    });
    // The answer usually comes within a millisecond. The loop runs meanwhile (nothing of the
    // app shows yet), so a first copy in this same process answers a later start too.
    QEventLoop wait;
    connect(call, &QDBusPendingCallWatcher::finished, &wait, &QEventLoop::quit);
    QTimer::singleShot(kClaimBoundMs, &wait, &QEventLoop::quit);
    wait.exec();
    switch (name_) {
        case Name::ours:
            return Outcome::first;
        case Name::taken:
            return Outcome::taken;
        case Name::none:
            return Outcome::noBus;
        case Name::asking:
            break;
    }
    return Outcome::undecided;
}

void SingleInstance::answered(const QDBusMessage& reply) {
    if (name_ != Name::asking) {
        return;
    }
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        // No name at all (the bus refused, or never answered): this copy runs without it.
        name_ = Name::none;
    } else {
        const uint code = reply.arguments().front().toUInt();
        name_ = code == kPrimaryOwner || code == kAlreadyOwner ? Name::ours
                : code == kExists                              ? Name::taken
                                                               : Name::none;
    }
    if (name_ == Name::taken && registered_) {
        connection_.unregisterObject(kObjectPath);
        registered_ = false;
    }
    if (decided_) {
        auto decided = std::move(decided_);
        decided_ = nullptr;
        decided(name_ != Name::taken);
    }
    auto held = std::move(held_);
    held_.clear();
    if (name_ != Name::taken) {
        for (auto& work : held) {
            work();
        }
    }
}

void SingleInstance::whenDecided(std::function<void(bool ours)> decided) {
    if (name_ == Name::asking) {
        decided_ = std::move(decided);
    } else if (decided) {
        decided(name_ != Name::taken);
    }
}

void SingleInstance::whenSole(std::function<void()> work) {
    if (!work || name_ == Name::taken) {
        return;
    }
    if (name_ == Name::asking) {
        held_.push_back(std::move(work));
    } else {
        work();
    }
}

void SingleInstance::handOver(std::function<void(bool answered)> done) {
    QDBusMessage request =
        QDBusMessage::createMethodCall(kServiceName, kObjectPath, kInterface, "ShowHome");
    auto* call =
        new QDBusPendingCallWatcher(connection_.asyncCall(request, kAnswerTimeoutMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [done = std::move(done)](QDBusPendingCallWatcher* c) {
                c->deleteLater();
                if (done) {
                    done(c->reply().type() == QDBusMessage::ReplyMessage);
                }
            });
}

void SingleInstance::setShowHome(std::function<void()> showHome) {
    showHome_ = std::move(showHome);
    if (pending_ && showHome_) {
        pending_ = false;
        showHome_();
    }
}

void SingleInstance::showHomeRequested() {
    if (showHome_) {
        showHome_();
    } else {
        pending_ = true;
    }
}

}  // namespace ovra

#include "SingleInstance.moc"
