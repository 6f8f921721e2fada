#pragma once

// The notice sibling apps of the same maker send before they speak, so that only one of them
// talks at a time: each posts it with its own short name before every utterance, and stops
// speaking when another sender posts it.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ovra::speech {

class SpeechNotice {
  public:
    // The sender's short name; none when a notice carried no name.
    using Handler = std::function<void(std::optional<std::string> sender)>;

    virtual ~SpeechNotice() = default;
    // Sends the notice without waiting for anyone.
    virtual void post(std::string_view sender) = 0;
    // Called on the main thread for every notice, this app's own included.
    void setHandler(Handler handler) { handler_ = std::move(handler); }

  protected:
    void received(std::optional<std::string> sender) const {
        if (handler_) {
            handler_(std::move(sender));
        }
    }

  private:
    Handler handler_;
};

// For tests: every post comes straight back, as the bus would bring it; `arrive` plays another
// sender's notice.
class LoopbackSpeechNotice final : public SpeechNotice {
  public:
    void post(std::string_view sender) override {
        posted.emplace_back(sender);
        received(std::string(sender));
    }
    void arrive(std::optional<std::string> sender) const { received(std::move(sender)); }

    std::vector<std::string> posted;
};

}  // namespace ovra::speech
