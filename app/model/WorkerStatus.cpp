#include "app/model/WorkerStatus.h"

#include "core/OvraText.h"

namespace ovra {

std::string WorkerStatus::label() const {
    switch (kind) {
        case Kind::offline:
            return OvraText::t("Using built-in rules (on-device model off)");
        case Kind::ready:
            return OvraText::t("On-device model ready");
        case Kind::starting:
        case Kind::loading:
            return OvraText::t("Starting the on-device model\u2026");
    }
    return {};
}

std::string WorkerStatus::detail() const {
    switch (kind) {
        case Kind::offline:
            return OvraText::f("Built-in rules only: %@", {reason});
        case Kind::ready:
            return OvraText::f("%@ ready", {modelName(model)});
        case Kind::starting:
            return OvraText::t("Starting the on-device model");
        case Kind::loading:
            return OvraText::t("Loading the on-device model");
    }
    return {};
}

std::string WorkerStatus::modelName(const std::string& modelID) {
    if (modelID == "murmlark-ovra/en")
        return OvraText::t("Murmlark Large, English");
    if (modelID == "murmlark-ovra/multi")
        return "Murmlark Multilingual";  // a name, never translated
    return OvraText::t("On-device model");
}

}  // namespace ovra
