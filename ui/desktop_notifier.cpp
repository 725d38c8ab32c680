#include "ui/desktop_notifier.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QSystemTrayIcon>
#include <QVariantMap>
#include <utility>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
constexpr int kServerChoosesTimeout = -1;

}  // namespace

DesktopNotifier::DesktopNotifier(QSystemTrayIcon* tray, TrayCheck tray_available,
                                 QDBusConnection bus)
    : tray_(tray), tray_available_(std::move(tray_available)), bus_(std::move(bus)) {}

bool DesktopNotifier::service_present() const {
    if (!bus_.isConnected() || bus_.interface() == nullptr) {
        return false;
    }
    const QDBusConnectionInterface* bus = bus_.interface();
    // A service the bus starts on demand counts as present.
    return bus->isServiceRegistered(kService).value() ||
           bus->activatableServiceNames().value().contains(kService);
}

DesktopNotifier::Route DesktopNotifier::notify(const QString& summary, const QString& body) {
    if (service_present()) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
        call << QStringLiteral("Tarvik") << 0u << QStringLiteral("dialog-warning") << summary
             << body << QStringList() << QVariantMap() << kServerChoosesTimeout;
        // Not waited for: the window must not stall on a slow desktop.
        bus_.call(call, QDBus::NoBlock);
        return Route::kNotificationService;
    }
    if (tray_ != nullptr && tray_available_ && tray_available_()) {
        tray_->showMessage(summary, body, QSystemTrayIcon::Warning);
        return Route::kTrayBalloon;
    }
    return Route::kNone;
}
