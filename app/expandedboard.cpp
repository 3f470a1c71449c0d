// The expanded board: expanding and collapsing, the sort list, the grid, the
// detail panel with its sounds, and the two links.
#include "app/frmWeatherMain.h"
#include "view/warningsign.h"

#include "feed/conditionwords.h"
#include "links/modulerorizedivo.h"
#include "links/processlauncher.h"
#include "store/sortedviews.h"
#include "store/weatherstore.h"

#include <QComboBox>

namespace {

const QString NotFound = QStringLiteral(u"لم يتم العثور على السجل");

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
        day.date = QLocale::c().toDate(kept[1].toText(), QStringLiteral("d MMM yyyy"));
        day.low = kept[2];
        day.high = kept[3];
        if (const std::optional<double> condition = kept[4].toNumber())
            day.condition = conditionText(float(*condition));
        days << day;
    }
    return days;
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
    const QString statement = SortedViews::statement(position);
    if (!statement.isEmpty())
        m_datawt2.setRecordSource(statement);
    m_grid->markHeader(statement.isEmpty() ? -1 : position);
    FillCityGrid();
    ShowCityDetail();
}

void frmWeatherMain::FillCityGrid()
{
    m_grid->clear();
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
    rows.findFirst(QStringLiteral("city_a"), lblCity(index)->text());
    if (rows.noMatch()) {
        m_services.showMessage(this, NotFound, false);
        return;
    }
    m_selectedCityCode = rows.value(QStringLiteral("city_code")).toText();
    ShowCityDetail();
}

void frmWeatherMain::ShowCityDetail()
{
    const Recordset &row = m_datawt2.recordset();
    m_detail->showRow(row, m_appFolder + QString::fromUtf16(PictureFolder));
    m_detail->showWarning(warningLineOf(row.value(QStringLiteral("city_code")).toText()));

    // The arrow starts again from the edge its wind blows from.
    std::optional<float> sector;
    if (const std::optional<double> value = row.value(QStringLiteral("wCatg")).toNumber())
        sector = float(*value);
    m_compass->showWind(sector, CityDetail::windSpeedOf(row));
    // Each coming day with the warnings that fall on it.
    QList<ComingDay> days = comingDaysOf(m_datawt2);
    const QList<FeedWarning> warnings = m_warnings.value(row.value(QStringLiteral("city_code")).toText());
    for (ComingDay &day : days) {
        day.warningText = dayWarningText(warnings, day.date, m_services.now());
        if (!day.warningText.isEmpty())
            day.warningSign = WarningSign::picture(14, devicePixelRatioF());
    }
    m_days->setDays(days, m_services.now().date());

    // Rain, then thunder: one player, so thunder wins when both apply.
    const QString condition = lblConditionD()->text();
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
