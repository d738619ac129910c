// sni_host: a stand-in StatusNotifierItem host for measuring what a tray icon costs on desktops
// whose tray speaks D-Bus (KDE, GNOME with the AppIndicator extension, most bars). It owns
// org.kde.StatusNotifierWatcher on the session bus, so Qt hands its tray icon over D-Bus instead
// of XEmbed, and like a real host it fetches the item's IconPixmap after every NewIcon signal.
//
//   sni_host REPORT_FILE
//
// Every second it writes "images N bytes B" to REPORT_FILE: the icons fetched so far and the
// bytes of pixels they carried. Runs until killed.
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QFile>
#include <QStringList>
#include <QTimer>
#include <cstdio>

namespace {

class Watcher : public QObject {
    Q_OBJECT

  public:
    explicit Watcher(QString reportPath) : reportPath_(std::move(reportPath)) {
        QTimer* report = new QTimer(this);
        connect(report, &QTimer::timeout, this, &Watcher::writeReport);
        report->start(1000);
        writeReport();
    }

    QStringList items() const { return items_; }

    void registerItem(const QString& serviceOrPath, const QString& sender) {
        // Qt registers its bus name; some toolkits register an object path on their connection.
        const bool isPath = serviceOrPath.startsWith(QLatin1Char('/'));
        const QString service = isPath ? sender : serviceOrPath;
        const QString path = isPath ? serviceOrPath : QStringLiteral("/StatusNotifierItem");
        items_ << service + path;
        QDBusConnection::sessionBus().connect(
            service, path, QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("NewIcon"),
            this, SLOT(newIcon(QDBusMessage)));
        fetch(service, path);
    }

  public Q_SLOTS:
    void newIcon(const QDBusMessage& signal) { fetch(signal.service(), signal.path()); }

  private:
    void fetch(const QString& service, const QString& path) {
        QDBusMessage get = QDBusMessage::createMethodCall(
            service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"));
        get << QStringLiteral("org.kde.StatusNotifierItem") << QStringLiteral("IconPixmap");
        auto* call =
            new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(get), this);
        connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            const QDBusPendingReply<QDBusVariant> reply = *w;
            if (reply.isError()) return;
            // a(iiay): width, height, ARGB32 pixels in network byte order, one per size.
            const QDBusArgument argument = reply.value().variant().value<QDBusArgument>();
            argument.beginArray();
            while (!argument.atEnd()) {
                int width = 0, height = 0;
                QByteArray pixels;
                argument.beginStructure();
                argument >> width >> height >> pixels;
                argument.endStructure();
                bytes_ += pixels.size();
            }
            argument.endArray();
            ++images_;
        });
    }

    void writeReport() {
        QFile file(reportPath_);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
        file.write(QStringLiteral("images %1 bytes %2\n").arg(images_).arg(bytes_).toUtf8());
    }

    QString reportPath_;
    QStringList items_;
    qint64 images_ = 0;
    qint64 bytes_ = 0;
};

class WatcherAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredStatusNotifierItems)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isStatusNotifierHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

  public:
    explicit WatcherAdaptor(Watcher* watcher) : QDBusAbstractAdaptor(watcher), watcher_(watcher) {}

    QStringList registeredStatusNotifierItems() const { return watcher_->items(); }
    bool isStatusNotifierHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

  public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message) {
        watcher_->registerItem(service, message.service());
    }
    void RegisterStatusNotifierHost(const QString&) {}

  Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();

  private:
    Watcher* watcher_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: sni_host REPORT_FILE\n");
        return 2;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    Watcher watcher(QString::fromLocal8Bit(argv[1]));
    new WatcherAdaptor(&watcher);
    if (!bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher) ||
        !bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
        std::fprintf(stderr, "sni_host: cannot own org.kde.StatusNotifierWatcher\n");
        return 1;
    }
    return app.exec();
}

#include "sni_host.moc"
