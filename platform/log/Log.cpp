#include "platform/log/Log.h"

#include <QLoggingCategory>
#include <QString>
#include <cstdio>

namespace ovra::logs {

namespace {

// Debug lines are off until a rule turns them on.
Q_LOGGING_CATEGORY(appLog, "ovra.app", QtInfoMsg)
Q_LOGGING_CATEGORY(shellLog, "ovra.shell", QtInfoMsg)
Q_LOGGING_CATEGORY(controllerLog, "ovra.controller", QtInfoMsg)
Q_LOGGING_CATEGORY(hotkeysLog, "ovra.hotkeys", QtInfoMsg)
Q_LOGGING_CATEGORY(atspiLog, "ovra.atspi", QtInfoMsg)
Q_LOGGING_CATEGORY(speechLog, "ovra.speech", QtInfoMsg)
Q_LOGGING_CATEGORY(modelLog, "ovra.model", QtInfoMsg)
Q_LOGGING_CATEGORY(settingsLog, "ovra.settings", QtInfoMsg)
Q_LOGGING_CATEGORY(maintenanceLog, "ovra.maintenance", QtInfoMsg)

const QLoggingCategory& category(Category c) {
    switch (c) {
        case Category::app:
            return appLog();
        case Category::shell:
            return shellLog();
        case Category::controller:
            return controllerLog();
        case Category::hotkeys:
            return hotkeysLog();
        case Category::atspi:
            return atspiLog();
        case Category::speech:
            return speechLog();
        case Category::model:
            return modelLog();
        case Category::settings:
            return settingsLog();
        case Category::maintenance:
            return maintenanceLog();
    }
    return appLog();
}

constexpr std::string_view kPrefix = "murmlark-ovra: ";

QtMessageHandler qtHandler = nullptr;

void standardError(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (context.category != nullptr && std::string_view(context.category).starts_with("ovra.")) {
        QByteArray line(kPrefix.data(), static_cast<qsizetype>(kPrefix.size()));
        line += message.toUtf8();
        line += '\n';
        std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
        std::fflush(stderr);
        return;
    }
    if (qtHandler != nullptr) {
        qtHandler(type, context, message);
        return;
    }
    const QByteArray line = qFormatLogMessage(type, context, message).toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
}

}  // namespace

std::string_view name(Category c) {
    return category(c).categoryName();
}

bool enabled(Category c, Level level) {
    const QLoggingCategory& cat = category(c);
    switch (level) {
        case Level::debug:
            return cat.isDebugEnabled();
        case Level::info:
            return cat.isInfoEnabled();
        case Level::warning:
            return cat.isWarningEnabled();
    }
    return false;
}

void write(Category c, Level level, std::string_view line) {
    const QLoggingCategory& cat = category(c);
    const QString text = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
    switch (level) {
        case Level::debug:
            qCDebug(cat).noquote() << text;
            break;
        case Level::info:
            qCInfo(cat).noquote() << text;
            break;
        case Level::warning:
            qCWarning(cat).noquote() << text;
            break;
    }
}

std::function<void(const std::string&)> to(Category c, Level level) {
    return [c, level](const std::string& line) { write(c, level, line); };
}

void installStandardErrorSink() {
    QtMessageHandler previous = qInstallMessageHandler(standardError);
    if (previous != standardError) {
        qtHandler = previous;
    }
}

}  // namespace ovra::logs
