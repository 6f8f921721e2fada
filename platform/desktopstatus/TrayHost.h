#pragma once

// Whether the desktop's StatusNotifierItem watcher (org.kde.StatusNotifierWatcher on the session
// bus) can be asked about the tray, found without waiting. Qt's tray icon asks that watcher with
// calls that hold the main thread until they are answered (up to 25 s from a watcher that
// hangs), when the icon is made and whenever Qt checks for a tray: the icon is made only once
// this has found the watcher answering, or found none on the bus.

#include <functional>

class QDBusConnection;
class QObject;

namespace ovra::desktopstatus {

enum class TrayHost {
    none,     // the bus says no watcher runs: an XEmbed tray, if any, takes the icon
    answers,  // a watcher answered within kTrayAnswerMs
    silent,   // the bus or the watcher did not answer in time: ask again later
};

inline constexpr int kTrayAnswerMs = 100;

// Calls `answer` once, on the main thread, within about kTrayAnswerMs, unless `context` is gone
// by then. On the session bus, or on `bus`.
void askTrayHost(QObject& context, std::function<void(TrayHost)> answer);
void askTrayHost(const QDBusConnection& bus, QObject& context,
                 std::function<void(TrayHost)> answer);

}  // namespace ovra::desktopstatus
