// Renders the bird into the resource files the app and the desktop load: the tray icon
// (menubar-ovra.png) and the app's icon (murmlark-ovra.png), into the folder given.

#include <QGuiApplication>
#include <QImage>
#include <cstdio>

#include "app/shell/MenuBarIcon.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ovra-render-icons FOLDER\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const bool ok = ovra::MenuBarIcon::renderTrayResource(36).save(folder + "/menubar-ovra.png") &&
                    ovra::MenuBarIcon::renderAppIcon(256).save(folder + "/murmlark-ovra.png");
    if (!ok) {
        std::fprintf(stderr, "ovra-render-icons: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
