#pragma once

#include "openmeteoclient.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QJsonObject>

#include <array>

// What the service has asked of the upstream, as the upstream counts it:
// requests and weighted calls (locations x variables / 10, at least one per
// location), today (the upstream's day, UTC) and since the service started
// or its cache was begun; failures by kind; waves; when each upstream last
// answered a wave. Today's figures and the last good answers outlive a
// restart through the ledger file, so that a daily budget holds for the day.
class UpstreamLedger
{
public:
    enum class Api { Forecast, AirQuality };

    void waveStarted() { ++m_waves; }
    void requestSent(Api api, double weight, const QDateTime &now);
    // A request counted when it was sent never left for the upstream (no
    // connection, no name, TLS refused): its weight is taken off again, from today's
    // figures when it was sent today. It stays counted as a request.
    void unanswered(Api api, double weight, const QDateTime &sentAt);
    void failed(UpstreamFailure failure);
    // The upstream answered a wave.
    void succeeded(Api api, const QDateTime &now) { m_lastSuccess[int(api)] = now; }

    // Today's weighted calls of both APIs, as of `now`.
    double weightedToday(const QDateTime &now) const;

    // The figures in Prometheus' text format, each line named forecastd_*.
    QByteArray metrics(const QDateTime &now, double dailyBudget) const;

    // Today's figures and the last good answers, for the ledger file;
    // fromJson takes up the figures only when they are of the same day as
    // `now`.
    QJsonObject toJson() const;
    void fromJson(const QJsonObject &saved, const QDateTime &now);

private:
    struct Count
    {
        quint64 requests = 0;
        double weighted = 0;
    };
    static constexpr int ApiCount = 2;
    static constexpr int FailureKinds = int(UpstreamFailure::RateLimited) + 1;

    void rollOver(const QDateTime &now);

    quint64 m_waves = 0;
    std::array<Count, ApiCount> m_total{};
    std::array<Count, ApiCount> m_today{};
    QDate m_day;
    std::array<quint64, FailureKinds> m_failures{};
    std::array<QDateTime, ApiCount> m_lastSuccess{};
};
