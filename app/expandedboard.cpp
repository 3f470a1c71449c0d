// The expanded board: expanding and collapsing, the sort list, the grid, the
// detail panel with its sounds, and the two links; the warnings and the
// data's age as the window marks them.
#include "app/frmWeatherMain.h"
#include "view/warningsign.h"

#include "feed/conditionwords.h"
#include "feed/dataage.h"
#include "platform/feeddate.h"
#include "feed/winddirection.h"
#include "links/modulerorizedivo.h"
#include "platform/boardlanguage.h"
#include "links/processlauncher.h"
#include "store/sortedviews.h"
#include "store/weatherstore.h"

#include <QComboBox>

namespace {

// Starts programs through the board's own seam, so tests see what would start.
class ServiceLauncher final : public ProcessLauncher
{
public:
    explicit ServiceLauncher(const BoardServices &services)
        : m_services(services)
    {
    }
    bool startDetached(const QString &program, const QStringList &arguments) override
    {
        return m_services.startDetached && m_services.startDetached(program, arguments);
    }

private:
    const BoardServices &m_services;
};

// The days kept beside the shown row, as the panel shows them; none
// without a current row.
QList<ComingDay> comingDaysOf(const DataControl &data)
{
    QList<ComingDay> days;
    const FieldValue code = data.recordset().value(QStringLiteral("city_code"));
    if (!code.isText())
        return days;
    // Columns: day, date, low, high, code.
    for (const QVector<FieldValue> &kept : WeatherStore::comingDays().rowsOf(data, code.toText())) {
        ComingDay day;
        day.date = feedDayFromText(kept[1].toText());
        day.low = kept[2];
        day.high = kept[3];
        if (const std::optional<double> condition = kept[4].toNumber())
            day.condition = conditionText(float(*condition));
        days << day;
    }
    return days;
}

// The hours kept beside the shown row, as the curve shows them; none
// without a current row.
QList<ComingHour> comingHoursOf(const DataControl &data)
{
    QList<ComingHour> hours;
    const FieldValue code = data.recordset().value(QStringLiteral("city_code"));
    if (!code.isText())
        return hours;
    // Columns: hour, temp, code, speed, direction.
    for (const QVector<FieldValue> &kept : WeatherStore::comingHours().rowsOf(data, code.toText())) {
        ComingHour hour;
        hour.hour = warningTimeFromText(kept[0].toText());
        hour.temperature = kept[1];
        if (const std::optional<double> condition = kept[2].toNumber())
            hour.condition = conditionText(float(*condition));
        hour.windSpeed = kept[3];
        if (const std::optional<double> direction = kept[4].toNumber())
            hour.windSector = windDirectionName(float(*direction)).sector;
        hours << hour;
    }
    return hours;
}

// What a row of the store says of its age and whether it holds weather.
struct RowFacts
{
    QString code;
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
        row.published = publishedAt(rows.value(QStringLiteral("pDate")).toText());
        // A cleared row holds 0, which never counts as a temperature.
        const std::optional<double> temperature = rows.value(QStringLiteral("Temp")).toNumber();
        row.hasWeather = temperature && *temperature != 0.0;
        facts.append(row);
    }
    return facts;
}

} // namespace

void frmWeatherMain::PictureShowDetail_Click()
{
    if (m_unloaded)
        return;
    // The first expansion chooses the city-name order, which sorts at once.
    if (m_comboSort->currentIndex() == -1)
        m_comboSort->setCurrentIndex(0);
    setOuterSizeTwips(ExpandedWidth, ExpandedHeight);
    m_pictureShowDetail->setVisible(false);
    m_pictureHideDetail->setVisible(true);
    FillCityGrid();
    ShowCityDetail();
}

void frmWeatherMain::PictureHideDetail_Click()
{
    if (m_unloaded)
        return;
    // Nothing stops: the ticker and the refresh go on behind the strip.
    setOuterSizeTwips(CollapsedWidth, CollapsedHeight);
    m_pictureShowDetail->setVisible(true);
    m_pictureHideDetail->setVisible(false);
}

void frmWeatherMain::ComboSort_Click()
{
    if (m_unloaded)
        return;
    // With nothing chosen the view keeps the statement it had.
    const int position = m_comboSort->currentIndex();
    // In English the cities go in the order of the names shown.
    const QString statement = position == 0 && boardReadsLeftToRight() ? SortedViews::byEnglishName()
                                                                       : SortedViews::statement(position);
    if (!statement.isEmpty())
        m_datawt2.setRecordSource(statement);
    m_grid->markHeader(statement.isEmpty() ? -1 : position);
    FillCityGrid();
    ShowCityDetail();
}

void frmWeatherMain::FillCityGrid()
{
    // The grid empties the rows it does not fill: what stays the same after
    // a refresh is neither measured nor painted again.
    m_datawt2.refresh();
    Recordset &rows = m_datawt2.recordset();
    m_grid->fill(rows);
    showWarningsAndAge();

    // Back to the city the user picked, wherever the order put it.
    if (!m_selectedCityCode.isEmpty()) {
        rows.findFirst(QStringLiteral("city_code"), m_selectedCityCode);
        if (rows.noMatch())
            m_datawt2.refresh();
    }
}

