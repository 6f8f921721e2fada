#include "app/shell/SystemTray.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QPixmap>
#include <QScreen>

#include "app/shell/IslandWindow.h"
#include "app/shell/MenuBarIcon.h"
#include "app/shell/SymbolIcons.h"

namespace ovra {

SystemTray::SystemTray(ClickHandler onClick)
    : onClick_(std::move(onClick)),
      icon_(std::make_unique<QSystemTrayIcon>(QIcon(QPixmap::fromImage(MenuBarIcon::image())))) {
    icon_->setToolTip("Murmlark Ovra");
    connect(icon_.get(), &QSystemTrayIcon::activated, this, &SystemTray::activated);
}

SystemTray::~SystemTray() = default;

bool SystemTray::show() {
    icon_->show();
    return trayAvailable();
}

std::optional<Rect> SystemTray::iconFrame() const {
    const QRect where = icon_->geometry();
    if (!icon_->isVisible() || !where.isValid() || where.isEmpty()) {
        return std::nullopt;
    }
    return Rect(where.x(), where.y(), where.width(), where.height());
}

bool SystemTray::trayAvailable() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void SystemTray::showName(bool show) {
    // Trays show icons only; the name can be read in the tooltip either way.
    icon_->setToolTip(show ? "Murmlark Ovra: Ovra" : "Murmlark Ovra");
}

void SystemTray::activated(QSystemTrayIcon::ActivationReason reason) {
    if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::Context &&
        reason != QSystemTrayIcon::MiddleClick) {
        return;
    }
    const bool secondary = reason == QSystemTrayIcon::Context ||
                           QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier);
    QScreen* screen = nullptr;
    const QRect where = icon_->geometry();
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
