#include "app/shell/AppLifetime.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace ovra {

void AppLifetime::quit() {
    if (quitting_) {
        return;
    }
    quitting_ = true;
    if (hooks_.stopModel) {
        hooks_.stopModel();
    }
    if (hooks_.flushSettings) {
        hooks_.flushSettings();
    }
    if (hooks_.leaveEventLoop) {
        hooks_.leaveEventLoop();
    }
}

void AppLifetime::exitNow(int code) {
    quitting_ = true;
    if (hooks_.flushSettings) {
        hooks_.flushSettings();
    }
    if (hooks_.exitProcess) {
        hooks_.exitProcess(code);
    } else {
        exitProcess(code);
    }
}

void AppLifetime::exitProcess(int code) {
    std::cout.flush();
    std::cerr.flush();
    // Only our own streams: flushing every stream would wait for the lock of one another
    // thread holds while it blocks reading (the speech-dispatcher client's socket).
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(code);
}

}  // namespace ovra
