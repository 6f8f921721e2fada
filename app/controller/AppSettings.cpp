#include "app/controller/AppSettings.h"

#include <utility>

#include "platform/desktopsettings/DockSide.h"
#include "platform/log/Log.h"

#ifndef OVRA_WORKER_DIRECTORY
#define OVRA_WORKER_DIRECTORY ""
#endif

namespace ovra {

AppSettings::AppSettings(Scheduler& scheduler, desktop::DesktopSettings& desktop, Report report,
                         const paths::Environment& env)
    : AppSettings(std::make_shared<Problems>(Problems{std::move(report), {}, {}}), scheduler,
                  desktop, env) {}

AppSettings::AppSettings(std::shared_ptr<Problems> problems, Scheduler& scheduler,
                         desktop::DesktopSettings& desktop, const paths::Environment& env)
    : AppSettings(
          problems,
          std::make_unique<JsonFileDefaults>(DefaultsFiles::file(DefaultsFiles::kAppDomain, env),
                                             scheduler, reportTo(problems)),
          Preferences::Sources{
              .dockOrientation = [&desktop] { return desktop::dockOrientation(desktop); },
              .builtInWorkerDirectory = std::string(builtInWorkerDirectory())}) {}

AppSettings::AppSettings(std::shared_ptr<Problems> problems,
                         std::unique_ptr<JsonFileDefaults> defaults,
                         const Preferences::Sources& sources)
    : problems_(std::move(problems)),
      defaults_(std::move(defaults)),
      preferences_(*defaults_, sources) {}

std::unique_ptr<AppSettings> AppSettings::readOnly(Report report, const paths::Environment& env) {
    auto problems = std::make_shared<Problems>(Problems{std::move(report), {}, {}});
    auto defaults = JsonFileDefaults::readOnly(DefaultsFiles::file(DefaultsFiles::kAppDomain, env),
                                               reportTo(problems));
    return std::unique_ptr<AppSettings>(
        new AppSettings(problems, std::move(defaults),
                        {.builtInWorkerDirectory = std::string(builtInWorkerDirectory())}));
}

AppSettings::~AppSettings() = default;

AppSettings::Report AppSettings::reportTo(const std::shared_ptr<Problems>& problems) {
    return [problems](const std::string& sentence) {
        if (problems->log) {
            problems->log(sentence);
        }
        if (problems->show) {
            problems->show(sentence);
        } else {
            problems->unshown.push_back(sentence);
        }
    };
}

void AppSettings::showProblemsWith(Report show) {
    problems_->show = std::move(show);
    for (const std::string& sentence : std::exchange(problems_->unshown, {})) {
        if (problems_->show) {
            problems_->show(sentence);
        }
    }
}

AppSettings::Report AppSettings::standardErrorReport() {
    return logs::to(logs::Category::settings, logs::Level::warning);
}

std::string_view AppSettings::builtInWorkerDirectory() {
    return OVRA_WORKER_DIRECTORY;
}

}  // namespace ovra
