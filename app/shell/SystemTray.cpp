#include "app/shell/SystemTray.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <utility>

#include "app/shell/IslandWindow.h"
#include "app/shell/MenuBarIcon.h"
#include "app/shell/SymbolIcons.h"

namespace ovra {

SystemTray::SystemTray(ClickHandler onClick, Scheduler& scheduler, AskTrayHost ask)
    : onClick_(std::move(onClick)), scheduler_(scheduler), ask_(std::move(ask)) {
    if (!ask_) {
        ask_ = [](QObject& context, std::function<void(desktopstatus::TrayHost)> answer) {
            desktopstatus::askTrayHost(context, std::move(answer));
        };
    }
}

SystemTray::~SystemTray() {
    scheduler_.cancel(askAgain_);
}

void SystemTray::show(std::function<void(bool inTray)> shown) {
    shown_ = std::move(shown);
    askHost();
}

void SystemTray::askHost() {
    askAgain_ = 0;
    ask_(*this, [this](desktopstatus::TrayHost host) {
        if (icon_) {
            return;
        }
        if (host == desktopstatus::TrayHost::silent) {
            tell(false);
            askAgain_ = scheduler_.after(kAskAgainSeconds, [this] { askHost(); });
            return;
        }
        makeIcon();
        // Qt asks the watcher once more here; it has just answered.
        tell(QSystemTrayIcon::isSystemTrayAvailable());
    });
}

void SystemTray::makeIcon() {
    icon_ = std::make_unique<QSystemTrayIcon>(QIcon(QPixmap::fromImage(MenuBarIcon::image())));
    icon_->setToolTip(toolTip());
    connect(icon_.get(), &QSystemTrayIcon::activated, this, &SystemTray::activated);
    icon_->show();
}

void SystemTray::tell(bool inTray) {
    if (auto shown = std::exchange(shown_, nullptr)) {
        shown(inTray);
    }
}

std::optional<Rect> SystemTray::iconFrame() const {
    if (!icon_ || !icon_->isVisible()) {
        return std::nullopt;
    }
    const QRect where = icon_->geometry();
    if (!where.isValid() || where.isEmpty()) {
        return std::nullopt;
    }
    return Rect(where.x(), where.y(), where.width(), where.height());
}

QString SystemTray::toolTip() const {
    // Trays show icons only; the name can be read in the tooltip either way.
    return nameShown_ ? "Murmlark Ovra: Ovra" : "Murmlark Ovra";
}

void SystemTray::showName(bool show) {
    nameShown_ = show;
    if (icon_) {
        icon_->setToolTip(toolTip());
    }
}

void SystemTray::activated(QSystemTrayIcon::ActivationReason reason) {
    if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::Context &&
        reason != QSystemTrayIcon::MiddleClick) {
        return;
    }
    const bool secondary = reason == QSystemTrayIcon::Context ||
                           QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier);
    QScreen* screen = nullptr;
    const QRect where = icon_ ? icon_->geometry() : QRect();
    if (where.isValid()) {
        screen = QGuiApplication::screenAt(where.center());
    }
    if (!screen) {
        screen = QGuiApplication::screenAt(QCursor::pos());
    }
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    if (onClick_ && screen) {
        onClick_(secondary, IslandWindow::islandScreen(*screen));
    }
}

void SystemTray::popUpMenu(const std::vector<MenuEntry>& entries,
                           std::function<void(const std::string& id)> picked) {
    menu_ = std::make_unique<QMenu>();
    bool separated = false;
    for (const MenuEntry& entry : entries) {
        // A menu takes "&" as the mark of a mnemonic; our titles mean the character itself.
        const QString title = QString::fromStdString(entry.title).replace('&', "&&");
        if (entry.id.empty()) {
            if (!separated) {
                menu_->addSeparator();
                separated = true;
            }
            menu_->addAction(title)->setEnabled(false);
            continue;
        }
        QAction* action = menu_->addAction(
            SymbolIcons::icon(entry.symbol, menu_->palette().color(QPalette::WindowText)), title);
        connect(action, &QAction::triggered, this, [picked, id = entry.id] {
            if (picked) {
                picked(id);
            }
        });
    }
    menu_->popup(QCursor::pos());
}

}  // namespace ovra
