#include "upstreamledger.h"

#include <QJsonArray>

#include <algorithm>

namespace {

const char *apiName(int api)
{
    return api == int(UpstreamLedger::Api::Forecast) ? "forecast" : "air_quality";
}

const char *failureName(int failure)
{
    switch (UpstreamFailure(failure)) {
    case UpstreamFailure::None:
        return nullptr;
    case UpstreamFailure::Timeout:
        return "timeout";
    case UpstreamFailure::Connection:
        return "connection";
    case UpstreamFailure::HttpStatus:
        return "http_status";
    case UpstreamFailure::Invalid:
        return "invalid";
    case UpstreamFailure::TooLarge:
        return "too_large";
    case UpstreamFailure::UpstreamError:
        return "upstream_error";
    case UpstreamFailure::RateLimited:
        return "rate_limited";
    }
    return nullptr;
}

// A number as Prometheus reads it: whole counts without a fraction, weights
// with as many digits as they need.
QByteArray number(double value)
{
    return QByteArray::number(value, 'g', 15);
}

struct MetricsText
{
    QByteArray out;

    void family(const char *name, const char *type, const char *help)
    {
        out += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
    }
    void sample(const char *name, const QByteArray &labels, double value)
    {
        out += name;
        if (!labels.isEmpty())
            out += '{' + labels + '}';
        out += ' ' + number(value) + '\n';
    }
};

} // namespace

void UpstreamLedger::rollOver(const QDateTime &now)
{
    const QDate day = now.toUTC().date();
    if (day != m_day) {
        m_day = day;
        m_today = {};
    }
}

void UpstreamLedger::requestSent(Api api, double weight, const QDateTime &now)
{
    rollOver(now);
    for (auto *count : {&m_total[int(api)], &m_today[int(api)]}) {
        ++count->requests;
        count->weighted += weight;
    }
}

void UpstreamLedger::unanswered(Api api, double weight, const QDateTime &sentAt)
{
    m_total[int(api)].weighted = std::max(0.0, m_total[int(api)].weighted - weight);
    if (sentAt.toUTC().date() == m_day)
        m_today[int(api)].weighted = std::max(0.0, m_today[int(api)].weighted - weight);
}

void UpstreamLedger::failed(UpstreamFailure failure)
{
    if (failure != UpstreamFailure::None)
        ++m_failures[int(failure)];
}

double UpstreamLedger::weightedToday(const QDateTime &now) const
{
    if (now.toUTC().date() != m_day)
        return 0;
    return m_today[0].weighted + m_today[1].weighted;
}

QByteArray UpstreamLedger::metrics(const QDateTime &now, double dailyBudget) const
{
    const bool sameDay = now.toUTC().date() == m_day;
    MetricsText text;
    text.family("forecastd_waves_total", "counter", "Waves of upstream requests started, one for all cities.");
    text.sample("forecastd_waves_total", {}, double(m_waves));
    text.family("forecastd_upstream_requests_total", "counter", "Requests sent to the upstream.");
    for (int api = 0; api < ApiCount; ++api)
        text.sample("forecastd_upstream_requests_total", QByteArray("api=\"") + apiName(api) + '"',
                    double(m_total[api].requests));
    text.family("forecastd_upstream_requests_today", "gauge", "Requests sent to the upstream since 00:00 UTC.");
    for (int api = 0; api < ApiCount; ++api)
        text.sample("forecastd_upstream_requests_today", QByteArray("api=\"") + apiName(api) + '"',
                    sameDay ? double(m_today[api].requests) : 0);
    text.family("forecastd_upstream_weighted_calls_total", "counter",
                "Calls as the upstream counts them: locations x max(1, variables / 10).");
    for (int api = 0; api < ApiCount; ++api)
        text.sample("forecastd_upstream_weighted_calls_total", QByteArray("api=\"") + apiName(api) + '"',
                    m_total[api].weighted);
    text.family("forecastd_upstream_weighted_calls_today", "gauge", "Weighted calls since 00:00 UTC.");
    for (int api = 0; api < ApiCount; ++api)
        text.sample("forecastd_upstream_weighted_calls_today", QByteArray("api=\"") + apiName(api) + '"',
                    sameDay ? m_today[api].weighted : 0);
    text.family("forecastd_daily_budget_weighted_calls", "gauge", "Weighted calls allowed a UTC day.");
    text.sample("forecastd_daily_budget_weighted_calls", {}, dailyBudget);
    text.family("forecastd_upstream_failures_total", "counter", "Upstream requests that failed, by kind.");
    for (int failure = 1; failure < FailureKinds; ++failure)
        text.sample("forecastd_upstream_failures_total", QByteArray("kind=\"") + failureName(failure) + '"',
                    double(m_failures[failure]));
    text.family("forecastd_upstream_rate_limited_total", "counter",
                "Answers of 429 or of an exceeded limit of the upstream.");
    text.sample("forecastd_upstream_rate_limited_total", {}, double(m_failures[int(UpstreamFailure::RateLimited)]));
    text.family("forecastd_upstream_last_success_timestamp_seconds", "gauge",
                "When the upstream last answered a wave, in seconds since 1970 (0: not yet).");
    for (int api = 0; api < ApiCount; ++api)
        text.sample("forecastd_upstream_last_success_timestamp_seconds", QByteArray("api=\"") + apiName(api) + '"',
                    m_lastSuccess[api].isValid() ? double(m_lastSuccess[api].toSecsSinceEpoch()) : 0);
    return text.out;
}

QJsonObject UpstreamLedger::toJson() const
{
    QJsonArray today;
    for (const Count &count : m_today)
        today.append(QJsonObject{{QStringLiteral("requests"), double(count.requests)},
                                 {QStringLiteral("weighted"), count.weighted}});
    QJsonObject lastSuccess;
    for (int api = 0; api < ApiCount; ++api) {
        if (m_lastSuccess[api].isValid())
            lastSuccess.insert(QLatin1String(apiName(api)), m_lastSuccess[api].toUTC().toString(Qt::ISODate));
    }
    return {{QStringLiteral("day"), m_day.toString(Qt::ISODate)},
            {QStringLiteral("today"), today},
            {QStringLiteral("last_success"), lastSuccess}};
}

void UpstreamLedger::fromJson(const QJsonObject &saved, const QDateTime &now)
{
    const QJsonObject lastSuccess = saved.value(QLatin1String("last_success")).toObject();
    for (int api = 0; api < ApiCount; ++api) {
        const QDateTime time = QDateTime::fromString(lastSuccess.value(QLatin1String(apiName(api))).toString(),
                                                     Qt::ISODate);
        if (time.isValid() && time <= now)
            m_lastSuccess[api] = time.toUTC();
    }
    const QDate day = QDate::fromString(saved.value(QLatin1String("day")).toString(), Qt::ISODate);
    if (day != now.toUTC().date())
        return;
    const QJsonArray today = saved.value(QLatin1String("today")).toArray();
    m_day = day;
    for (int api = 0; api < ApiCount && api < today.size(); ++api) {
        const QJsonObject count = today.at(api).toObject();
        m_today[api].requests = quint64(std::max(0.0, count.value(QLatin1String("requests")).toDouble()));
        m_today[api].weighted = std::max(0.0, count.value(QLatin1String("weighted")).toDouble());
    }
}
