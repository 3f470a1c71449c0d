#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

// The desktop's notification service (org.freedesktop.Notifications on the
// session bus). A notice carries the board's desktop-entry hint, so the
// desktop's own switch for the application silences it, and a default
// action; choosing it is reported with the key the notice was sent with.
// Without a bus or a service the notices go nowhere: that is said once in
// the log, and the board carries on.
class DesktopNotices : public QObject
{
    Q_OBJECT
public:
    static constexpr char DesktopEntry[] = "org.example.rorizedivo";

    explicit DesktopNotices(QObject *parent = nullptr);

    // How pressing a notice is: a critical one stays until the person
    // dismisses it.
    enum class Urgency { Normal, Critical };

    // Sends without waiting for the answer. `answered` learns it later: the
    // notice's id once the service has shown it, 0 when there is no service
    // or it refused.
    void send(const QString &summary, const QString &body, const QString &key, Urgency urgency = Urgency::Normal,
              std::function<void(uint id)> answered = {});
    // Takes a notice this board sent back from the desktop (what it told no
    // longer holds). Nothing for a notice already closed, or one of an
    // earlier run: its id may by now be another program's.
    void close(uint id);

Q_SIGNALS:
    // The person chose the notice sent with this key.
    void activated(const QString &key);

private Q_SLOTS:
    void onActionInvoked(uint id, const QString &action);
    void onClosed(uint id, uint reason);

private:
    void tellUnavailable(const QString &why);

    QHash<uint, QString> m_keys; // notice id -> key, while shown
    bool m_toldUnavailable = false;
};
