// What the backend does before it can reach any app: refusals and handles it does not know.

#include "platform/atspi/AtspiBackend.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

namespace ovra::atspi {
namespace {

// Sets an environment variable for one test and puts the old value back.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        setenv(name, value, 1);
    }
    ~ScopedEnvironment() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

class ForeignRef final : public ax::ElementRef {
  public:
    std::string key() const override { return "foreign"; }
};

TEST(AtspiBackend, RefusesWaylandSessionsWithAClearMessage) {
    ScopedEnvironment session("XDG_SESSION_TYPE", "wayland");
    AtspiBackend backend;
    EXPECT_FALSE(backend.isProcessTrusted());
    EXPECT_THAT(backend.trustProblem().value_or(""), ::testing::HasSubstr("Wayland"));
}

TEST(AtspiBackend, HandlesItDidNotMakeAreGoneApps) {
    AtspiBackend backend;
    const ax::Element foreign(std::make_shared<ForeignRef>());
    const std::array<std::string_view, 2> names{"AXRole", "AXTitle"};
    for (const ax::Element& element : {ax::Element(), foreign}) {
        auto batch = backend.attributes(element, names);
        ASSERT_FALSE(batch.ok());
        EXPECT_EQ(batch.error(), ax::AXError::appGone);
        EXPECT_FALSE(backend.children(element, 10).ok());
        EXPECT_FALSE(backend.actionNames(element).ok());
        EXPECT_EQ(backend.performAction(element, "AXPress"), ax::AXError::appGone);
        EXPECT_EQ(backend.setAttribute(element, "AXFocused", ax::Value(true)),
                  ax::AXError::appGone);
    }
}

}  // namespace
}  // namespace ovra::atspi
