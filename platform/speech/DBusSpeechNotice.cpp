#include "platform/speech/DBusSpeechNotice.h"

#include <QDBusConnection>
#include <QDBusMessage>

namespace ovra::speech {

namespace {
const QString kPath = QStringLiteral("/ai/qeld/murmlark/speech");
const QString kInterface = QStringLiteral("ai.qeld.murmlark.speech");
const QString kMember = QStringLiteral("willStart");
}  // namespace

DBusSpeechNotice::DBusSpeechNotice(QObject* parent) : QObject(parent) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    // Any sender, any signature: the slot takes the whole message.
    connected_ = bus.isConnected() && bus.connect(QString(), kPath, kInterface, kMember, this,
                                                  SLOT(onSignal(QDBusMessage)));
}

void DBusSpeechNotice::post(std::string_view sender) {
    if (!connected_) {
        return;
    }
    QDBusMessage signal = QDBusMessage::createSignal(kPath, kInterface, kMember);
    signal << QString::fromUtf8(sender.data(), static_cast<qsizetype>(sender.size()));
    QDBusConnection::sessionBus().send(signal);
}

void DBusSpeechNotice::onSignal(const QDBusMessage& message) {
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() == 1 && arguments.front().typeId() == QMetaType::QString) {
        received(arguments.front().toString().toStdString());
    } else {
        received(std::nullopt);
    }
}

}  // namespace ovra::speech
