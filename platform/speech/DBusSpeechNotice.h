#pragma once

// The sibling speech notice as a signal on the session bus: member "willStart" of interface
// "ai.qeld.murmlark.speech" at path "/ai/qeld/murmlark/speech", with the sender's short name as
// its one string argument. Signals of that name with any other arguments count as a notice
// without a name.

#include <QObject>

#include "platform/speech/SpeechNotice.h"

class QDBusMessage;

namespace ovra::speech {

class DBusSpeechNotice final : public QObject, public SpeechNotice {
    Q_OBJECT

  public:
    explicit DBusSpeechNotice(QObject* parent = nullptr);
    // False without a session bus: notices then go nowhere.
    bool connected() const { return connected_; }
    void post(std::string_view sender) override;

  private Q_SLOTS:
    void onSignal(const QDBusMessage& message);

  private:
    bool connected_ = false;
};

}  // namespace ovra::speech
