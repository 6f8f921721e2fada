#include "app/controller/PressReport.h"

#include "core/DisplayText.h"
#include "core/OvraText.h"

namespace ovra::PressReport {

namespace {

std::string routeList(const std::vector<std::string>& routes) {
    std::string out;
    for (const std::string& route : routes) {
        out += (out.empty() ? "" : ", ") + route;
    }
    return out;
}

// A label in the log is cut to this many bytes, on a character boundary.
constexpr std::size_t kMostLabelBytes = 300;

std::string logged(const std::string& label) {
    if (label.size() <= kMostLabelBytes) {
        return label;
    }
    std::size_t end = kMostLabelBytes;
    while (end > 0 && (static_cast<unsigned char>(label[end]) & 0xC0) == 0x80) {
        --end;
    }
    return label.substr(0, end) + "…";
}

}  // namespace

std::string logLine(const std::string& label, const PressOutcome& outcome) {
    const std::string quoted = "\"" + logged(label) + "\"";
    // In web content, what told whether the press arrived, and the label it gave itself.
    const std::string relabelled =
        outcome.relabelled.empty() ? "" : " \"" + logged(outcome.relabelled) + "\"";
    const std::string told =
        outcome.told.empty() ? "" : ", " + std::string(outcome.told) + relabelled;
    if (outcome.route) {
        return "Ovra pressed " + quoted + ": " + std::string(rawValue(*outcome.route)) +
               (outcome.replaced ? " (the page had made it anew)" : "") + told;
    }
    switch (outcome.failure.value_or(PressFailure::refused)) {
        case PressFailure::changed:
            return "Ovra did not press " + quoted + ": the control changed" + told;
        case PressFailure::gone:
            return "Ovra did not press " + quoted + ": it went away before it was pressed" + told;
        case PressFailure::unsure:
            // Outside web content nothing tells of the page: the app has the press and did not
            // show what it did (it was stopped, or no row shows chosen).
            if (outcome.told.empty()) {
                return "Ovra cannot tell whether it pressed " + quoted +
                       ": the app did not show what the press did";
            }
            return "Ovra cannot tell whether it pressed " + quoted +
                   ": the page changed it as it was pressed" + told;
        case PressFailure::disabled:
            return "Ovra did not press " + quoted + ": the control is disabled";
        case PressFailure::covered:
            return "Ovra did not press " + quoted + ": something else is shown where it is";
        case PressFailure::notResponding:
            return "Ovra could not press " + quoted + ": the app is not responding";
        case PressFailure::appClosed:
            return "Ovra could not press " + quoted + ": the app has closed";
        case PressFailure::waitsForDialog:
            return "Ovra did not press " + quoted + ": a dialog of the app waits for an answer";
        case PressFailure::notInFront:
            return "Ovra did not press " + quoted + ": its window is not the one in front";
        case PressFailure::refused:
            break;
    }
    return "Ovra could not press " + quoted + ": every way failed (" +
           routeList(outcome.failedRoutes) + ")";
}

std::optional<std::string> sentence(const PressOutcome& outcome,
                                    const std::vector<std::string>& dialogs) {
    if (outcome.route) {
        return std::nullopt;
    }
    switch (outcome.failure.value_or(PressFailure::refused)) {
        case PressFailure::changed:
            return OvraText::t("The control changed, so nothing was pressed.");
        case PressFailure::gone:
            return OvraText::t(
                "The control went away before it was pressed, so nothing was pressed.");
        case PressFailure::unsure:
            if (outcome.told.empty()) {
                return OvraText::t(
                    "The app did not show whether it took the press. Look at it before "
                    "pressing again.");
            }
            return OvraText::t(
                "The control changed as it was pressed. Look at the page before "
                "pressing it again.");
        case PressFailure::disabled:
            return OvraText::t("The control is turned off, so nothing was pressed.");
        case PressFailure::covered:
            return OvraText::t(
                "Something else is shown where the control is, so nothing was "
                "pressed.");
        case PressFailure::notResponding:
            return OvraText::t("This app is not responding. Try again once it answers.");
        case PressFailure::appClosed:
            return OvraText::t("The app has closed, so nothing was pressed.");
        case PressFailure::waitsForDialog:
            return waitingForDialog(dialogs);
        case PressFailure::notInFront:
            return OvraText::t(
                "Ovra could not tell which of this app's windows is in front, so nothing was "
                "pressed.");
        case PressFailure::refused:
            break;
    }
    return OvraText::t("The control could not be pressed.");
}

std::string aboutControl(const std::string& label, const std::string& sentence) {
    const std::string name = text::forDisplay(logged(label));
    return name.empty() ? sentence : OvraText::f("“%@”: %@", {name, sentence});
}

std::string waitingForDialog(const std::vector<std::string>& dialogs) {
    const std::string title = dialogs.empty() ? std::string() : text::forDisplay(dialogs.front());
    if (title.empty()) {
        return OvraText::t(
            "This app is waiting for one of its dialogs to be answered, so nothing can be "
            "pressed in this window.");
    }
    return OvraText::f(
        "This app is waiting for “%@” to be answered, so nothing can be pressed in this window.",
        {title});
}

Telling telling(const PressOutcome& outcome, bool appRunning, bool requestOpen, bool planShown) {
    // A press that may have landed leaves the control changed under the user: the same control
    // under the next Return could undo it.
    if (outcome.failure == PressFailure::unsure || !(appRunning || requestOpen)) {
        return Telling::alone;
    }
    return requestOpen && planShown ? Telling::onTheOpenPlan : Telling::overThePage;
}

}  // namespace ovra::PressReport
