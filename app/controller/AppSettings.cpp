#include "app/controller/AppSettings.h"

#include <iostream>

#include "platform/desktopsettings/DockSide.h"

#ifndef OVRA_WORKER_DIRECTORY
#define OVRA_WORKER_DIRECTORY ""
#endif

namespace ovra {

AppSettings::AppSettings(Scheduler& scheduler, desktop::DesktopSettings& desktop, Report report,
                         const paths::Environment& env)
    : AppSettings(
          std::make_unique<JsonFileDefaults>(DefaultsFiles::file(DefaultsFiles::kAppDomain, env),
                                             scheduler, std::move(report)),
          Preferences::Sources{
              .dockOrientation = [&desktop] { return desktop::dockOrientation(desktop); },
              .builtInWorkerDirectory = std::string(builtInWorkerDirectory())}) {}

AppSettings::AppSettings(std::unique_ptr<JsonFileDefaults> defaults,
                         const Preferences::Sources& sources)
    : defaults_(std::move(defaults)), preferences_(*defaults_, sources) {}

std::unique_ptr<AppSettings> AppSettings::readOnly(Report report, const paths::Environment& env) {
    auto defaults = JsonFileDefaults::readOnly(DefaultsFiles::file(DefaultsFiles::kAppDomain, env),
                                               std::move(report));
    return std::unique_ptr<AppSettings>(new AppSettings(
        std::move(defaults), {.builtInWorkerDirectory = std::string(builtInWorkerDirectory())}));
}

AppSettings::~AppSettings() = default;

AppSettings::Report AppSettings::standardErrorReport() {
    return [](const std::string& sentence) {
        std::cerr << "murmlark-ovra: " << sentence << std::endl;
    };
}

std::string_view AppSettings::builtInWorkerDirectory() {
    return OVRA_WORKER_DIRECTORY;
}

}  // namespace ovra
