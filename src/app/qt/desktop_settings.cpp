#include "app/qt/desktop_settings.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include "app/reduce_motion.h"

namespace brimwick {
namespace {

std::optional<std::string> gnomeEnableAnimations() {
    const QString gsettings = QStandardPaths::findExecutable(QStringLiteral("gsettings"));
    if (gsettings.isEmpty()) return std::nullopt;
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(gsettings, {QStringLiteral("get"), QStringLiteral("org.gnome.desktop.interface"),
                              QStringLiteral("enable-animations")});
    if (!process.waitForFinished(1000)) {
        process.kill();
        process.waitForFinished(200);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return std::nullopt;
    }
    return process.readAllStandardOutput().toStdString();
}

std::optional<std::string> kdeGlobals() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty()) config = QDir::homePath() + QStringLiteral("/.config");
    QFile file(config + QStringLiteral("/kdeglobals"));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return file.read(1 << 20).toStdString();
}

}  // namespace

bool systemReduceMotion() {
    MotionSettings settings;
    if (qEnvironmentVariableIsSet("BRIMWICK_REDUCE_MOTION")) {
        settings.environment = qEnvironmentVariable("BRIMWICK_REDUCE_MOTION").toStdString();
        if (reduceMotionWanted(settings)) return true;
    }
    settings.kdeGlobals = kdeGlobals();
    if (reduceMotionWanted(settings)) return true;
    settings.gnomeAnimations = gnomeEnableAnimations();
    return reduceMotionWanted(settings);
}

}  // namespace brimwick
