// A small Qt 6 window with native menus for the desktop tests: a menu bar ("File", "Edit"), a
// button that opens a menu ("Tools"), a plain button ("Plain") and a tool button that opens its
// menu at once ("Views"). Every item and the plain button count their presses in the window
// title ("Menus ; file=0 edit=0 tools=0 plain=0 views=0 stall=0"), so a test reads what really
// ran from the window manager, not from the accessibility bus. Two more buttons with a menu
// stand for apps that stall or quit as they open it: "Stall" stops its own process (SIGSTOP)
// just before its menu shows, counting "stall", and shows the menu once it is resumed; "Leave"
// ends the app instead.

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidget>
#include <csignal>
#include <cstdlib>
#include <map>
#include <string>

int main(int argc, char* argv[]) {
    // Read by the desktop tests whatever the session's accessibility switch says.
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    QApplication app(argc, argv);
    QMainWindow window;
    std::map<std::string, int> counts{{"file", 0},  {"edit", 0},  {"tools", 0},
                                      {"plain", 0}, {"views", 0}, {"stall", 0}};
    const auto showCounts = [&] {
        QString title = "Menus ;";
        for (const char* name : {"file", "edit", "tools", "plain", "views", "stall"}) {
            title += QString(" %1=%2").arg(name).arg(counts[name]);
        }
        window.setWindowTitle(title);
    };
    const auto counter = [&](const char* name) {
        return [&, name] {
            ++counts[name];
            showCounts();
        };
    };

    QMenu* file = window.menuBar()->addMenu("File");
    QObject::connect(file->addAction("Count in file"), &QAction::triggered, counter("file"));
    file->addAction("Unused file item");
    QMenu* edit = window.menuBar()->addMenu("Edit");
    QObject::connect(edit->addAction("Count in edit"), &QAction::triggered, counter("edit"));

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    auto* tools = new QPushButton("Tools");
    auto* toolsMenu = new QMenu(tools);
    QObject::connect(toolsMenu->addAction("Count in tools"), &QAction::triggered, counter("tools"));
    toolsMenu->addAction("Unused tools item");
    tools->setMenu(toolsMenu);
    auto* plain = new QPushButton("Plain");
    QObject::connect(plain, &QPushButton::clicked, counter("plain"));
    auto* views = new QToolButton;
    views->setText("Views");
    auto* viewsMenu = new QMenu(views);
    QObject::connect(viewsMenu->addAction("Count in views"), &QAction::triggered, counter("views"));
    viewsMenu->addAction("Unused views item");
    views->setMenu(viewsMenu);
    views->setPopupMode(QToolButton::InstantPopup);
    auto* stall = new QPushButton("Stall");
    auto* stallMenu = new QMenu(stall);
    stallMenu->addAction("Stalled item");
    QObject::connect(stallMenu, &QMenu::aboutToShow, [&] {
        ++counts["stall"];
        showCounts();
        std::raise(SIGSTOP);
    });
    stall->setMenu(stallMenu);
    auto* leave = new QPushButton("Leave");
    auto* leaveMenu = new QMenu(leave);
    leaveMenu->addAction("Never shown");
    QObject::connect(leaveMenu, &QMenu::aboutToShow, [] { std::_Exit(0); });
    leave->setMenu(leaveMenu);
    layout->addWidget(tools);
    layout->addWidget(plain);
    layout->addWidget(views);
    layout->addWidget(stall);
    layout->addWidget(leave);
    layout->addStretch();
    window.setCentralWidget(central);

    showCounts();
    window.resize(480, 400);
    window.move(80, 80);
    window.show();
    return QApplication::exec();
}
