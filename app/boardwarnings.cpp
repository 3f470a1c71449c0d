// The warnings of the board's cities: kept, said, and told through the desktop.
#include "app/boardwarnings.h"

#include "app/refreshlog.h"
#include "app/warningnotices.h"

#include "feed/feedreading.h"
#include "platform/boardlanguage.h"
#include "platform/desktopnotices.h"
#include "platform/numbertext.h"
#include "store/weatherstore.h"
#include "view/celltext.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSettings>

#include <algorithm>
#include <optional>

namespace {

// The warnings in force, runs merged.
QList<FeedWarning> inForce(const QList<FeedWarning> &warnings, const QDateTime &now)
{
    QList<FeedWarning> runs = mergedRuns(warnings);
    runs.removeIf([&now](const FeedWarning &w) { return !warningInForce(w, now); });
    return runs;
}

struct Told
{
    QString code;
    QString name;
    QList<FeedWarning> warnings;
};

FieldValue keptText(const QString &text)
{
    return text.isEmpty() ? FieldValue::null() : FieldValue::text(text);
}

// An alert as a row of wt_alert, and back.
SideRows::Row alertRow(const FeedAlert &a)
{
    return {{QStringLiteral("alert_id"), keptText(a.id)},
            {QStringLiteral("colour"), keptText(a.colour)},
            {QStringLiteral("severity"), keptText(a.severity)},
            {QStringLiteral("urgency"), keptText(a.urgency)},
            {QStringLiteral("onset"), keptText(warningTimeText(a.onset))},
            {QStringLiteral("expires"), keptText(warningTimeText(a.expires))},
            {QStringLiteral("kind"), keptText(a.kind)},
            {QStringLiteral("refs"), keptText(a.references.join(u' '))},
            {QStringLiteral("sender_a"), keptText(a.arabic.sender)},
            {QStringLiteral("event_a"), keptText(a.arabic.event)},
            {QStringLiteral("headline_a"), keptText(a.arabic.headline)},
            {QStringLiteral("description_a"), keptText(a.arabic.description)},
            {QStringLiteral("sender_e"), keptText(a.english.sender)},
            {QStringLiteral("event_e"), keptText(a.english.event)},
            {QStringLiteral("headline_e"), keptText(a.english.headline)},
            {QStringLiteral("description_e"), keptText(a.english.description)}};
}

std::optional<FeedAlert> keptAlert(const QVector<FieldValue> &kept)
{
    const auto text = [&kept](int column) {
        return kept.value(column).hasValue() ? kept.value(column).toText() : QString();
    };
    FeedAlert a;
    a.id = text(0);
    a.colour = text(1);
    a.severity = text(2);
    a.urgency = text(3);
    a.onset = warningTimeFromText(text(4));
    a.expires = warningTimeFromText(text(5));
    a.kind = text(6);
    a.references = text(7).split(u' ', Qt::SkipEmptyParts);
    a.arabic = {text(8), text(9), text(10), text(11)};
    a.english = {text(12), text(13), text(14), text(15)};
    if (a.id.isEmpty() || alertColourRank(a.colour) == 0 || !a.onset.isValid() || !a.expires.isValid())
        return std::nullopt;
    return a;
}

// The alerts in force, the strongest first, else in their order.
QList<FeedAlert> alertsInForce(QList<FeedAlert> alerts, const QDateTime &now)
{
    alerts.removeIf([&now](const FeedAlert &a) { return !alertInForce(a, now); });
    std::stable_sort(alerts.begin(), alerts.end(), [](const FeedAlert &a, const FeedAlert &b) {
        return alertColourRank(a.colour) > alertColourRank(b.colour);
    });
    return alerts;
}

QString strongest(const QList<FeedAlert> &alerts, const QDateTime &now)
{
    const QList<FeedAlert> inForce = alertsInForce(alerts, now);
    return inForce.isEmpty() ? QString() : inForce.first().colour;
}

} // namespace

struct BoardWarnings::Carried
{
    FeedAlert alert;
    QStringList codes;
    QStringList names;
};

BoardWarnings::BoardWarnings(DesktopNotices *notices, std::function<QDateTime()> now, QObject *parent)
    : QObject(parent)
    , m_notices(notices)
    , m_now(std::move(now))
{
    if (m_notices)
        connect(m_notices, &DesktopNotices::activated, this, &BoardWarnings::cityChosen);
}

BoardWarnings::~BoardWarnings() = default;

