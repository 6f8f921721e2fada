#include "app/diagnostics/selftest/OverlayState.h"

#include <QApplication>
#include <QLineEdit>
#include <QWidget>
#include <algorithm>

#include "app/overlay/OverlayPanel.h"

namespace ovra::selftest {

namespace {

const char* flag(bool on) {
    return on ? "true" : "false";
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

}  // namespace

std::string quotedList(const std::vector<std::string>& texts) {
    std::string out = "[";
    for (std::size_t i = 0; i < texts.size(); ++i) {
        out += (i ? ", " : "") + quoted(texts[i]);
    }
    return out + "]";
}

std::string overlayState(const OverlayModel& model, const OverlayWindowFlags& window) {
    std::vector<std::string> labels;
    if (const FocusPlan* plan = model.phase().plan()) {
        for (const std::string& id : model.navigationOrder()) {
            const FocusItem* item = plan->item(id);
            labels.push_back(item ? item->displayLabel : id);
        }
    }
    const std::optional<FocusItem> selected = model.selectedItem();
    return std::string("visible=") + flag(window.visible) + " panelKey=" + flag(window.key) +
           " sidebar=" + flag(model.sidebar()) + " finding=" + flag(model.finding()) +
           " query=" + quoted(model.query()) +
           " fieldHasKeyboard=" + flag(window.fieldHasKeyboard) + " stale=" + flag(model.stale()) +
           " armed=" + flag(model.armedID().has_value()) +
           " selected=" + (selected ? selected->displayLabel : std::string("none")) +
           " list=" + quotedList(labels);
}

OverlayPanel* overlayPanel() {
    OverlayPanel* hidden = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* panel = qobject_cast<OverlayPanel*>(window)) {
            if (panel->isVisible()) {
                return panel;
            }
            hidden = hidden ? hidden : panel;
        }
    }
    return hidden;
}

OverlayWindowFlags flagsOf(const OverlayPanel* panel) {
    if (!panel) {
        return {};
    }
    return {panel->isVisible(), panel->isVisible() && keyWindow() == panel,
            qobject_cast<const QLineEdit*>(panel->focusWidget()) != nullptr};
}

QWidget* keyWindow() {
    return QApplication::activeWindow();
}

std::string windowsSummary() {
    std::vector<std::string> titles;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && !window->windowTitle().isEmpty()) {
            titles.push_back(window->windowTitle().toStdString());
        }
    }
    std::sort(titles.begin(), titles.end());
    const QWidget* key = keyWindow();
    return "windows=" + quotedList(titles) +
           " keyWindow=" + (key ? key->windowTitle().toStdString() : std::string("none"));
}

}  // namespace ovra::selftest
