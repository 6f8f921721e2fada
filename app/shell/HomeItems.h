#pragma once

// The entries of the home island and of the classic menu, and the island's status lines,
// built afresh at every open from the controller's state.

#include <functional>
#include <string>
#include <vector>

#include "app/shell/ShellController.h"

namespace ovra {

struct HomeItem {
    std::string id;  // "permission", "ovras", "settings", "instructions", "mac", "support", "quit"
    std::string title;
    std::string subtitle;
    std::string symbol;  // the icon's name in the app's symbol set
    std::function<void()> action;
};

// What the items do beyond the controller: end the app, open the support page.
struct HomeItemActions {
    std::function<void()> quit;
    std::function<void()> openSupport;
};

// The maker's accessibility and support page.
inline constexpr const char* kSupportAddress = "https://qeld.ai/ovra/accessibility/";

// Six entries, seven while the accessibility bus cannot be read ("permission" first).
std::vector<HomeItem> buildHomeItems(ShellController& controller, const HomeItemActions& actions);
// The accessibility state, the model's status and, when set, the hotkey's notice or error.
std::vector<std::string> buildHomeStatus(const ShellController& controller);

}  // namespace ovra