void BoardWarnings::keepIn(const QString &toldFile, const QString &settingsFile)
{
    m_told = std::make_unique<WarningNotices>(toldFile);
    m_settingsFile = settingsFile;
    if (!m_settingsFile.isEmpty())
        m_ownCities = QSettings(m_settingsFile, QSettings::IniFormat).value(QLatin1String(OwnCitiesKey)).toStringList();
}

void BoardWarnings::load(DataControl &data)
{
    m_cities.clear();
    m_warnings.clear();
    m_alerts.clear();
    if (!data.refresh())
        return;
    Recordset &rows = data.recordset();
    for (rows.moveFirst(); !rows.isEof(); rows.moveNext()) {
        const QString code = rows.value(QStringLiteral("city_code")).toText();
        m_cities.append({code, shownCityName(rows)});
        QList<FeedWarning> warnings;
        // Columns: kind, starts, ends, peak.
        for (const QVector<FieldValue> &kept : WeatherStore::cityWarnings().rowsOf(data, code)) {
            const FeedWarning w{kept.value(0).toText(), warningTimeFromText(kept.value(1).toText()),
                                warningTimeFromText(kept.value(2).toText()), kept.value(3).toNumber().value_or(0)};
            if (w.start.isValid() && w.end.isValid())
                warnings.append(w);
        }
        if (!warnings.isEmpty())
            m_warnings.insert(code, warnings);
        QList<FeedAlert> alerts;
        for (const QVector<FieldValue> &kept : WeatherStore::officialAlerts().rowsOf(data, code)) {
            if (const std::optional<FeedAlert> alert = keptAlert(kept))
                alerts.append(*alert);
        }
        if (!alerts.isEmpty())
            m_alerts.insert(code, alerts);
    }
}

BoardWarnings::City &BoardWarnings::cityOf(const QString &code)
{
    const auto found = std::find_if(m_cities.begin(), m_cities.end(),
                                    [&code](const City &c) { return c.code == code; });
    if (found != m_cities.end())
        return *found;
    m_cities.append({code, QString()});
    return m_cities.last();
}

QList<SideRowsWrite> BoardWarnings::sideRows(const QString &cityCode, const QString &cityName,
                                             const ChannelReadings *filledFrom)
{
    cityOf(cityCode).name = cityName;
    const QList<FeedWarning> warnings = filledFrom ? filledFrom->warnings : QList<FeedWarning>();
    const QList<FeedAlert> alerts = filledFrom ? filledFrom->alerts : QList<FeedAlert>();
    // Only a city filled from its document tells whether an alert was called off.
    if (filledFrom)
        m_refreshed.insert(cityCode);
    else
        m_refreshed.remove(cityCode);
    if (warnings.isEmpty())
        m_warnings.remove(cityCode);
    else
        m_warnings.insert(cityCode, warnings);
    if (alerts.isEmpty())
        m_alerts.remove(cityCode);
    else
        m_alerts.insert(cityCode, alerts);
    QList<SideRows::Row> rows;
    for (const FeedWarning &w : warnings) {
        rows.append({{QStringLiteral("kind"), FieldValue::text(w.kind)},
                     {QStringLiteral("starts"), FieldValue::text(warningTimeText(w.start))},
                     {QStringLiteral("ends"), FieldValue::text(warningTimeText(w.end))},
                     {QStringLiteral("peak"), FieldValue::number(w.peak)}});
    }
    QList<SideRows::Row> alertRows;
    for (const FeedAlert &a : alerts)
        alertRows.append(alertRow(a));
    return {WeatherStore::cityWarnings().replaceWith(cityCode, rows),
            WeatherStore::officialAlerts().replaceWith(cityCode, alertRows)};
}

QList<FeedWarning> BoardWarnings::standingOf(const QString &cityCode) const
{
    const QList<FeedAlert> alerts = alertsInForce(m_alerts.value(cityCode), m_now());
    QList<FeedWarning> standing = m_warnings.value(cityCode);
    standing.removeIf([&alerts](const FeedWarning &w) {
        return std::any_of(alerts.cbegin(), alerts.cend(), [&w](const FeedAlert &a) { return alertCovers(a, w); });
    });
    return standing;
}

QString BoardWarnings::colourOf(const QString &cityCode) const
{
    return strongest(m_alerts.value(cityCode), m_now());
}

QString BoardWarnings::strongestColour() const
{
    QList<FeedAlert> all;
    for (const QList<FeedAlert> &alerts : m_alerts)
        all << alerts;
    return strongest(all, m_now());
}

QString BoardWarnings::alertLineOf(const QString &cityCode) const
{
    const QDateTime now = m_now();
    QStringList lines;
    for (const FeedAlert &a : alertsInForce(m_alerts.value(cityCode), now))
        lines << alertLine(a, now);
    return lines.join(QCoreApplication::translate("SpokenText", "، "));
}

