// The harnesses' readers log nowhere: the app's log sits on Qt's, which this build leaves out,
// and a harness's output is the fuzzer's own.

#include "platform/log/Log.h"

namespace ovra::logs {

std::string_view name(Category) {
    return "ovra";
}

bool enabled(Category, Level) {
    return false;
}

void write(Category, Level, std::string_view) {}

std::function<void(const std::string&)> to(Category, Level) {
    return [](const std::string&) {};
}

void installStandardErrorSink() {}

}  // namespace ovra::logs
