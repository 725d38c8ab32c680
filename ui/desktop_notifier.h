// Tells the desktop about an alarm: through the freedesktop notification
// service on the session bus where one runs (or can be started), else as a
// balloon of the tray icon where a tray is, else not at all; the window's
// lamps and panes then remain the signal, and nothing fails. Nothing here
// waits on the bus: whether the service is there is asked once without
// waiting and then followed as it comes and goes, and a call the bus
// refuses falls back to the balloon when its error arrives.
#pragma once

#include <QDBusConnection>
#include <QObject>
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

    // Sends one notification without waiting for anything, and says which
    // way it went. While the bus has not yet said whether the service is
    // there, the call is sent; a refusal then shows the balloon.
    Route notify(const QString& summary, const QString& body);

    // Whether the bus has said if the service is there.
    bool settled() const { return presence_ != Presence::kUnknown; }
    // Balloons shown, at once or after a refused call.
    int balloons() const { return balloons_; }

private:
    enum class Presence { kUnknown, kPresent, kAbsent };

    void ask_bus();
    void settle();
    Route balloon(const QString& summary, const QString& body);

    QSystemTrayIcon* tray_;
    TrayCheck tray_available_;
    QDBusConnection bus_;
    // Owns the pending calls' watchers, so no reply outlives the notifier.
    QObject context_;
    Presence presence_ = Presence::kUnknown;
    bool owned_ = false;
    bool activatable_ = false;
    int replies_ = 0;
    int balloons_ = 0;
};
