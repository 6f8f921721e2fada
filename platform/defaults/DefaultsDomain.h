#pragma once

// A defaults domain: the app's settings as keys and JSON values (the stand-in for a user
// defaults domain). The app's domain is one JSON file under the XDG config folder; tests use
// InMemoryDefaults. Main thread only.

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/Json.h"

namespace ovra {

class DefaultsDomain {
  public:
    virtual ~DefaultsDomain() = default;

    // The stored value of `key`, absent when the key is not stored.
    virtual std::optional<Json> object(std::string_view key) const = 0;
    // Stores `value` under `key`. Writing to storage may be deferred (coalesced) until flush.
    virtual void set(std::string_view key, Json value) = 0;
    virtual void remove(std::string_view key) = 0;
    // Writes whatever is pending now; false when it could not be written.
    virtual bool flush() = 0;
};

// A domain that lives only in memory.
class InMemoryDefaults final : public DefaultsDomain {
  public:
    InMemoryDefaults() = default;
    explicit InMemoryDefaults(Json contents) : contents_(std::move(contents)) {}

    std::optional<Json> object(std::string_view key) const override {
        if (!contents_.is_object()) {
            return std::nullopt;
        }
        auto found = contents_.find(std::string(key));
        if (found == contents_.end()) {
            return std::nullopt;
        }
        return *found;
    }
    void set(std::string_view key, Json value) override {
        if (!contents_.is_object()) {
            contents_ = Json::object();
        }
        contents_[std::string(key)] = std::move(value);
        ++writes_;
    }
    void remove(std::string_view key) override {
        if (contents_.is_object()) {
            contents_.erase(std::string(key));
        }
        ++writes_;
    }
    bool flush() override { return true; }

    const Json& contents() const { return contents_; }
    // How many set and remove calls were made.
    int writes() const { return writes_; }

  private:
    Json contents_ = Json::object();
    int writes_ = 0;
};

}  // namespace ovra
