// A small Qt 6 app for the desktop tests: a window "Form window" of six buttons, each one flat
// colour, its words too (so any pixel of it tells which it is), and with --dialog a modal "New
// Form" dialog over it, as a designer tool opens at start (its "Close" closes it). The app has a
// display name, so Qt adds it to every title the window manager shows ("New Form — Form Fixture")
// but not to the names on the accessibility bus. Prints "pressed: <label>" on standard output for
// each press.

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>
#include <cstring>

namespace {

void say(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

QPushButton* button(const QString& label, QWidget* parent) {
    auto* b = new QPushButton(label, parent);
    QObject::connect(b, &QPushButton::clicked, [label] { say("pressed: " + label); });
    return b;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName("Form Fixture");

    QWidget window;
    window.setWindowTitle("Form window");
    window.setFixedSize(900, 480);
    struct Place {
        const char* label;
        const char* colour;
        int x;
        int y;
    };
    // Laid out as the scaled test page is, in the window's own pixels.
    const Place places[] = {
        {"Print", "#e01010", 40, 60},        {"Help", "#10c010", 360, 60},
        {"Share", "#1030e0", 680, 60},       {"Send message", "#e0a000", 40, 360},
        {"Save draft", "#00b0b0", 360, 360}, {"Archive", "#a010c0", 680, 360}};
    for (const Place& p : places) {
        QPushButton* b = button(p.label, &window);
        b->setGeometry(p.x, p.y, 180, 60);
        b->setStyleSheet(QString("QPushButton { background: %1; color: %1; border: 0; }")
                             .arg(QString::fromLatin1(p.colour)));
    }
    window.move(0, 0);
    window.show();

    QDialog dialog(&window);
    dialog.setWindowTitle("New Form");
    dialog.setModal(true);
    auto* layout = new QVBoxLayout(&dialog);
    auto* templates = new QListWidget(&dialog);
    templates->addItems({"Dialog with Buttons Bottom", "Main Window", "Widget"});
    templates->setAccessibleName("Templates");
    layout->addWidget(templates);
    layout->addWidget(new QCheckBox("Show this Dialog on Startup", &dialog));
    auto* row = new QHBoxLayout;
    for (const char* label : {"Create", "Open…", "Close"}) {
        row->addWidget(button(label, &dialog));
    }
    QObject::connect(qobject_cast<QPushButton*>(row->itemAt(2)->widget()), &QPushButton::clicked,
                     &dialog, &QDialog::reject);
    layout->addLayout(row);
    if (argc > 1 && std::strcmp(argv[1], "--dialog") == 0) {
        dialog.show();
    }
    return QApplication::exec();
}
