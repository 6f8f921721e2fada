#pragma once

// The desktop's colour scheme: the XDG settings portal's org.freedesktop.appearance
// "color-scheme" (1 prefers dark, 2 prefers light), else GNOME's "color-scheme" setting; and the
// portal's change signal. Main thread only. The portal is asked once, without waiting, and then
// followed by its change signal: until it answers (or when it does not, within half a second)
// GNOME's setting holds, and an answer that changes the scheme is reported like a change.

#include <QDBusVariant>
#include <QObject>
#include <functional>
#include <optional>
#include <string>

#include "platform/desktopsettings/DesktopSettings.h"

namespace ovra::desktopstatus {

class AppearanceSource final : public QObject {
    Q_OBJECT

  public:
    // `settings` must outlive the source.
    explicit AppearanceSource(desktop::DesktopSettings& settings, QObject* parent = nullptr);
    ~AppearanceSource() override;

    // True for a dark scheme, false for a light one, none when the desktop states neither.
    std::optional<bool> prefersDark();
    // Called on the main thread when the portal reports another colour scheme.
    void onChange(std::function<void()> changed) { changed_ = std::move(changed); }

    // The portal's value read as a preference: 1 dark, 2 light, anything else none.
    static std::optional<bool> fromPortal(std::optional<unsigned> value);
    // GNOME's value: "prefer-dark" dark, "prefer-light" light, anything else none.
    static std::optional<bool> fromGnome(const std::optional<std::string>& value);

  private Q_SLOTS:
    void settingChanged(const QString& space, const QString& key, const QDBusVariant& value);

  private:
    void portalSays(std::optional<unsigned> scheme);

    desktop::DesktopSettings& settings_;
    std::function<void()> changed_;
    std::optional<unsigned> portal_;
};

}  // namespace ovra::desktopstatus
