#pragma once

// The workspace of an X11 desktop for the controller: the active window and its process (its pid
// with the start time, and its name), its frame, activation through the window manager with a
// fresh server time, and the activation of other windows as it happens. A captured app runs as
// long as its process has not ended (a zombie has) and its connection has not left the
// accessibility bus.

#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/controller/ControllerServices.h"
#include "platform/x11/X11Workspace.h"

class QSocketNotifier;

namespace ovra {

class X11TargetWorkspace final : public QObject, public TargetWorkspace {
    Q_OBJECT
  public:
    // The app's name as the desktop shows it, from its window's class and its process name.
    using AppName =
        std::function<std::string(const std::string& windowClass, const std::string& process)>;

    // `onActivated` hears of every window the window manager makes active, on the main thread.
    X11TargetWorkspace(std::unique_ptr<x11::Workspace> workspace,
                       std::function<void(const TargetApp&)> onActivated, AppName appName = {},
                       QObject* parent = nullptr);

    ~X11TargetWorkspace() override;

    std::optional<TargetApp> frontmost() override;
    std::optional<TargetApp> ofProcess(TargetApp window, std::int64_t pid) override;
    std::int64_t ownPid() const override;
    bool isRunning(const TargetApp& app) override;
    bool activate(const TargetApp& app) override;
    bool activateWindowRead(const TargetApp& app) override;
    std::vector<std::string> modalDialogs(const TargetApp& app) override;

    x11::Workspace& workspace() { return *workspace_; }

    // Whether a process (pid, start time) had a connection on the accessibility bus and has
    // left it; asked on every look at the target, so it must answer at once.
    using LeftBus = std::function<bool(std::int64_t pid, std::uint64_t startTime)>;
    void setLeftBus(LeftBus leftBus) { leftBus_ = std::move(leftBus); }

  private:
    void readEvents();
    void checkLater();

    std::unique_ptr<x11::Workspace> workspace_;
    std::function<void(const TargetApp&)> onActivated_;
    AppName appName_;
    LeftBus leftBus_;
    QSocketNotifier* notifier_ = nullptr;
    bool checkQueued_ = false;
};

}  // namespace ovra
