#include "ui/desktop_notifier.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QSystemTrayIcon>
#include <QVariantMap>
#include <utility>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
constexpr int kServerChoosesTimeout = -1;

// Runs `done` with the reply when it arrives; the watcher dies with `owner`.
template <typename Done>
void when_answered(const QDBusPendingCall& call, QObject* owner, Done done) {
    auto* watcher = new QDBusPendingCallWatcher(call, owner);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, owner,
                     [watcher, done](QDBusPendingCallWatcher*) {
                         done(*watcher);
                         watcher->deleteLater();
                     });
}

}  // namespace

DesktopNotifier::DesktopNotifier(QSystemTrayIcon* tray, TrayCheck tray_available,
                                 QDBusConnection bus)
    : tray_(tray), tray_available_(std::move(tray_available)), bus_(std::move(bus)) {
    ask_bus();
}

void DesktopNotifier::ask_bus() {
    QDBusConnectionInterface* bus = bus_.isConnected() ? bus_.interface() : nullptr;
    if (bus == nullptr) {
        presence_ = Presence::kAbsent;
        return;
    }
    auto* watcher = new QDBusServiceWatcher(kService, bus_,
                                            QDBusServiceWatcher::WatchForOwnerChange, &context_);
    QObject::connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, &context_,
                     [this](const QString&, const QString&, const QString& owner) {
                         owned_ = !owner.isEmpty();
                         if (settled()) {
                             settle();
                         }
                     });
    // A service the bus starts on demand counts as present.
    when_answered(bus->asyncCall(QStringLiteral("NameHasOwner"), kService), &context_,
                  [this](const QDBusPendingCall& call) {
                      const QDBusPendingReply<bool> reply(call);
                      owned_ = owned_ || (!reply.isError() && reply.value());
                      ++replies_;
                      if (replies_ == 2) {
                          settle();
                      }
                  });
    when_answered(bus->asyncCall(QStringLiteral("ListActivatableNames")), &context_,
                  [this](const QDBusPendingCall& call) {
                      const QDBusPendingReply<QStringList> reply(call);
                      activatable_ = !reply.isError() && reply.value().contains(kService);
                      ++replies_;
                      if (replies_ == 2) {
                          settle();
                      }
                  });
}

void DesktopNotifier::settle() {
    presence_ = owned_ || activatable_ ? Presence::kPresent : Presence::kAbsent;
}

DesktopNotifier::Route DesktopNotifier::balloon(const QString& summary, const QString& body) {
    if (tray_ != nullptr && tray_available_ && tray_available_()) {
        tray_->showMessage(summary, body, QSystemTrayIcon::Warning);
        ++balloons_;
        return Route::kTrayBalloon;
    }
    return Route::kNone;
}

DesktopNotifier::Route DesktopNotifier::notify(const QString& summary, const QString& body) {
    if (presence_ == Presence::kAbsent) {
        return balloon(summary, body);
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    call << QStringLiteral("Tarvik") << 0u << QStringLiteral("dialog-warning") << summary << body
         << QStringList() << QVariantMap() << kServerChoosesTimeout;
    when_answered(bus_.asyncCall(call), &context_,
                  [this, summary, body](const QDBusPendingCall& reply) {
                      if (reply.isError()) {
                          balloon(summary, body);
                      }
                  });
    return Route::kNotificationService;
}
