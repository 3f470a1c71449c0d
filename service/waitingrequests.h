#pragma once

#include "forecastsource.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>

#include <functional>

// The requests that wait for a wave, city by city, and the health checks
// that wait to tell. Each is answered once: by whoever takes it out of the
// queue when the wave ends, or here when its time is up.
class WaitingRequests
{
public:
    using Callback = ForecastSource::Callback;
    using HealthCallback = ForecastSource::HealthCallback;
    // What a request whose time is up gets: the city's document as it
    // stands (by its index), and the health as it stands.
    using Expired = std::function<ServedDocument(int city, Units units)>;
    using CurrentHealth = std::function<ServiceHealth()>;

    struct Waiter
    {
        quint64 id = 0;
        Units units = Units::Metric;
        Callback callback;
    };

    WaitingRequests(Expired expired, CurrentHealth health);

    // How long a request waits at most.
    void setAnswerWithin(int milliseconds) { m_answerWithinMs = milliseconds; }

    void wait(int city, Units units, Callback callback);
    bool isWaiting(int city) const { return !m_waiters.value(city).isEmpty(); }
    // Every request waiting for the city, in the order they came; they are
    // no longer waiting.
    QList<Waiter> take(int city) { return m_waiters.take(city); }
    // The request that came last for the city.
    Callback takeLast(int city);

    // A health check that waits at most `milliseconds`.
    void waitForHealth(int milliseconds, HealthCallback callback);
    QList<HealthCallback> takeHealthChecks();

private:
    void expire(int city, quint64 id);

    Expired m_expired;
    CurrentHealth m_health;
    // The timers' context: they end with the queue.
    QObject m_context;
    QHash<int, QList<Waiter>> m_waiters;
    QList<QPair<quint64, HealthCallback>> m_healthChecks;
    quint64 m_ids = 0;
    int m_answerWithinMs = 9000;
};
