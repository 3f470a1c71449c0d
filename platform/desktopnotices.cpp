#include "platform/desktopnotices.h"

#include "platform/logging.h"

#include <QCoreApplication>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QVariantMap>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");

} // namespace

DesktopNotices::DesktopNotices(QObject *parent)
    : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return; // said at the first notice, not before any is needed
    bus.connect(Service, Path, Interface, QStringLiteral("ActionInvoked"), this, SLOT(onActionInvoked(uint, QString)));
    bus.connect(Service, Path, Interface, QStringLiteral("NotificationClosed"), this, SLOT(onClosed(uint, uint)));
}

void DesktopNotices::send(const QString &summary, const QString &body, const QString &key, Urgency urgency,
                          std::function<void(uint id)> answered)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        tellUnavailable(QStringLiteral("no session bus"));
        if (answered)
            answered(0);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(DesktopEntry));
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(urgency == Urgency::Critical ? 2 : 1)));
    call << QStringLiteral("RORizedivo") << uint(0) << QString::fromLatin1(DesktopEntry) << summary << body
         << QStringList{QStringLiteral("default"), QCoreApplication::translate("DesktopNotices", "عرض")} << hints
         << int(-1);
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, key, answered](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        // An id of 0 is none the service hands out: taken as a refusal.
        if (reply.isError() || reply.value() == 0) {
            tellUnavailable(reply.isError() ? reply.error().message() : QStringLiteral("no notice id"));
            if (answered)
                answered(0);
            return;
        }
        m_toldUnavailable = false;
        m_keys.insert(reply.value(), key);
        if (answered)
            answered(reply.value());
    });
}

void DesktopNotices::close(uint id)
{
    if (!m_keys.remove(id))
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("CloseNotification"));
    call << id;
    bus.asyncCall(call);
}

void DesktopNotices::onActionInvoked(uint id, const QString &action)
{
    const auto found = m_keys.constFind(id);
    if (found != m_keys.cend() && action == QLatin1String("default"))
        Q_EMIT activated(*found);
}

void DesktopNotices::onClosed(uint id, uint)
{
    m_keys.remove(id);
}

void DesktopNotices::tellUnavailable(const QString &why)
{
    if (!std::exchange(m_toldUnavailable, true))
        qCWarning(lcPlatform, "no desktop notifications: %s; warnings show in the window only", qPrintable(why));
}
