#include "app/settings/SettingsWindowHost.h"

#include <pwd.h>
#include <unistd.h>

#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QTime>
#include <cstdio>
#include <utility>

#include "app/controller/Preferences.h"
#include "app/settings/DashboardModel.h"
#include "app/settings/WindowActivation.h"
#include "app/settings/views/Dispose.h"
#include "core/Geometry.h"
#include "core/OvraText.h"

namespace ovra {

namespace {

// The user's full name: the first field of the account's comment ("Ada Lovelace,,,").
std::string accountFullName() {
    const passwd* account = getpwuid(getuid());
    if (account == nullptr || account->pw_gecos == nullptr) {
        return {};
    }
    std::string gecos(account->pw_gecos);
    return gecos.substr(0, gecos.find(','));
}

}  // namespace

SettingsWindowHost::SettingsWindowHost(Config config) : config_(std::move(config)) {
    if (!config_.hour) {
        config_.hour = [] { return QTime::currentTime().hour(); };
    }
    if (config_.fullName.empty()) {
        config_.fullName = accountFullName();
    }
}

SettingsWindowHost::~SettingsWindowHost() = default;

void SettingsWindowHost::trace(const std::string& line) const {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

void SettingsWindowHost::create() {
    SettingsWindowServices services{config_.prefs, config_.dashboard, config_.controller, *this,
                                    config_.scheduler};
    services.keyboardLayout = config_.keyboardLayout;
    services.announcer = config_.announcer;
    services.guide = config_.guide;
    if (config_.traceKeys) {
        services.trace = [this](const std::string& line) { trace(line); };
    }
    services.hour = config_.hour;
    services.fullName = config_.fullName;
    services.settingsCommand = [this] { showDashboard(OvraPane::general); };
    services.closed = [this] {
        if (config_.closed) {
            config_.closed();
        }
    };
    window_ = std::make_unique<SettingsWindow>(std::move(services));
}

void SettingsWindowHost::place() {
    QScreen* target = QGuiApplication::screenAt(QCursor::pos());
    if (target == nullptr) {
        target = QGuiApplication::primaryScreen();
    }
    if (target == nullptr || (window_->isVisible() && window_->screen() == target)) {
        return;  // already showing on the pointer's screen: left where it is
    }
    const QRect visible = target->availableGeometry();
    const Rect frame = WindowSizing::frame(
        {static_cast<double>(visible.x()), static_cast<double>(visible.y()),
         static_cast<double>(visible.width()), static_cast<double>(visible.height())});
    window_->setGeometry(static_cast<int>(frame.minX()), static_cast<int>(frame.minY()),
                         static_cast<int>(frame.width()), static_cast<int>(frame.height()));
}

void SettingsWindowHost::showDashboard(OvraPane pane, std::optional<std::uint32_t> eventTime) {
    config_.dashboard.openOn(pane);
    if (!window_) {
        create();
    }
    place();
    window_->show();
    window_->raise();
    window_->refresh();
    if (QWindow* handle = window_->windowHandle()) {
        WindowActivation::bringForward(*handle, eventTime);
    }
    window_->activateWindow();
}

void SettingsWindowHost::stateChanged() {
    if (window_) {
        window_->scheduleRefresh();
    }
}

void SettingsWindowHost::announce(std::string_view text, announcer::AnnouncementPriority priority) {
    if (window_) {
        window_->announcer().announce(text, priority);
    }
}

ConfirmDialog::Services SettingsWindowHost::dialogServices() const {
    ConfirmDialog::Services services;
    services.hover = window_ ? &window_->hover() : nullptr;
    services.keyboardLayout = config_.keyboardLayout;
    if (config_.traceKeys) {
        services.trace = [this](const std::string& line) { trace(line); };
    }
    return services;
}

bool SettingsWindowHost::confirmModally(ConfirmModel model) {
    model.focus = 1;
    ConfirmDialog dialog(std::move(model), window_ && window_->dark(), dialogServices());
    ConfirmDialog* const outer = std::exchange(modal_, &dialog);
    const bool answer = dialog.runModal(window_.get());
    modal_ = outer;
    if (window_ && window_->isVisible()) {
        window_->raise();
        window_->activateWindow();
    }
    return answer;
}

void SettingsWindowHost::openDialog(ConfirmModel model, std::function<void()> confirmed) {
    // One non-modal dialog at a time: a new one closes the last without an answer.
    if (shown_) {
        shown_->dismiss();
        disposeLater(shown_.release());
    }
    model.focus = 1;
    shown_ = std::make_unique<ConfirmDialog>(std::move(model), window_ && window_->dark(),
                                             dialogServices());
    shown_->onChoose = [this, confirmed = std::move(confirmed)](bool answer) {
        if (answer && confirmed) {
            confirmed();
        }
        if (shown_) {
            disposeLater(shown_.release());
        }
        if (window_ && window_->isVisible()) {
            window_->raise();
            window_->activateWindow();
        }
    };
    shown_->open(window_.get());
}

void SettingsWindowHost::confirm(const std::string& title, const std::string& message,
                                 const std::string& confirmTitle, bool destructive,
                                 std::function<void()> confirmed) {
    openDialog({title, message, confirmTitle, OvraText::t("Cancel"), destructive},
               std::move(confirmed));
}

void SettingsWindowHost::showCredits() {
    openDialog({OvraText::t("Open source credits"), Credits::text(), OvraText::t("Copy"),
                OvraText::t("Close"), false},
               [] {
                   if (QClipboard* clipboard = QGuiApplication::clipboard()) {
                       clipboard->setText(QString::fromStdString(Credits::text()));
                   }
               });
}

}  // namespace ovra
