#pragma once

// The process's launch arguments as flags: a flag is an argument equal to its text, compared
// exactly; its value is the argument right after its first occurrence, used unchanged even when
// it begins with "--".

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ovra {

class LaunchFlags final {
  public:
    // `arguments` without the executable's path.
    explicit LaunchFlags(std::vector<std::string> arguments) : arguments_(std::move(arguments)) {}
    static LaunchFlags fromMain(int argc, const char* const* argv);

    bool has(std::string_view flag) const;
    // None when the flag is absent or is the last argument.
    std::optional<std::string> value(std::string_view flag) const;

  private:
    std::vector<std::string> arguments_;
};

// What the command line asks this process to do, in the order the flags are tested.
struct LaunchPlan {
    bool help = false;
    // "--press-test": the label (empty when the flag has no value).
    std::optional<std::string> pressTest;
    // "--tree": present, with the app when one is named.
    bool tree = false;
    std::optional<std::string> treeApp;
    // "--dump": present, with the app when one is named.
    bool dump = false;
    std::optional<std::string> dumpApp;

    static LaunchPlan from(const LaunchFlags& flags);
    bool any() const { return help || pressTest || tree || dump; }
};

// The app the press test acts on: the browser the fixture pages open in.
inline constexpr std::string_view kPressTestApp = "chromium";

// The text of "--help".
std::string usage();

}  // namespace ovra
