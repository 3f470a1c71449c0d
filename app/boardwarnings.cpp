// The warnings of the board's cities: kept, said, and told through the desktop.
#include "app/boardwarnings.h"

#include "app/refreshlog.h"
#include "app/warningnotices.h"

#include "platform/boardlanguage.h"
#include "platform/desktopnotices.h"
#include "platform/numbertext.h"
#include "store/weatherstore.h"
#include "view/celltext.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSettings>

#include <algorithm>

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

} // namespace

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

SideRowsWrite BoardWarnings::sideRows(const QString &cityCode, const QString &cityName,
                                      const QList<FeedWarning> &warnings)
{
    cityOf(cityCode).name = cityName;
    if (warnings.isEmpty())
        m_warnings.remove(cityCode);
    else
        m_warnings.insert(cityCode, warnings);
    QList<SideRows::Row> rows;
    for (const FeedWarning &w : warnings) {
        rows.append({{QStringLiteral("kind"), FieldValue::text(w.kind)},
                     {QStringLiteral("starts"), FieldValue::text(warningTimeText(w.start))},
                     {QStringLiteral("ends"), FieldValue::text(warningTimeText(w.end))},
                     {QStringLiteral("peak"), FieldValue::number(w.peak)}});
    }
    return WeatherStore::cityWarnings().replaceWith(cityCode, rows);
}

QString BoardWarnings::lineOf(const QString &cityCode) const
{
    const QDateTime now = m_now();
    QStringList lines;
    for (const FeedWarning &w : inForce(m_warnings.value(cityCode), now))
        lines << warningLine(w, now);
    return lines.join(QCoreApplication::translate("SpokenText", "، "));
}

QString BoardWarnings::firstWarnedCity() const
{
    QString first;
    for (const City &city : m_cities) {
        if (lineOf(city.code).isEmpty())
            continue;
        if (isOwnCity(city.code))
            return city.code;
        if (first.isEmpty())
            first = city.code;
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

void BoardWarnings::tellNew()
{
    if (!m_told || !m_notices || m_awaitingAnswer)
        return;
    const QDateTime now = m_now();
    QList<Told> told;
    qsizetype count = 0;
    for (const City &city : std::as_const(m_cities)) {
        if (!m_ownCities.isEmpty() && !isOwnCity(city.code))
            continue;
        const QList<FeedWarning> untold = m_told->untold(city.code, inForce(m_warnings.value(city.code), now), now);
        if (!untold.isEmpty())
            told.append({city.code, city.name, untold});
        count += untold.size();
    }
    if (told.isEmpty())
        return;

    // "تنبيه: عاصفة ترابية في الرياض و3 تنبيهات أخرى", and a line for each.
    QString summary = tr("%1 في %2").arg(warningTitle(told.first().warnings.first().kind), told.first().name);
    if (count > 1) {
        const QString arabic = QStringLiteral(u" و")
            + countedText(count - 1, u"تنبيه آخر", u"تنبيهان آخران", u"تنبيهات أخرى", u"تنبيهاً آخر");
        summary += countedInLanguage(arabic, "BoardWarnings", QT_TRANSLATE_N_NOOP("BoardWarnings", " و%n تنبيه آخر"),
                                     count - 1);
    }
    QStringList lines;
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
    m_notices->send(summary, lines.join(QLatin1Char('\n')), told.first().code,
                    [self = QPointer<BoardWarnings>(this), told](bool shown) {
                        if (!self)
                            return;
                        self->m_awaitingAnswer = false;
                        if (!shown)
                            qCInfo(lcRefresh, "the warnings were not shown: they are told at the next refresh");
                        for (const Told &city : told) {
                            if (shown)
                                self->m_told->markTold(city.code, city.warnings);
                        }
                    });
}
