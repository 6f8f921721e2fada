// main() of the tests that need a Qt application: widgets render on Qt's offscreen platform
// unless the test runs in a desktop (QT_QPA_PLATFORM set by the caller).

#include <gmock/gmock.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Fonts differ between machines only if the test picks none; tests name their fonts.
    QApplication app(argc, argv);
    testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
