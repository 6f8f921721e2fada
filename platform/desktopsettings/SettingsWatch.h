#pragma once

// Hears when the desktop's settings change, in this process or any other: the GSettings change
// signal of each key watched. It is delivered through the GLib main context that was current
// where the watch was made (the main thread's, which Qt's event loop runs on Linux), so the
// call comes on that thread and nothing ever waits for it. Schemas and keys this desktop lacks
// are left out. No GLib header leaks out of this file.

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace ovra::desktop {

class SettingsWatch final {
  public:
    using Key = std::pair<std::string, std::string>;  // schema, key

    SettingsWatch(std::vector<Key> keys, std::function<void()> changed);
    ~SettingsWatch();
    SettingsWatch(const SettingsWatch&) = delete;
    SettingsWatch& operator=(const SettingsWatch&) = delete;

    // How many of the keys this desktop has, and so are watched.
    std::size_t watched() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ovra::desktop
