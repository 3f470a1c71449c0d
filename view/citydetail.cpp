// The detail panel of one city: its values, map, link, sounds and the
// wind arrow's pace.
#include "app/frmWeatherMain.h"

#include "platform/numbertext.h"
#include "view/celltext.h"

#include <QFileInfo>
#include <QImageReader>


namespace {
const QString NotFound = QStringLiteral(u"لم يتم العثور على السجل");
constexpr int CalmInterval = 3000;
} // namespace

void frmWeatherMain::lblCity_Click(int index)
{
    // Clicks that arrive while the board closes find the store closed.
    if (m_unloaded)
        return;
    if (index < 0 || index >= GridRows)
        return;
    SelectedCityCode.clear();
    Recordset &rows = Datawt2.recordset();
    rows.findFirst(QStringLiteral("city_a"), lblCity[index]->text());
    if (rows.noMatch()) {
        m_services.showMessage(this, NotFound, false);
        return;
    }
    SelectedCityCode = rows.value(QStringLiteral("city_code")).toText();
    ShowCityDetail();
}

void frmWeatherMain::ShowCityDetail()
{
    const Recordset &row = Datawt2.recordset();
    const auto text = [&row](const char *column) { return row.value(QLatin1String(column)).toText(); };

    // 1. The arrow stops while the panel changes.
    LineWind->setVisible(false);
    TimerWind->setEnabled(false);
    WindDirIndex = 0;

    // 2, 3. Values; a column without a value leaves its label empty.
    for (FormLabel *label : {lblCityD, lblConditionD, lblHumidityD, lblPdateD, lblSunRiseD, lblSunSetD, lblTempD,
                             lblTemp_HighD, lblTemp_LowD, lblWind_DirctD, lblWind_ShillD, lblWind_SpeedD, lblVisibilityD})
        label->clear();
    lblCityD->setText(text("city_a"));
    lblConditionD->setText(text("Condition"));
    lblHumidityD->setText(text("Humidity"));
    lblPdateD->setText(text("pDate"));
    lblSunRiseD->setText(text("sunrise"));
    lblSunSetD->setText(text("sunset"));
    lblTempD->setText(text("temp"));
    lblTemp_HighD->setText(text("temp_high"));
    lblTemp_LowD->setText(text("temp_low"));
    lblVisibilityD->setText(visibilityText(row.value(QStringLiteral("Visibility"))));
    lblWind_DirctD->setText(text("wind_dirctn"));

    // 6, 7. The arrow starts from its sector's edge of the map.
    if (const std::optional<double> sector = row.value(QStringLiteral("wCatg")).toNumber())
        WindDirIndex = float(*sector);
    PointWindArrow();

    // 8-11. The stronger the wind, the faster the arrow; a calm wind moves it
    // every 3 seconds. A missing speed counts as calm.
    const FieldValue speedValue = row.value(QStringLiteral("wind_speed"));
    const float speed = speedValue.isNumber() ? float(*speedValue.toNumber()) : 0.0f;
    lblWind_ShillD->setText(text("wind_chill"));
    lblWind_SpeedD->setText(windSpeedText(FieldValue::number(speed)));
    if (speed != 0) {
        // An interval below 0 is refused and the earlier one stays; 0 means
        // the arrow stands still at its start.
        const double interval = roundHalfEven(double(100.0f - 2.0f * speed));
        if (interval >= 0 && interval <= FormTimer::MaximumInterval)
            TimerWind->setInterval(int(interval));
    } else {
        TimerWind->setInterval(CalmInterval);
    }
    TimerWind->setEnabled(true);
    LineWind->setVisible(true);

    // 12.
    lblWindDirc_Speed->setText(WindDirCode + QStringLiteral("  ") + QString::number(roundHalfEven(speed), 'f', 0)
                               + QStringLiteral(" Kph"));

    // 13. The map picture, read by its content whatever its extension; a
    // picture that cannot be read leaves the previous one.
    const FieldValue code = row.value(QStringLiteral("city_code"));
    const QString picture = AppFolder + QString::fromUtf16(PictureFolder) + code.toText() + QStringLiteral(".tmg");
    if (code.isText() && QFileInfo(picture).isFile()) {
        QImageReader reader(picture);
        reader.setDecideFormatFromContent(true);
        const QImage image = reader.read();
        if (!image.isNull())
            ImageMAP->setPixmap(QPixmap::fromImage(image));
    } else {
        ImageMAP->clear();
    }

    // 14. The link to the city's online map.
    const FieldValue map = row.value(QStringLiteral("map1_url"));
    if (!map.hasValue()) {
        lblGoogle->setVisible(false);
    } else {
        lblGoogle->setVisible(true);
        lblGoogle->setText(QStringLiteral(u"أضغط هنا لمشاهدة ") + lblCityD->text() + QStringLiteral(u" من خلال Google"));
        lblGoogle->setTag(map.toText());
    }

    // 15. Rain, then thunder: one player, so thunder wins when both apply.
    const QString condition = lblConditionD->text();
    if (condition.contains(QStringLiteral(u"مطر")) || condition.contains(QStringLiteral(u"مطار")))
        m_services.playSound(AppFolder + QStringLiteral("rain.wav"));
    if (condition.contains(QStringLiteral(u"رعدية")))
        m_services.playSound(AppFolder + QStringLiteral("thunder.wav"));
}