void frmWeatherMain::lblCity_Click(int index)
{
    // Clicks that arrive while the board closes find the store closed.
    if (m_unloaded)
        return;
    if (index < 0 || index >= GridRows)
        return;
    m_selectedCityCode.clear();
    Recordset &rows = m_datawt2.recordset();
    // By the name shown, which in English is not the one kept in city_a:
    // there by the code of the city the row was filled with.
    if (boardReadsLeftToRight())
        rows.findFirst(QStringLiteral("city_code"), m_grid->cityCode(index));
    else
        rows.findFirst(QStringLiteral("city_a"), lblCity(index)->text());
    if (rows.noMatch()) {
        m_services.showMessage(this, tr("لم يتم العثور على السجل"), false);
        return;
    }
    m_selectedCityCode = rows.value(QStringLiteral("city_code")).toText();
    ShowCityDetail();
}

void frmWeatherMain::ShowCityDetail()
{
    const Recordset &row = m_datawt2.recordset();
    m_detail->showRow(row, m_appFolder + QString::fromUtf16(PictureFolder));
    const QString code = row.value(QStringLiteral("city_code")).toText();
    m_detail->showWarning(m_warnings->alertLineOf(code), WarningSign::alertColour(m_warnings->colourOf(code)),
                          m_warnings->warningLineOf(code));
    m_detail->setOwnCity(m_warnings->isOwnCity(code));

    // The arrow starts again from the edge its wind blows from.
    std::optional<float> sector;
    if (const std::optional<double> value = row.value(QStringLiteral("wCatg")).toNumber())
        sector = float(*value);
    m_compass->showWind(sector, CityDetail::windSpeedOf(row));
    // Each coming day with the warnings that fall on it, named from the
    // city's today, whatever zone the machine's clock is set to.
    // The centre's alerts come first, the sign in the strongest one's colour.
    const QDateTime now = m_services.now();
    QList<ComingDay> days = comingDaysOf(m_datawt2);
    const QList<FeedWarning> warnings = m_warnings->standingOf(code);
    const QList<FeedAlert> alerts = m_warnings->alertsOf(code);
    for (ComingDay &day : days) {
        QString colour;
        for (const FeedAlert &alert : alerts) {
            if (alertColourRank(alert.colour) > alertColourRank(colour)
                && !dayAlertText({alert}, day.date, now).isEmpty())
                colour = alert.colour;
        }
        QStringList said{dayAlertText(alerts, day.date, now), dayWarningText(warnings, day.date, now)};
        said.removeAll(QString());
        day.warningText = said.join(QCoreApplication::translate("SpokenText", "، "));
        if (!day.warningText.isEmpty())
            day.warningSign = WarningSign::picture(14, devicePixelRatioF(), WarningSign::alertColour(colour));
    }
    m_days->setDays(days, cityDate(now));
    // The coming hours, each warning's span behind them in its colour, and
    // over them each alert's.
    QList<HourSpan> spans;
    for (const FeedWarning &warning : mergedRuns(warnings))
        spans << HourSpan{warning.start, warning.end, HoursCurve::spanColor(warning.kind)};
    for (const FeedAlert &alert : alerts) {
        const QColor colour = WarningSign::alertColour(alert.colour);
        spans << HourSpan{alert.onset, alert.expires, colour, colour};
    }
    m_hours->setSpans(spans);
    m_hours->setHours(comingHoursOf(m_datawt2), m_services.now());

    // Rain, then thunder: one player, so thunder wins when both apply.
    // The stored word: the label says it in the board's language.
    const QString condition = row.value(QStringLiteral("Condition")).toText();
    if (conditionSpeaksOfRainfall(condition))
        m_services.playSound(m_appFolder + QStringLiteral("rain.wav"));
    if (conditionSpeaksOfThunderstorm(condition))
        m_services.playSound(m_appFolder + QStringLiteral("thunder.wav"));
}

void frmWeatherMain::lblGoogle_Click()
{
    if (m_unloaded)
        return;
    ServiceLauncher launcher(m_services);
    ModuleRORizedivo::OpenInBrowser(lblGoogle()->tag(), launcher);
}

void frmWeatherMain::lblQIVurl_Click()
{
    if (m_unloaded)
        return;
    ServiceLauncher launcher(m_services);
    ModuleRORizedivo::OpenInBrowser(m_lblQIVurl->text(), launcher);
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

    // The strip's sign: for the person's own city first, else the first warned of.
    const QString first = m_warnings->firstWarnedLine();
    if (m_stripSign->accessibleName() != first) {
        m_stripSign->setAccessibleName(first);
        m_stripSign->setToolTip(first);
    }
    m_stripSign->setColour(WarningSign::alertColour(m_warnings->strongestColour()));
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
        m_grid->markRow(i, code.isEmpty() ? QString() : m_warnings->lineOf(code), old,
                        code.isEmpty() ? QColor() : WarningSign::alertColour(m_warnings->colourOf(code)));
    }
}
