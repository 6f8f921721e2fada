#include "app/shell/SingleInstance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace ovra {

namespace {

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
        return Outcome::noBus;
    }
    // The object first, so a later start that sees the name can call it at once.
    if (!registered_) {
        registered_ = connection_.registerObject(kObjectPath, new InstanceObject(*this),
                                                 QDBusConnection::ExportScriptableSlots);
    }
    const auto reply = connection_.interface()->registerService(
        kServiceName, QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        return Outcome::first;
    }
    connection_.unregisterObject(kObjectPath);
    registered_ = false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kServiceName, kObjectPath, kInterface, "ShowHome");
    // Waits with the event loop running, so a first copy in this same process can answer.
    const QDBusMessage answer = connection_.call(call, QDBus::BlockWithGui, kAnswerTimeoutMs);
    return answer.type() == QDBusMessage::ReplyMessage ? Outcome::handedOver : Outcome::noAnswer;
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
