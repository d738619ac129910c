// DBusNotifications: DesktopNotifications through the freedesktop notification server on the
// session bus (org.freedesktop.Notifications), with Qt D-Bus.
#pragma once

#include <QDBusConnection>
#include <QImage>
#include <QObject>
#include <QStringList>
#include <functional>
#include <map>
#include <optional>

#include "platform/desktop_notifications.h"

namespace brimwick {

// GUI thread only. Every call to the server is asynchronous, so a slow or hung server never
// stalls the main thread: until Notify's answer brings the server's id, a replacement waits and a
// close is remembered. support() follows the server coming and going, its capabilities, and
// the pause that dunst ("paused" of org.dunstproject.cmd0) and KDE Plasma ("Inhibited") offer
// as do not disturb; it is none until the first answer.
class DBusNotifications final : public QObject, public DesktopNotifications {
    Q_OBJECT

  public:
    static constexpr const char* kService = "org.freedesktop.Notifications";
    static constexpr const char* kPath = "/org/freedesktop/Notifications";

    // `icon` draws a notification's icon for a mascot state (none when empty).
    explicit DBusNotifications(QDBusConnection bus = QDBusConnection::sessionBus(),
                               std::function<QImage(BotState)> icon = {});
    ~DBusNotifications() override;

    NotificationSupport support() const override { return support_; }
    void show(const std::string& key, const DesktopNotification& notification) override;
    void close(const std::string& key) override;

  private Q_SLOTS:
    void actionInvoked(uint id, const QString& action);
    void notificationClosed(uint id, uint reason);
    void propertiesChanged();
    void refresh();

  private:
    struct Sent {
        uint id = 0;                                // the server's, once known
        bool waiting = false;                       // Notify not answered yet
        bool closeWhenKnown = false;                // closed before the id came
        std::optional<DesktopNotification> replay;  // replaced before the id came
    };

    void send(const std::string& key, const DesktopNotification& notification);
    void setSupport(NotificationSupport support);
    void askPaused(bool actions, QStringList names);

    QDBusConnection bus_;
    std::function<QImage(BotState)> icon_;
    NotificationSupport support_ = NotificationSupport::none;
    bool markup_ = false;
    std::uint64_t asked_ = 0;  // counts capability questions: only the latest answer counts
    std::map<std::string, Sent> sent_;
};

}  // namespace brimwick
