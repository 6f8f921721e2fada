#pragma once

// The desktop's settings through GSettings (GNOME and desktops that share its schemas). Schemas
// are looked up before use, so a desktop without them reads as absent instead of aborting. With
// the dconf back end, every read sees changes made by other processes at once. No GLib header
// leaks out of this file.

#include <memory>
#include <mutex>

#include "platform/desktopsettings/DesktopSettings.h"

namespace ovra::desktop {

class GSettingsStore final : public DesktopSettings {
  public:
    GSettingsStore();
    ~GSettingsStore() override;
    GSettingsStore(const GSettingsStore&) = delete;
    GSettingsStore& operator=(const GSettingsStore&) = delete;

    std::optional<bool> boolean(std::string_view schema, std::string_view key) override;
    std::optional<double> number(std::string_view schema, std::string_view key) override;
    std::optional<std::string> text(std::string_view schema, std::string_view key) override;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::mutex mutex_;
};

}  // namespace ovra::desktop
