#include "platform/qt/dbus_notifications.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>

#include "support/child_process.h"
#include "support/eventually.h"

namespace brimwick {
namespace {

const QString kService = DBusNotifications::kService;
const QString kPath = DBusNotifications::kPath;

// A notification server on a private bus, as far as the protocol goes: it answers what it is
// asked, records the calls, and the test sends its signals.
class FakeServer final : public QDBusVirtualObject {
  public:
    explicit FakeServer(QDBusConnection bus) : bus_(std::move(bus)) {}
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
        calls[message.member()].push_back(message);
        QVariantList out;
        if (message.member() == "GetCapabilities") {
            out << capabilities;
        } else if (message.member() == "Notify") {
            const uint replaces = message.arguments().at(1).toUInt();
            out << (replaces ? replaces : ++lastId);
        } else if (message.member() == "Get") {
            const bool dunst = message.arguments().at(0).toString() == "org.dunstproject.cmd0";
            if (!dunst || !paused) {
                bus.send(message.createErrorReply(QDBusError::UnknownProperty, "none"));
                return true;
            }
            out << QVariant::fromValue(QDBusVariant(true));
        }
        bus.send(message.createReply(out));
        return true;
    }
    void signal(const QString& name, const QVariantList& arguments) {
        auto message = QDBusMessage::createSignal(kPath, kService, name);
        message.setArguments(arguments);
        bus_.send(message);
    }

    QStringList capabilities{"actions", "body"};
    bool paused = false;
    uint lastId = 40;
    std::map<QString, std::vector<QDBusMessage>> calls;  // by method

  private:
    QDBusConnection bus_;
};

bool settles(const std::function<bool()>& done) {
    return testing::eventually([&] {
        QCoreApplication::processEvents();
        return done();
    });
}

class DBusNotificationsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (access("/usr/bin/dbus-daemon", X_OK) != 0) GTEST_SKIP() << "dbus-daemon is missing";
        daemon = std::make_unique<testing::ChildProcess>(std::vector<std::string>{
            "/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address=1"});
        const auto address = daemon->readLine();
        ASSERT_TRUE(address);
        name = QStringLiteral("test-%1").arg(++connections);
        serverBus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QString::fromStdString(*address), name + "-server"));
        clientBus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QString::fromStdString(*address), name + "-client"));
        ASSERT_TRUE(serverBus->isConnected() && clientBus->isConnected());
        server = std::make_unique<FakeServer>(*serverBus);
    }
    void TearDown() override {
        notifications.reset();
        server.reset();
        if (serverBus) QDBusConnection::disconnectFromBus(name + "-server");
        if (clientBus) QDBusConnection::disconnectFromBus(name + "-client");
    }
    void serve() {
        ASSERT_TRUE(serverBus->registerVirtualObject(kPath, server.get()));
        ASSERT_TRUE(serverBus->registerService(kService));
    }
    void start() {
        notifications = std::make_unique<DBusNotifications>(*clientBus, [](BotState) {
            QImage image(2, 2, QImage::Format_RGBA8888);
            image.fill(Qt::red);
            return image;
        });
    }

    static inline int connections = 0;
    QString name;
    std::unique_ptr<testing::ChildProcess> daemon;
    std::unique_ptr<QDBusConnection> serverBus, clientBus;
    std::unique_ptr<FakeServer> server;
    std::unique_ptr<DBusNotifications> notifications;
};

TEST_F(DBusNotificationsTest, SupportFollowsTheServer) {
    struct Row {
        const char* name;
        QStringList capabilities;
        bool paused;
        NotificationSupport expected;
    };
    const std::vector<Row> rows = {
        {"buttons", {"body", "actions"}, false, NotificationSupport::actions},
        {"no buttons", {"body"}, false, NotificationSupport::plain},
        {"dunst paused", {"actions"}, true, NotificationSupport::paused},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        server->capabilities = row.capabilities;
        server->paused = row.paused;
        serve();
        start();
        EXPECT_TRUE(settles([&] { return notifications->support() == row.expected; }));
        serverBus->unregisterService(kService);
        serverBus->unregisterObject(kPath);
        // The server leaving is noticed.
        EXPECT_TRUE(settles([&] { return notifications->support() == NotificationSupport::none; }));
        notifications.reset();
        server->calls.clear();
    }
}

TEST_F(DBusNotificationsTest, NotifiesWithButtonsAndHearsTheAnswer) {
    serve();
    start();
    ASSERT_TRUE(settles([&] { return notifications->support() == NotificationSupport::actions; }));
    std::vector<std::string> heard;
    notifications->onAction = [&](const std::string& key, const std::string& action) {
        heard.push_back(key + " " + action);
    };
    notifications->onDismissed = [&](const std::string& key) { heard.push_back(key + " gone"); };

    DesktopNotification n{"weather: Needs your approval",
                          "Running a < b",
                          BotState::approval,
                          {{"allow:ab", "Allow"}, {"deny:ab", "Deny"}}};
    notifications->show("s1", n);
    notifications->show("s1", n);  // replaced before the first answer: sent when it comes
    ASSERT_TRUE(settles([&] { return server->calls["Notify"].size() == 2; }));
    const auto args = server->calls["Notify"][0].arguments();
    EXPECT_EQ(args.at(0).toString(), "Brimwick");
    EXPECT_EQ(args.at(1).toUInt(), 0u);
    EXPECT_EQ(args.at(3).toString(), "weather: Needs your approval");
    EXPECT_EQ(args.at(4).toString(), "Running a < b");  // no body-markup: as written
    EXPECT_EQ(args.at(5).toStringList(),
              (QStringList{"default", "Show", "allow:ab", "Allow", "deny:ab", "Deny"}));
    const auto hints = qdbus_cast<QVariantMap>(args.at(6));
    EXPECT_EQ(hints.value("urgency").toInt(), 2);
    EXPECT_TRUE(hints.contains("image-data"));
    EXPECT_EQ(args.at(7).toInt(), 0);  // stays until answered
    EXPECT_EQ(server->calls["Notify"][1].arguments().at(1).toUInt(), 41u);

    server->signal("ActionInvoked", {41u, "allow:ab"});
    server->signal("ActionInvoked", {7u, "deny:ab"});  // someone else's
    server->signal("NotificationClosed", {41u, 2u});
    ASSERT_TRUE(settles([&] { return heard.size() >= 2; }));
    EXPECT_EQ(heard, (std::vector<std::string>{"s1 allow:ab", "s1 gone"}));

    notifications->show("s2", n);
    notifications->close("s2");  // before the id came: closed when it does
    notifications->close("s1");  // already gone: nothing to do
    ASSERT_TRUE(settles([&] { return server->calls["CloseNotification"].size() == 1; }));
    EXPECT_EQ(server->calls["CloseNotification"][0].arguments().at(0).toUInt(), 42u);
}

}  // namespace
}  // namespace brimwick
