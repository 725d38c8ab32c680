// Desktop notifications against a private session bus with a notification
// service of the test's own, and the ways taken where there is none.
#include "ui/desktop_notifier.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QObject>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTest>
#include <chrono>
#include <csignal>

namespace {

constexpr int kWaitMs = 5000;

// Counts the Notify calls it receives and keeps the last summary.
class FakeNotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    int calls = 0;
    QString summary;
    QString body;

public slots:
    uint Notify(const QString& /*app*/, uint /*replaces*/, const QString& /*icon*/,
                const QString& summary_text, const QString& body_text,
                const QStringList& /*actions*/, const QVariantMap& /*hints*/, int /*timeout*/) {
        ++calls;
        summary = summary_text;
        body = body_text;
        return static_cast<uint>(calls);
    }
};

// A dbus-daemon of the test's own, so nothing reaches the desktop's bus.
class PrivateBus : public testing::Test {
protected:
    void SetUp() override {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        ASSERT_TRUE(daemon_.waitForStarted(kWaitMs)) << "dbus-daemon is not installed";
        ASSERT_TRUE(QTest::qWaitFor([&] { return daemon_.canReadLine(); }, kWaitMs));
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        ASSERT_FALSE(address_.isEmpty());
    }
    void TearDown() override {
        QDBusConnection::disconnectFromBus(QStringLiteral("notifier"));
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
        daemon_.terminate();
        daemon_.waitForFinished(kWaitMs);
    }
    QDBusConnection connect_as(const QString& name) {
        return QDBusConnection::connectToBus(address_, name);
    }

    QProcess daemon_;
    QString address_;
};

TEST_F(PrivateBus, EachEventIsOneNotifyCallToTheService) {
    FakeNotificationService service;
    QDBusConnection service_bus = connect_as(QStringLiteral("service"));
    ASSERT_TRUE(service_bus.isConnected());
    ASSERT_TRUE(service_bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                           &service, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service_bus.registerService(QStringLiteral("org.freedesktop.Notifications")));

    DesktopNotifier notifier(
        nullptr, [] { return true; }, connect_as(QStringLiteral("notifier")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return notifier.settled(); }, kWaitMs));
    for (int event = 1; event <= 4; ++event) {
        EXPECT_EQ(
            notifier.notify(QStringLiteral("Tarvik alarm"), QStringLiteral("event %1").arg(event)),
            DesktopNotifier::Route::kNotificationService);
        ASSERT_TRUE(QTest::qWaitFor([&] { return service.calls == event; }, kWaitMs));
    }
    EXPECT_EQ(service.summary.toStdString(), "Tarvik alarm");
    // Calls arrive in order: a repeat of an earlier one would come before the last.
    EXPECT_EQ(service.body.toStdString(), "event 4");
    EXPECT_EQ(service.calls, 4) << "one call per event";
}

TEST_F(PrivateBus, WithoutTheServiceATrayBalloonOrNothing) {
    QSystemTrayIcon tray;
    const struct {
        const char* what;
        bool tray;
        DesktopNotifier::Route route;
    } cases[] = {
        {"a tray", true, DesktopNotifier::Route::kTrayBalloon},
        {"no tray", false, DesktopNotifier::Route::kNone},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DesktopNotifier notifier(
            &tray, [&] { return c.tray; }, connect_as(QStringLiteral("notifier")));
        ASSERT_TRUE(QTest::qWaitFor([&] { return notifier.settled(); }, kWaitMs));
        EXPECT_EQ(notifier.notify(QStringLiteral("Tarvik alarm"), QStringLiteral("text")), c.route);
    }
    DesktopNotifier unconnected(nullptr, nullptr, QDBusConnection(QStringLiteral("none")));
    EXPECT_EQ(unconnected.notify(QStringLiteral("a"), QStringLiteral("b")),
              DesktopNotifier::Route::kNone);
}

TEST_F(PrivateBus, ACallTheServiceRefusesShowsTheBalloon) {
    // The name is owned, but no object answers the call.
    QDBusConnection service_bus = connect_as(QStringLiteral("service"));
    ASSERT_TRUE(service_bus.registerService(QStringLiteral("org.freedesktop.Notifications")));
    QSystemTrayIcon tray;
    DesktopNotifier notifier(
        &tray, [] { return true; }, connect_as(QStringLiteral("notifier")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return notifier.settled(); }, kWaitMs));
    EXPECT_EQ(notifier.notify(QStringLiteral("Tarvik alarm"), QStringLiteral("text")),
              DesktopNotifier::Route::kNotificationService);
    EXPECT_TRUE(QTest::qWaitFor([&] { return notifier.balloons() == 1; }, kWaitMs));
}

TEST_F(PrivateBus, AnAlarmNeverWaitsOnABusThatDoesNotAnswer) {
    QDBusConnection bus = connect_as(QStringLiteral("notifier"));
    ASSERT_TRUE(bus.isConnected());
    const auto pid = static_cast<pid_t>(daemon_.processId());
    ASSERT_EQ(kill(pid, SIGSTOP), 0);
    const auto began = std::chrono::steady_clock::now();
    {
        DesktopNotifier notifier(
            nullptr, [] { return false; }, bus);
        notifier.notify(QStringLiteral("Tarvik alarm"), QStringLiteral("text"));
    }
    const auto took = std::chrono::steady_clock::now() - began;
    kill(pid, SIGCONT);
    // A call that waited would take the bus's own time-out, 25 s.
    EXPECT_LT(took, std::chrono::seconds(2));
}

}  // namespace

#include "desktop_notifier_test.moc"
