// The desktop's own settings that the desktop face follows: reduce motion for now, read at start
// and followed while the app runs.
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QProcess>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>

namespace brimwick {

// Reads the reduce-motion setting at start — BRIMWICK_REDUCE_MOTION, GNOME's enable-animations
// (through gsettings when installed, given one second) and KDE's kdeglobals under
// $XDG_CONFIG_HOME (default ~/.config) — and follows it while the app runs: GNOME's through
// `gsettings monitor`, KDE's by watching kdeglobals (KDE replaces the file, so its folder is
// watched too). The environment variable is the user's word for the whole run and is read once.
// GUI thread; `onChange` is called with the new value only when it changes.
class ReduceMotionWatcher final : public QObject {
  public:
    explicit ReduceMotionWatcher(std::function<void(bool)> onChange);
    ~ReduceMotionWatcher() override;

    bool current() const { return current_; }

  private:
    void readGnomeLines();
    void recheck();

    std::function<void(bool)> onChange_;
    std::optional<std::string> environment_;
    std::optional<std::string> gnome_;
    QString kdeGlobals_;
    QFileSystemWatcher files_;
    QProcess monitor_;
    QTimer settle_;
    bool current_ = false;
};

}  // namespace brimwick
