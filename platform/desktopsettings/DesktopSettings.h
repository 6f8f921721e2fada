#pragma once

// The desktop's own settings as this app reads them: typed values of settings keys, each read
// live at the moment of the call. A missing schema, a missing key or a value of another type
// reads as absent; nothing here ever aborts or throws.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace ovra::desktop {

class DesktopSettings {
  public:
    virtual ~DesktopSettings() = default;

    virtual std::optional<bool> boolean(std::string_view schema, std::string_view key) = 0;
    // Integer and floating-point keys alike.
    virtual std::optional<double> number(std::string_view schema, std::string_view key) = 0;
    virtual std::optional<std::string> text(std::string_view schema, std::string_view key) = 0;
};

// Settings held in memory, for tests and for desktops without settings schemas.
class MemorySettings final : public DesktopSettings {
  public:
    using Value = std::variant<bool, double, std::string>;

    void set(std::string_view schema, std::string_view key, Value value) {
        values_[{std::string(schema), std::string(key)}] = std::move(value);
    }
    void erase(std::string_view schema, std::string_view key) {
        values_.erase({std::string(schema), std::string(key)});
    }
    int reads() const { return reads_; }

    std::optional<bool> boolean(std::string_view schema, std::string_view key) override {
        return get<bool>(schema, key);
    }
    std::optional<double> number(std::string_view schema, std::string_view key) override {
        return get<double>(schema, key);
    }
    std::optional<std::string> text(std::string_view schema, std::string_view key) override {
        return get<std::string>(schema, key);
    }

  private:
    template <class T>
    std::optional<T> get(std::string_view schema, std::string_view key) {
        ++reads_;
        const auto it = values_.find({std::string(schema), std::string(key)});
        if (it == values_.end()) {
            return std::nullopt;
        }
        if (const T* value = std::get_if<T>(&it->second)) {
            return *value;
        }
        return std::nullopt;
    }

    std::map<std::pair<std::string, std::string>, Value> values_;
    int reads_ = 0;
};

}  // namespace ovra::desktop