QString BoardWarnings::warningLineOf(const QString &cityCode) const
{
    const QDateTime now = m_now();
    QStringList lines;
    for (const FeedWarning &w : inForce(standingOf(cityCode), now))
        lines << warningLine(w, now);
    return lines.join(QCoreApplication::translate("SpokenText", "، "));
}

QString BoardWarnings::lineOf(const QString &cityCode) const
{
    QStringList parts{alertLineOf(cityCode), warningLineOf(cityCode)};
    parts.removeAll(QString());
    return parts.join(QCoreApplication::translate("SpokenText", "، "));
}

QString BoardWarnings::firstWarnedCity() const
{
    QString first;
    bool firstOwn = false;
    int firstRank = -1;
    for (const City &city : m_cities) {
        if (lineOf(city.code).isEmpty())
            continue;
        const bool own = isOwnCity(city.code);
        const int rank = alertColourRank(colourOf(city.code));
        if (first.isEmpty() || (own && !firstOwn) || (own == firstOwn && rank > firstRank)) {
            first = city.code;
            firstOwn = own;
            firstRank = rank;
        }
    }
    return first;
}

QString BoardWarnings::firstWarnedLine() const
{
    const QString code = firstWarnedCity();
    for (const City &city : m_cities) {
        if (!code.isEmpty() && city.code == code)
            return tr("%1، %2").arg(city.name, lineOf(code));
    }
    return QString();
}

void BoardWarnings::setOwnCity(const QString &cityCode, bool own)
{
    if (cityCode.isEmpty() || isOwnCity(cityCode) == own)
        return;
    if (own)
        m_ownCities.append(cityCode);
    else
        m_ownCities.removeAll(cityCode);
    if (!m_settingsFile.isEmpty()) {
        QSettings settings(m_settingsFile, QSettings::IniFormat);
        if (m_ownCities.isEmpty())
            settings.remove(QLatin1String(OwnCitiesKey));
        else
            settings.setValue(QLatin1String(OwnCitiesKey), m_ownCities);
        settings.sync();
        if (settings.status() != QSettings::NoError)
            qCWarning(lcRefresh, "%s cannot be written: the choice of cities holds until the board ends",
                      qPrintable(m_settingsFile));
    }
    Q_EMIT ownCitiesChanged();
}

QList<BoardWarnings::Carried> BoardWarnings::carriedAlerts(const QDateTime &now) const
{
    QList<Carried> carried;
    for (const City &city : m_cities) {
        for (const FeedAlert &a : alertsInForce(m_alerts.value(city.code), now)) {
            const auto found = std::find_if(carried.begin(), carried.end(),
                                            [&a](const Carried &c) { return c.alert.id == a.id; });
            if (found == carried.end())
                carried.append({a, {city.code}, {city.name}});
            else if (!found->codes.contains(city.code)) {
                found->codes << city.code;
                found->names << city.name;
            }
        }
    }
    std::stable_sort(carried.begin(), carried.end(), [](const Carried &a, const Carried &b) {
        return alertColourRank(a.alert.colour) > alertColourRank(b.alert.colour);
    });
    return carried;
}

void BoardWarnings::takeBackCancelled(const QDateTime &now, const QSet<QString> &refreshed)
{
    // An alert still carried, or replaced by one carried, stands.
    QSet<QString> standing;
    for (const QList<FeedAlert> &alerts : std::as_const(m_alerts)) {
        for (const FeedAlert &a : alerts) {
            standing.insert(a.id);
            for (const QString &ref : a.references)
                standing.insert(ref);
        }
    }
    for (const WarningNotices::ToldAlert &told : m_told->toldAlerts(now)) {
        if (standing.contains(told.id)
            || !std::all_of(told.cities.cbegin(), told.cities.cend(),
                            [&refreshed](const QString &city) { return refreshed.contains(city); }))
            continue;
        qCInfo(lcRefresh, "the alert %s was called off", qPrintable(told.id));
        m_told->forgetAlert(told.id);
        const uint notice = m_noticeOf.take(told.id);
        const bool noticeHoldsMore = std::find(m_noticeOf.cbegin(), m_noticeOf.cend(), notice) != m_noticeOf.cend();
        if (notice != 0 && !noticeHoldsMore && m_notices)
            m_notices->close(notice);
    }
}

