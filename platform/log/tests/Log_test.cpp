// The log's categories as QT_LOGGING_RULES switches them, and the standard error sink's lines.

#include "platform/log/Log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QLoggingCategory>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace ovra::logs {
namespace {

// What the process writes to standard error while it lives.
class CapturedStandardError {
  public:
    CapturedStandardError() : file_(std::tmpfile()), saved_(dup(fileno(stderr))) {
        std::fflush(stderr);
        dup2(fileno(file_), fileno(stderr));
    }
    ~CapturedStandardError() {
        restore();
        std::fclose(file_);
    }
    std::string text() {
        restore();
        std::string out;
        std::rewind(file_);
        for (int c; (c = std::fgetc(file_)) != EOF;) {
            out.push_back(static_cast<char>(c));
        }
        return out;
    }

  private:
    void restore() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            dup2(saved_, fileno(stderr));
            close(saved_);
            saved_ = -1;
        }
    }
    std::FILE* file_;
    int saved_;
};

TEST(Log, LinesGoToStandardErrorAsTheyWereWrittenAndRulesSwitchThem) {
    installStandardErrorSink();
    installStandardErrorSink();  // once is enough; twice must not loop
    EXPECT_EQ(name(Category::atspi), "ovra.atspi");
    EXPECT_FALSE(enabled(Category::atspi, Level::debug));
    EXPECT_TRUE(enabled(Category::controller, Level::info));

    CapturedStandardError captured;
    info(Category::controller, "Ovra pressed \"Öffnen\": clicked");
    debug(Category::atspi, "off by default");
    QLoggingCategory::setFilterRules("ovra.atspi.debug=true");
    EXPECT_TRUE(enabled(Category::atspi, Level::debug));
    debug(Category::atspi, "reading: 12 requests");
    QLoggingCategory::setFilterRules("ovra.*=false");
    warning(Category::speech, "silenced");
    QLoggingCategory::setFilterRules("");
    to(Category::maintenance, Level::warning)("updater: check failed");
    QMessageLogger(nullptr, 0, nullptr, "qt.other").warning("not ours");

    const std::string text = captured.text();
    EXPECT_NE(text.find("murmlark-ovra: Ovra pressed \"Öffnen\": clicked\n"
                        "murmlark-ovra: reading: 12 requests\n"
                        "murmlark-ovra: updater: check failed\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("off by default"), std::string::npos) << text;
    EXPECT_EQ(text.find("silenced"), std::string::npos) << text;
    EXPECT_EQ(text.find("murmlark-ovra: not ours"), std::string::npos) << text;
}

}  // namespace
}  // namespace ovra::logs
