// Warnings the feed service sends with a city's document, told once through
// the desktop and marked in the window; and the age of the data shown.
#include "app/frmWeatherMain.h"
#include "app/refreshlog.h"
#include "app/warningnotices.h"

#include "feed/dataage.h"
#include "feed/feedreading.h"
#include "platform/desktopnotices.h"
#include "store/weatherstore.h"
#include "view/warningsign.h"

namespace {

// What a row of the store says of its age and whether it holds weather.
struct RowFacts
{
    QString code;
    QString name;
    std::optional<QDateTime> published;
    bool hasWeather = false;
};

QList<RowFacts> rowFacts(DataControl &data)
{
    QList<RowFacts> facts;
    if (!data.refresh())
        return facts;
    Recordset &rows = data.recordset();
    for (rows.moveFirst(); !rows.isEof(); rows.moveNext()) {
        RowFacts row;
        row.code = rows.value(QStringLiteral("city_code")).toText();
        row.name = rows.value(QStringLiteral("city_a")).toText();
        row.published = publishedAt(rows.value(QStringLiteral("pDate")).toText());
        // A cleared row holds 0, which never counts as a temperature.
        const std::optional<double> temperature = rows.value(QStringLiteral("Temp")).toNumber();
        row.hasWeather = temperature && *temperature != 0.0;
        facts.append(row);
    }
    return facts;
}

// The warnings in force, as the window says them, joined.
QString warningLines(const QList<FeedWarning> &warnings, const QDateTime &now)
{
    QStringList lines;
    for (const FeedWarning &w : warnings) {
        if (warningInForce(w, now))
            lines << warningLine(w, now);
    }
    return lines.join(QStringLiteral(u"، "));
}

} // namespace

QString frmWeatherMain::warningLineOf(const QString &cityCode) const
{
    return warningLines(m_warnings.value(cityCode), m_services.now());
}

QList<WriteAlong> frmWeatherMain::keptBesideRow(const QString &cityCode, const ChannelReadings *filledFrom)
{
    const QList<FeedWarning> warnings = filledFrom ? filledFrom->warnings : QList<FeedWarning>();
    keepCityWarnings(cityCode, m_dataWt.recordset().value(QStringLiteral("city_a")).toText(), warnings);
    QList<SideRows::Row> rows;
    for (const FeedWarning &w : warnings) {
        rows.append({{QStringLiteral("kind"), FieldValue::text(w.kind)},
                     {QStringLiteral("starts"), FieldValue::text(w.start.toString(Qt::ISODate))},
                     {QStringLiteral("ends"), FieldValue::text(w.end.toString(Qt::ISODate))},
                     {QStringLiteral("peak"), FieldValue::number(w.peak)}});
    }
    return {WeatherStore::comingDays().replaceWith(cityCode,
                                                   filledFrom ? comingDayRows(*filledFrom) : QList<SideRows::Row>()),
            WeatherStore::cityWarnings().replaceWith(cityCode, rows)};
}

void frmWeatherMain::loadWarnings()
{
    m_warnings.clear();
    for (const RowFacts &row : rowFacts(m_dataMarks)) {
        QList<FeedWarning> warnings;
        for (const QVector<FieldValue> &values : WeatherStore::cityWarnings().rowsOf(m_dataMarks, row.code)) {
            FeedWarning w;
            w.kind = values.value(0).toText();
            w.start = QDateTime::fromString(values.value(1).toText(), Qt::ISODate);
            w.end = QDateTime::fromString(values.value(2).toText(), Qt::ISODate);
            w.peak = values.value(3).toNumber().value_or(0);
            if (w.start.isValid() && w.end.isValid())
                warnings.append(w);
        }
        if (!warnings.isEmpty())
            m_warnings.insert(row.code, warnings);
    }
}

void frmWeatherMain::keepCityWarnings(const QString &cityCode, const QString &cityName,
                                      const QList<FeedWarning> &warnings)
{
    if (warnings.isEmpty()) {
        m_warnings.remove(cityCode);
        return;
    }
    m_warnings.insert(cityCode, warnings);
    if (!m_toldWarnings)
        return;
    const QDateTime now = m_services.now();
    for (const FeedWarning &w : m_toldWarnings->takeUntold(cityCode, warnings, now)) {
        const QString summary = QStringLiteral(u"تنبيه: ") + warningKindText(w.kind) + QStringLiteral(u" في ")
            + cityName;
        qCInfo(lcRefresh, "%s: %s %s", qPrintable(cityCode), qPrintable(w.kind), qPrintable(warningTimeWords(w, now)));
        if (m_services.notices)
            m_services.notices->send(summary, warningTimeWords(w, now), cityCode);
    }
}

void frmWeatherMain::showCity(const QString &cityCode)
{
    if (m_unloaded || !m_loaded || cityCode.isEmpty())
        return;
    m_selectedCityCode = cityCode;
    if (m_pictureHideDetail->isHidden())
        PictureShowDetail_Click();
    else
        ComboSort_Click();
    m_grid->setCurrentCity(lblCityD()->text());
    // Chosen from the desktop's notice: the board comes to the front.
    if (isMinimized())
        showNormal();
    if (isVisible()) {
        raise();
        activateWindow();
    }
}

QString frmWeatherMain::firstWarnedCity()
{
    const QDateTime now = m_services.now();
    for (const RowFacts &row : rowFacts(m_dataMarks)) {
        if (!warningLines(m_warnings.value(row.code), now).isEmpty())
            return row.code;
    }
    return QString();
}

void frmWeatherMain::showWarningsAndAge()
{
    if (m_unloaded)
        return;
    const QDateTime now = m_services.now();
    const QList<RowFacts> facts = rowFacts(m_dataMarks);

    // The expand button, as soon as there is weather to show.
    bool anyWeather = false;
    std::optional<QDateTime> newest;
    for (const RowFacts &row : facts) {
        anyWeather = anyWeather || row.hasWeather;
        if (row.hasWeather && row.published && (!newest || *row.published > *newest))
            newest = row.published;
    }
    if (anyWeather && m_pictureHideDetail->isHidden())
        m_pictureShowDetail->setVisible(true);

    // How old the newest data is, ahead of the ticker's text.
    m_ticker->setAgeNote(newest ? dataAgeText(*newest, now) : QString());

    // The strip's sign: for the first city warned of.
    QString first;
    for (const RowFacts &row : facts) {
        const QString lines = warningLines(m_warnings.value(row.code), now);
        if (!lines.isEmpty()) {
            first = row.name + QStringLiteral(u"، ") + lines;
            break;
        }
    }
    if (m_stripSign->accessibleName() != first) {
        m_stripSign->setAccessibleName(first);
        m_stripSign->setToolTip(first);
    }
    if (m_stripSign->isHidden() == !first.isEmpty()) {
        m_stripSign->setVisible(!first.isEmpty());
        m_stripSign->raise();
    }

    // The grid's rows, as they stand.
    for (int i = 0; i < GridRows; ++i) {
        const QString code = m_grid->cityCode(i);
        bool old = false;
        for (const RowFacts &row : facts) {
            if (row.code == code && !code.isEmpty())
                old = row.hasWeather && row.published && isOldData(*row.published, now);
        }
        m_grid->markRow(i, code.isEmpty() ? QString() : warningLines(m_warnings.value(code), now), old);
    }
}