void BoardWarnings::tellNew()
{
    if (!m_told)
        return;
    const QDateTime now = m_now();
    takeBackCancelled(now, std::exchange(m_refreshed, {}));
    if (!m_notices || m_awaitingAnswer)
        return;

    const auto heard = [this](const QStringList &codes) {
        return m_ownCities.isEmpty()
            || std::any_of(codes.cbegin(), codes.cend(), [this](const QString &code) { return isOwnCity(code); });
    };
    QList<Carried> alerts;
    for (const Carried &c : carriedAlerts(now)) {
        if (!heard(c.codes))
            continue;
        switch (m_told->alertNews(c.alert)) {
        case WarningNotices::AlertNews::Told:
            break;
        case WarningNotices::AlertNews::Quiet:
            // It says what was told: it stands for what it replaces.
            for (const QString &ref : c.alert.references) {
                if (m_noticeOf.contains(ref))
                    m_noticeOf.insert(c.alert.id, m_noticeOf.take(ref));
            }
            m_told->markAlertTold(c.alert, c.codes);
            break;
        case WarningNotices::AlertNews::News:
            alerts.append(c);
            break;
        }
    }
    QList<Told> told;
    qsizetype count = alerts.size();
    for (const City &city : std::as_const(m_cities)) {
        if (!m_ownCities.isEmpty() && !isOwnCity(city.code))
            continue;
        const QList<FeedWarning> untold = m_told->untold(city.code, inForce(standingOf(city.code), now), now);
        if (!untold.isEmpty())
            told.append({city.code, city.name, untold});
        count += untold.size();
    }
    if (told.isEmpty() && alerts.isEmpty())
        return;

    // "تنبيه: عاصفة ترابية في الرياض و3 تنبيهات أخرى", and a line for each,
    // the centre's alerts first.
    QString summary = alerts.isEmpty()
        ? tr("%1 في %2").arg(warningTitle(told.first().warnings.first().kind), told.first().name)
        : tr("تنبيه من %1: %2 في %3")
              .arg(alertSourceName(), alertName(alerts.first().alert), alerts.first().names.first());
    if (count > 1) {
        const QString arabic = QStringLiteral(u" و")
            + countedText(count - 1, u"تنبيه آخر", u"تنبيهان آخران", u"تنبيهات أخرى", u"تنبيهاً آخر");
        summary += countedInLanguage(arabic, "BoardWarnings", QT_TRANSLATE_N_NOOP("BoardWarnings", " و%n تنبيه آخر"),
                                     count - 1);
    }
    QStringList lines;
    bool critical = false;
    for (const Carried &c : std::as_const(alerts)) {
        const QString headline = shownAlertText(c.alert).headline;
        lines << c.names.join(QCoreApplication::translate("SpokenText", "، ")) + QStringLiteral(u": ")
                + (headline.isEmpty() ? alertName(c.alert) : headline) + QLatin1Char(' ')
                + warningTimeWords(alertSpan(c.alert), now);
        critical = critical || c.alert.colour == QLatin1String("red");
        qCInfo(lcRefresh, "telling the alert %s (%s) for %s", qPrintable(c.alert.id), qPrintable(c.alert.colour),
               qPrintable(c.codes.join(u',')));
    }
    for (const Told &city : std::as_const(told)) {
        for (const FeedWarning &w : city.warnings) {
            const QString peak = warningPeakText(w);
            const QString line = tr("%1: %2 %3").arg(city.name, warningKindText(w.kind), warningTimeWords(w, now));
            lines << (peak.isEmpty() ? line : tr("%1، %2").arg(line, peak));
            qCInfo(lcRefresh, "telling %s: %s %s", qPrintable(city.code), qPrintable(w.kind),
                   qPrintable(warningTimeText(w.start)));
        }
    }
    m_awaitingAnswer = true;
    const QString key = alerts.isEmpty() ? told.first().code : alerts.first().codes.first();
    m_notices->send(summary, lines.join(QLatin1Char('\n')), key,
                    critical ? DesktopNotices::Urgency::Critical : DesktopNotices::Urgency::Normal,
                    [self = QPointer<BoardWarnings>(this), told, alerts](uint notice) {
                        if (!self)
                            return;
                        self->m_awaitingAnswer = false;
                        if (notice == 0) {
                            qCInfo(lcRefresh, "the warnings were not shown: they are told at the next refresh");
                            return;
                        }
                        for (const Carried &c : alerts) {
                            for (const QString &ref : c.alert.references)
                                self->m_noticeOf.remove(ref);
                            self->m_noticeOf.insert(c.alert.id, notice);
                            self->m_told->markAlertTold(c.alert, c.codes);
                        }
                        for (const Told &city : told)
                            self->m_told->markTold(city.code, city.warnings);
                    });
}
