#include "platform/qt/dbus_notifications.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <memory>

namespace brimwick {

// The "image-data" hint: raw RGBA rows, as the notification protocol spells a picture.
struct NotificationImage {
    int width = 0, height = 0, rowStride = 0;
    bool alpha = true;
    int bitsPerSample = 8, channels = 4;
    QByteArray data;
};

}  // namespace brimwick

Q_DECLARE_METATYPE(brimwick::NotificationImage)

QDBusArgument& operator<<(QDBusArgument& out, const brimwick::NotificationImage& image) {
    out.beginStructure();
    out << image.width << image.height << image.rowStride << image.alpha << image.bitsPerSample
        << image.channels << image.data;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, brimwick::NotificationImage& image) {
    in.beginStructure();
    in >> image.width >> image.height >> image.rowStride >> image.alpha >> image.bitsPerSample >>
        image.channels >> image.data;
    in.endStructure();
    return in;
}

namespace brimwick {
namespace {

constexpr int kTimeoutMs = 5000;  // a server that does not answer by then is not there
constexpr uint kExpired = 1, kDismissed = 2;
// The body's click; servers that show the default action's label read it as a button.
constexpr const char* kShowLabel = "Show";

QDBusMessage call(const QString& method) {
    return QDBusMessage::createMethodCall(DBusNotifications::kService, DBusNotifications::kPath,
                                          DBusNotifications::kService, method);
}

// Runs `done` with the answer to `message`, unless `owner` is gone by then.
void whenAnswered(QDBusConnection& bus, const QDBusMessage& message, QObject* owner,
                  std::function<void(const QDBusMessage&)> done) {
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message, kTimeoutMs), owner);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, owner,
                     [done = std::move(done)](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         done(finished->reply());
                     });
}

QVariant imageHint(const QImage& picture) {
    const QImage rgba = picture.convertToFormat(QImage::Format_RGBA8888);
    NotificationImage image;
    image.width = rgba.width();
    image.height = rgba.height();
    image.rowStride = static_cast<int>(rgba.bytesPerLine());
    image.data = QByteArray(reinterpret_cast<const char*>(rgba.constBits()),
                            static_cast<qsizetype>(rgba.sizeInBytes()));
    return QVariant::fromValue(image);
}

}  // namespace

DBusNotifications::DBusNotifications(QDBusConnection bus, std::function<QImage(BotState)> icon)
    : bus_(std::move(bus)), icon_(std::move(icon)) {
    qDBusRegisterMetaType<NotificationImage>();
    auto* watcher =
        new QDBusServiceWatcher(kService, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, [this] {
        // A new server knows nothing of the old one's notifications.
        sent_.clear();
        refresh();
    });
    bus_.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                 SLOT(actionInvoked(uint, QString)));
    bus_.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this,
                 SLOT(notificationClosed(uint, uint)));
    bus_.connect(kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                 QStringLiteral("PropertiesChanged"), this, SLOT(propertiesChanged()));
    refresh();
}

DBusNotifications::~DBusNotifications() {
    for (const auto& [key, sent] : sent_) {
        if (sent.id == 0) continue;
        auto message = call(QStringLiteral("CloseNotification"));
        message << sent.id;
        bus_.call(message, QDBus::NoBlock);
    }
}

void DBusNotifications::refresh() {
    const auto asked = ++asked_;
    whenAnswered(bus_, call(QStringLiteral("GetCapabilities")), this,
                 [this, asked](const QDBusMessage& reply) {
                     if (asked != asked_) return;
                     if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().empty()) {
                         setSupport(NotificationSupport::none);
                         return;
                     }
                     const QStringList capabilities = reply.arguments().front().toStringList();
                     markup_ = capabilities.contains(QStringLiteral("body-markup"));
                     if (!capabilities.contains(QStringLiteral("actions"))) {
                         setSupport(NotificationSupport::plain);
                         return;
                     }
                     askPaused(true,
                               {QStringLiteral("org.dunstproject.cmd0"), QStringLiteral("paused"),
                                kService, QStringLiteral("Inhibited")});
                 });
}

