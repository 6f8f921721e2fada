#include "app/controller/X11TargetWorkspace.h"

#include <unistd.h>

#include <QSocketNotifier>

#include "platform/x11/ProcessIdentity.h"

namespace ovra {

X11TargetWorkspace::X11TargetWorkspace(std::unique_ptr<x11::Workspace> workspace,
                                       std::function<void(const TargetApp&)> onActivated,
                                       AppName appName, QObject* parent)
    : QObject(parent),
      workspace_(std::move(workspace)),
      onActivated_(std::move(onActivated)),
      appName_(std::move(appName)) {
    workspace_->watchActiveWindow();
    notifier_ = new QSocketNotifier(workspace_->fileDescriptor(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &X11TargetWorkspace::readEvents);
}

X11TargetWorkspace::~X11TargetWorkspace() = default;

void X11TargetWorkspace::readEvents() {
    checkQueued_ = false;
    if (workspace_->activeWindowChanged() && onActivated_) {
        if (auto front = frontmost()) {
            onActivated_(*front);
        }
    }
}

void X11TargetWorkspace::checkLater() {
    // A request to the server may have read an event into the connection's queue, where the
    // socket no longer tells of it.
    if (!checkQueued_) {
        checkQueued_ = true;
        QMetaObject::invokeMethod(this, &X11TargetWorkspace::readEvents, Qt::QueuedConnection);
    }
}

std::optional<TargetApp> X11TargetWorkspace::frontmost() {
    checkLater();
    const auto active = workspace_->activeWindow();
    if (!active) {
        return std::nullopt;
    }
    TargetApp app;
    app.window = active->window;
    app.title = active->title;
    app.frame = workspace_->contentFrame(active->window).value_or(Rect());
    app.decoratedFrame = workspace_->decoratedFrame(active->window).value_or(app.frame);
    app.dialog = workspace_->isDialog(active->window);
    const auto process = active->pid ? x11::processIdentity(*active->pid) : std::nullopt;
    if (process) {
        const std::vector<x11::StackedWindow> stack = workspace_->stackOf(*active->pid);
        const x11::Twins twins = x11::twinsOf(stack, active->window);
        app.twinIndex = twins.index;
        app.twinCount = twins.count;
        app.aboveTwins = twins.onTop;
        x11::ModalDialogs dialogs = x11::modalDialogsOf(stack, active->window);
        app.modalDialogs = std::move(dialogs.titles);
        app.dialogOverIt = dialogs.overCaptured;
    }
    const std::string processName = process ? process->name : std::string();
    app.name = appName_ ? appName_(active->windowClass, processName) : processName;
    // Without a readable process the window is known by itself alone (pid 0).
    if (process) {
        app.pid = *active->pid;
        app.startTime = process->startTime;
        app.processName = process->name;
    }
    return app;
}

std::optional<TargetApp> X11TargetWorkspace::ofProcess(TargetApp window, std::int64_t pid) {
    const auto process = x11::processIdentity(pid);
    if (!process) {
        return std::nullopt;
    }
    window.pid = pid;
    window.startTime = process->startTime;
    window.processName = process->name;
    if (window.name.empty()) {
        window.name = process->name;
    }
    return window;
}

std::int64_t X11TargetWorkspace::ownPid() const {
    return getpid();
}

bool X11TargetWorkspace::isRunning(const TargetApp& app) {
    const auto process = x11::processIdentity(app.pid);
    return process && process->startTime == app.startTime &&
           !(leftBus_ && leftBus_(app.pid, app.startTime));
}

bool X11TargetWorkspace::activate(const TargetApp& app) {
    if (!isRunning(app)) {
        return false;
    }
    checkLater();
    std::uint32_t window = app.window;
    if (window == 0 || !workspace_->contentFrame(window)) {
        // The captured window closed: the app's window of that title, else its newest.
        window = x11::windowToRaise(workspace_->windowsOf(app.pid), app.pid, app.title).value_or(0);
    }
    return window != 0 && workspace_->activate(window, workspace_->serverTime());
}

bool X11TargetWorkspace::activateWindowRead(const TargetApp& app) {
    if (!isRunning(app) || app.window == 0) {
        return false;
    }
    checkLater();
    // Closed since: no other window of the app stands in for it.
    return workspace_->contentFrame(app.window) &&
           workspace_->activate(app.window, workspace_->serverTime());
}

std::vector<std::string> X11TargetWorkspace::modalDialogs(const TargetApp& app) {
    if (!isRunning(app)) {
        return app.modalDialogs;
    }
    return x11::modalDialogsOf(workspace_->stackOf(app.pid), app.window).titles;
}

}  // namespace ovra
