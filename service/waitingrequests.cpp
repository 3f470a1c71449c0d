#include "waitingrequests.h"

#include <QTimer>

#include <utility>

WaitingRequests::WaitingRequests(Expired expired, CurrentHealth health)
    : m_expired(std::move(expired))
    , m_health(std::move(health))
{
}

void WaitingRequests::wait(int city, Units units, Callback callback)
{
    const quint64 id = ++m_ids;
    m_waiters[city].append({id, units, std::move(callback)});
    QTimer::singleShot(m_answerWithinMs, &m_context, [this, city, id] { expire(city, id); });
}

WaitingRequests::Callback WaitingRequests::takeLast(int city)
{
    QList<Waiter> &waiters = m_waiters[city];
    Callback callback = waiters.takeLast().callback;
    if (waiters.isEmpty())
        m_waiters.remove(city);
    return callback;
}

void WaitingRequests::expire(int city, quint64 id)
{
    auto waiters = m_waiters.find(city);
    if (waiters == m_waiters.end())
        return;
    for (qsizetype i = 0; i < waiters->size(); ++i) {
        if (waiters->at(i).id != id)
            continue;
        const Waiter waiter = waiters->takeAt(i);
        if (waiters->isEmpty())
            m_waiters.erase(waiters);
        ServedDocument answer = m_expired(city, waiter.units);
        if (answer.status == ServedDocument::Status::Unavailable && answer.retryAfterSeconds == 0)
            answer.retryAfterSeconds = 10;
        answer.note += QStringLiteral(" (the upstream is slow)");
        waiter.callback(answer);
        return;
    }
}

void WaitingRequests::waitForHealth(int milliseconds, HealthCallback callback)
{
    const quint64 id = ++m_ids;
    m_healthChecks.append({id, std::move(callback)});
    QTimer::singleShot(milliseconds, &m_context, [this, id] {
        for (qsizetype i = 0; i < m_healthChecks.size(); ++i) {
            if (m_healthChecks.at(i).first == id) {
                const HealthCallback callback = m_healthChecks.takeAt(i).second;
                callback(m_health());
                return;
            }
        }
    });
}

QList<WaitingRequests::HealthCallback> WaitingRequests::takeHealthChecks()
{
    QList<HealthCallback> callbacks;
    for (auto &check : std::exchange(m_healthChecks, {}))
        callbacks.append(std::move(check.second));
    return callbacks;
}