// Asks the pause properties in turn (interface, name, ...); a server without one answers an
// error, which counts as not paused.
void DBusNotifications::askPaused(bool actions, QStringList names) {
    if (names.size() < 2) {
        setSupport(actions ? NotificationSupport::actions : NotificationSupport::plain);
        return;
    }
    auto message = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    message << names[0] << names[1];
    const auto asked = asked_;
    whenAnswered(bus_, message, this,
                 [this, asked, actions, rest = names.mid(2)](const QDBusMessage& reply) {
                     if (asked != asked_) return;
                     if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().empty() &&
                         reply.arguments().front().value<QDBusVariant>().variant().toBool()) {
                         setSupport(NotificationSupport::paused);
                         return;
                     }
                     askPaused(actions, rest);
                 });
}

void DBusNotifications::setSupport(NotificationSupport support) {
    if (support == support_) return;
    support_ = support;
    supportChanged.emit();
}

void DBusNotifications::propertiesChanged() {
    refresh();
}

void DBusNotifications::show(const std::string& key, const DesktopNotification& notification) {
    if (auto it = sent_.find(key); it != sent_.end() && it->second.waiting) {
        it->second.replay = notification;
        it->second.closeWhenKnown = false;
        return;
    }
    send(key, notification);
}

void DBusNotifications::send(const std::string& key, const DesktopNotification& notification) {
    Sent& sent = sent_[key];
    QStringList actions{QString::fromLatin1(kBodyClicked), QString::fromLatin1(kShowLabel)};
    for (const auto& [action, label] : notification.actions) {
        actions << QString::fromStdString(action) << QString::fromStdString(label);
    }
    QString body = QString::fromStdString(notification.body);
    if (markup_) body = body.toHtmlEscaped();
    const bool buttons = !notification.actions.empty();
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("brimwick"));
    // A request waits for its answer: its notification stays until then.
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(buttons ? 2 : 1));
    if (icon_) hints.insert(QStringLiteral("image-data"), imageHint(icon_(notification.mascot)));

    auto message = call(QStringLiteral("Notify"));
    message << QStringLiteral("Brimwick") << sent.id << QStringLiteral("brimwick")
            << QString::fromStdString(notification.summary) << body << actions << hints
            << (buttons ? 0 : -1);
    sent.waiting = true;
    whenAnswered(bus_, message, this, [this, key](const QDBusMessage& reply) {
        const auto it = sent_.find(key);
        if (it == sent_.end()) return;
        Sent& answered = it->second;
        answered.waiting = false;
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().empty()) {
            sent_.erase(it);
            return;
        }
        answered.id = reply.arguments().front().toUInt();
        if (answered.closeWhenKnown) {
            close(key);
        } else if (auto again = std::exchange(answered.replay, std::nullopt)) {
            send(key, *again);
        }
    });
}

void DBusNotifications::close(const std::string& key) {
    const auto it = sent_.find(key);
    if (it == sent_.end()) return;
    if (it->second.waiting) {
        it->second.closeWhenKnown = true;
        it->second.replay.reset();
        return;
    }
    auto message = call(QStringLiteral("CloseNotification"));
    message << it->second.id;
    bus_.call(message, QDBus::NoBlock);
    sent_.erase(it);
}

void DBusNotifications::actionInvoked(uint id, const QString& action) {
    for (const auto& [key, sent] : sent_) {
        if (sent.id != id || id == 0) continue;
        const std::string which = key;  // the callback may close it
        if (onAction) onAction(which, action.toStdString());
        return;
    }
}

void DBusNotifications::notificationClosed(uint id, uint reason) {
    for (auto it = sent_.begin(); it != sent_.end(); ++it) {
        if (it->second.id != id || id == 0 || it->second.waiting) continue;
        const std::string key = it->first;
        sent_.erase(it);
        if ((reason == kExpired || reason == kDismissed) && onDismissed) onDismissed(key);
        return;
    }
}

}  // namespace brimwick
