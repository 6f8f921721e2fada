// A small Qt 6 app for the front-window journeys: with "twins", two copies of a modeless
// "Rename" dialog of one size, the second opened over the first; with "single", one. Each press
// prints "copy <n>: <button>" on standard output, and "ready" once every dialog shows.

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

void say(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

std::unique_ptr<QDialog> renameDialog(int copy) {
    auto dialog = std::make_unique<QDialog>();
    dialog->setWindowTitle("Rename");
    dialog->setFixedSize(360, 140);
    auto* row = new QHBoxLayout(dialog.get());
    for (const char* label : {"Apply", "Revert"}) {
        auto* button = new QPushButton(label, dialog.get());
        QObject::connect(button, &QPushButton::clicked,
                         [copy, label] { say(QString("copy %1: %2").arg(copy).arg(label)); });
        row->addWidget(button);
    }
    return dialog;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    QApplication app(argc, argv);
    const bool twins = argc < 2 || std::strcmp(argv[1], "single") != 0;
    std::vector<std::unique_ptr<QDialog>> dialogs;
    for (int copy = 1; copy <= (twins ? 2 : 1); ++copy) {
        dialogs.push_back(renameDialog(copy));
    }
    // One after another, each over the last, so the window manager stacks them in this order.
    int delay = 0;
    for (const auto& dialog : dialogs) {
        QTimer::singleShot(delay, dialog.get(), [d = dialog.get()] {
            d->move(200, 200);
            d->show();
        });
        delay += 400;
    }
    QTimer::singleShot(delay + 200, [] { say("ready"); });
    return QApplication::exec();
}
