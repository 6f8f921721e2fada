#pragma once

// Walks the accessible objects of one process as a screen reader does (libatspi, from this test
// process) and keeps what `pick` makes of each: the desktop tests' way of reading our windows.

#include <atspi/atspi.h>
#include <sys/types.h>

#include <cctype>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ovra::testing {

inline std::vector<std::string> objectsOf(
    pid_t pid, const std::function<std::optional<std::string>(AtspiAccessible*)>& pick,
    int maxDepth = 6) {
    std::vector<std::string> out;
    atspi_init();
    AtspiAccessible* desktop = atspi_get_desktop(0);
    const std::function<void(AtspiAccessible*, int)> walk = [&](AtspiAccessible* node, int depth) {
        if (auto picked = pick(node)) {
            out.push_back(std::move(*picked));
        }
        const int count = depth < maxDepth ? atspi_accessible_get_child_count(node, nullptr) : 0;
        for (int i = 0; i < count; ++i) {
            if (AtspiAccessible* child = atspi_accessible_get_child_at_index(node, i, nullptr)) {
                walk(child, depth + 1);
                g_object_unref(child);
            }
        }
    };
    const int apps = atspi_accessible_get_child_count(desktop, nullptr);
    for (int i = 0; i < apps; ++i) {
        AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, nullptr);
        if (app && atspi_accessible_get_process_id(app, nullptr) == static_cast<guint>(pid)) {
            walk(app, 0);
        }
        if (app) {
            g_object_unref(app);
        }
    }
    g_object_unref(desktop);
    return out;
}

// The names of the overlay's numbered highlights ("1, Play, Button"), as a screen reader reads
// them.
inline std::vector<std::string> highlightNames(pid_t pid) {
    return objectsOf(pid, [](AtspiAccessible* node) -> std::optional<std::string> {
        gchar* name = atspi_accessible_get_name(node, nullptr);
        std::optional<std::string> picked;
        if (atspi_accessible_get_role(node, nullptr) == ATSPI_ROLE_PUSH_BUTTON && name &&
            std::isdigit(static_cast<unsigned char>(name[0]))) {
            picked = name;
        }
        g_free(name);
        return picked;
    });
}

// The texts the windows of the process `pid` show as labels (the overlay's sentence), as a
// screen reader's review finds them.
inline std::vector<std::string> labelTexts(pid_t pid) {
    return objectsOf(pid, [](AtspiAccessible* node) -> std::optional<std::string> {
        gchar* name = atspi_accessible_get_name(node, nullptr);
        std::optional<std::string> picked;
        if (atspi_accessible_get_role(node, nullptr) == ATSPI_ROLE_LABEL && name && *name) {
            picked = name;
        }
        g_free(name);
        return picked;
    });
}

}  // namespace ovra::testing
