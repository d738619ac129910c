#include "app/qt/desktop_settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

QString kdeGlobalsPath() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty()) config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/kdeglobals");
}

std::optional<std::string> kdeGlobals() {
    QFile file(kdeGlobalsPath());
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return file.read(1 << 20).toStdString();
}

std::optional<std::string> environmentSetting() {
    if (!qEnvironmentVariableIsSet("BRIMWICK_REDUCE_MOTION")) return std::nullopt;
    return qEnvironmentVariable("BRIMWICK_REDUCE_MOTION").toStdString();
}

}  // namespace

ReduceMotionWatcher::ReduceMotionWatcher(std::function<void(bool)> onChange)
    : onChange_(std::move(onChange)),
      environment_(environmentSetting()),
      gnome_(gnomeEnableAnimations()),
      kdeGlobals_(kdeGlobalsPath()) {
    current_ = reduceMotionWanted({environment_, gnome_, kdeGlobals()});
    // Editors and KDE itself write a file in several steps: read it once they are done.
    settle_.setSingleShot(true);
    settle_.setInterval(200);
    connect(&settle_, &QTimer::timeout, this, [this] { recheck(); });
    files_.addPath(QFileInfo(kdeGlobals_).absolutePath());
    if (QFileInfo::exists(kdeGlobals_)) files_.addPath(kdeGlobals_);
    const auto changed = [this] {
        if (QFileInfo::exists(kdeGlobals_) && !files_.files().contains(kdeGlobals_)) {
            files_.addPath(kdeGlobals_);
        }
        settle_.start();
    };
    connect(&files_, &QFileSystemWatcher::fileChanged, this, changed);
    connect(&files_, &QFileSystemWatcher::directoryChanged, this, changed);

    const QString gsettings = QStandardPaths::findExecutable(QStringLiteral("gsettings"));
    if (!gsettings.isEmpty()) {
        monitor_.setStandardInputFile(QProcess::nullDevice());
        monitor_.setStandardErrorFile(QProcess::nullDevice());
        connect(&monitor_, &QProcess::readyReadStandardOutput, this, [this] { readGnomeLines(); });
        monitor_.start(gsettings,
                       {QStringLiteral("monitor"), QStringLiteral("org.gnome.desktop.interface"),
                        QStringLiteral("enable-animations")});
    }
}

ReduceMotionWatcher::~ReduceMotionWatcher() {
    monitor_.disconnect(this);
    if (monitor_.state() != QProcess::NotRunning) {
        monitor_.kill();
        monitor_.waitForFinished(200);
    }
}

void ReduceMotionWatcher::readGnomeLines() {
    // Lines read "enable-animations: false".
    while (monitor_.canReadLine()) {
        const QString line = QString::fromUtf8(monitor_.readLine()).trimmed();
        const auto colon = line.indexOf(QLatin1Char(':'));
        if (colon >= 0) gnome_ = line.mid(colon + 1).trimmed().toStdString();
    }
    recheck();
}

void ReduceMotionWatcher::recheck() {
    const bool now = reduceMotionWanted({environment_, gnome_, kdeGlobals()});
    if (now == current_) return;
    current_ = now;
    if (onChange_) onChange_(now);
}

}  // namespace brimwick
