// Tells the desktop about an alarm: through the freedesktop notification
// service on the session bus where one runs (or can be started), else as a
// balloon of the tray icon where a tray is, else not at all; the window's
// lamps and panes then remain the signal, and nothing fails.
#pragma once

#include <QDBusConnection>
#include <QString>
#include <functional>

class QSystemTrayIcon;

class DesktopNotifier {
public:
    enum class Route { kNotificationService, kTrayBalloon, kNone };
    using TrayCheck = std::function<bool()>;

    // `tray` may be null; `tray_available` says whether a tray shows it.
    DesktopNotifier(QSystemTrayIcon* tray, TrayCheck tray_available,
                    QDBusConnection bus = QDBusConnection::sessionBus());

    // Sends one notification without waiting for the service's reply, and
    // says which way it went.
    Route notify(const QString& summary, const QString& body);

private:
    bool service_present() const;

    QSystemTrayIcon* tray_;
    TrayCheck tray_available_;
    QDBusConnection bus_;
};
