// The detail panel of one city: its values, map picture and map link.
#include "view/citydetail.h"

#include "platform/datacontrol.h"
#include "view/celltext.h"
#include "view/controlkit.h"
#include "view/owncitytoggle.h"
#include "view/spokentext.h"
#include "view/warningsign.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFontMetrics>

#include <utility>

using namespace ControlKit;

namespace {

// The panel in the window's twips. Its rows of caption and value come in two
// pairs of columns either side of a thin divider; captions hug their text at
// the right of their pair, and the value takes the rest of the pair.
constexpr int PanelLeft = 315;
constexpr int PanelRight = 6420;
constexpr int DividerLeft = 3375;
constexpr int DividerWidth = 30;
constexpr int TextGapTwips = FormLabel::TextGap * TwipsPerPixel;
constexpr int RightPairLeft = DividerLeft + DividerWidth + TextGapTwips;
constexpr int LeftPairRight = DividerLeft - TextGapTwips;
constexpr int DetailRowHeight = 300;
constexpr int DateRowTop = 1140;
constexpr int FirstPairRowTop = 1470;
constexpr int PairRowStep = 315;
constexpr int TimeCaptionTop = FirstPairRowTop + 5 * PairRowStep; // "وقت", over the sunrise and sunset pair
constexpr int TimeCaptionHeight = 255;
constexpr int SunRowTop = TimeCaptionTop + TimeCaptionHeight;
constexpr int PanelBottom = SunRowTop + DetailRowHeight + 30;
// The name's row: the name in the middle, "مدينتي" at its left end, and as
// much room kept free at its right so that the name stays in the middle.
constexpr int NameTop = 630;
constexpr int NameHeight = 450;
constexpr int ToggleRoom = 1200;
constexpr int ToggleHeight = 330;

const char *const captionTexts[20] = {
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    QT_TRANSLATE_NOOP("CityDetail", "حالة الطقس"), // 6
    QT_TRANSLATE_NOOP("CityDetail", "مدى الرؤية / كم"), // 7
    QT_TRANSLATE_NOOP("CityDetail", "درجة الحرارة (c)"), // 8
    QT_TRANSLATE_NOOP("CityDetail", "صغرى"), // 9
    QT_TRANSLATE_NOOP("CityDetail", "السرعة"), // 10
    QT_TRANSLATE_NOOP("CityDetail", "الرياح"), // 11
    QT_TRANSLATE_NOOP("CityDetail", "برودة  الرياح (c)"), // 12
    QT_TRANSLATE_NOOP("CityDetail", "وقت"), // 13
    nullptr, // 14: the sort caption, not the panel's
    QT_TRANSLATE_NOOP("CityDetail", "عظمى"), // 15
    QT_TRANSLATE_NOOP("CityDetail", "الرطوبة %"), // 16
    QT_TRANSLATE_NOOP("CityDetail", "الشروق"), // 17
    QT_TRANSLATE_NOOP("CityDetail", "الغروب"), // 18
    QT_TRANSLATE_NOOP("CityDetail", "أخر تحديث"), // 19
};

int detailRowTop(int row)
{
    if (row == 0)
        return DateRowTop;
    if (row == 6)
        return SunRowTop;
    return FirstPairRowTop + (row - 1) * PairRowStep;
}

// A place given in the window's twips, in the panel's own.
QRect local(int left, int top, int width, int height)
{
    return placeWithin(CityDetail::LeftTwips, CityDetail::TopTwips, left, top, width, height);
}

} // namespace

float CityDetail::windSpeedOf(const Recordset &row)
{
    const FieldValue speed = row.value(QStringLiteral("wind_speed"));
    return speed.isNumber() ? float(*speed.toNumber()) : 0.0f;
}

CityDetail::CityDetail(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("CityDetail"));
    makeBlack(this);
    // Down to the row of links under the map's.
    setGeometry(twipsRect(LeftTwips, TopTwips, WidthTwips, 11130 - TopTwips));

    m_box = makeShape(this, QStringLiteral("Shape2(24)"), local(240, 600, 6255, PanelBottom - 600), BoxBorder, NoFill);
    m_lblCityD = makeLabel(this, QStringLiteral("lblCityD"),
                           local(PanelLeft + ToggleRoom, NameTop, PanelRight - PanelLeft - 2 * ToggleRoom, NameHeight),
                           QString(), Yellow, tahoma(14.25, true));
    m_lblCityD->setAlignment(Qt::AlignCenter);
    m_lblCityD->setShrinkToFit(true);
    m_ownCity = new OwnCityToggle(this);
    const QRect toggle = local(PanelLeft + 45, NameTop + (NameHeight - ToggleHeight) / 2, ToggleRoom - 90,
                               ToggleHeight);
    m_ownCity->setGeometry(twipsRect(toggle.x(), toggle.y(), toggle.width(), toggle.height()));
    m_ownCity->hide();
    connect(m_ownCity, &QCheckBox::toggled, this, [this](bool own) { Q_EMIT ownCityToggled(m_cityCode, own); });

    // Value, name, caption index, row (0 the publication time, 1 to 5 the
    // pairs, 6 the sun), whether it stands in the right-hand pair, and what
    // a screen reader says for its value; the publication time spans both.
    struct Item
    {
        Value value;
        const char *name;
        int captionIndex;
        int row;
        bool right;
        FormLabel::Speech speech;
    };
    const Item items[] = {
        {PdateD, "lblPdateD", 19, 0, true, nullptr},
        {ConditionD, "lblConditionD", 6, 1, true, nullptr},
        {VisibilityD, "lblVisibilityD", 7, 1, false, spokenKilometres},
        {TempD, "lblTempD", 8, 2, true, spokenDegrees},
        {HumidityD, "lblHumidityD", 16, 2, false, spokenPercent},
        {Temp_LowD, "lblTemp_LowD", 9, 3, true, spokenDegrees},
        {Temp_HighD, "lblTemp_HighD", 15, 3, false, spokenDegrees},
        {Wind_DirctD, "lblWind_DirctD", 11, 4, true, nullptr},
        {Wind_SpeedD, "lblWind_SpeedD", 10, 4, false, spokenSpeed},
        {Wind_ShillD, "lblWind_ShillD", 12, 5, true, spokenDegrees},
        {SunRiseD, "lblSunRiseD", 17, 6, true, nullptr},
        {SunSetD, "lblSunSetD", 18, 6, false, nullptr},
    };
    for (const Item &item : items) {
        // The publication time is long and takes the whole row left of its caption.
        const bool wide = item.row == 0;
        const int top = detailRowTop(item.row);
        const int pairLeft = wide ? PanelLeft : (item.right ? RightPairLeft : PanelLeft);
        const int pairRight = item.right ? PanelRight : LeftPairRight;
        FormLabel *caption = makeLabel(this, QStringLiteral("Label1(%1)").arg(item.captionIndex), QRect(),
                                       QCoreApplication::translate("CityDetail", captionTexts[item.captionIndex]), Cyan,
                                       tahoma(8.25, true));
        caption->setAlignment(Qt::AlignCenter);
        const int captionWidth = captionWidthTwips(caption);
        const QRect place = local(pairRight - captionWidth, top, captionWidth, DetailRowHeight);
        caption->setTwipsGeometry(place.x(), place.y(), place.width(), place.height());
        m_captions[item.captionIndex] = caption;
        FormLabel *value = makeLabel(this, QLatin1String(item.name),
                                     local(pairLeft, top, pairRight - captionWidth - pairLeft, DetailRowHeight),
                                     QString(), White, tahoma(9));
        value->setAlignment(Qt::AlignCenter);
        value->setShrinkToFit(true);
        value->setSpeech(item.speech);
        m_values[item.value] = value;
        // A screen reader says each value with the caption that labels it.
        caption->setSpeech(spokenCaption);
        caption->setBuddy(value);
    }
    FormLabel *time = makeLabel(this, QStringLiteral("Label1(13)"), QRect(),
                                QCoreApplication::translate("CityDetail", captionTexts[13]), Cyan, tahoma(8.25, true));
    time->setAlignment(Qt::AlignCenter);
    const int timeWidth = captionWidthTwips(time);
    const int timeLeft = DividerLeft + DividerWidth / 2 - timeWidth / 2;
    {
        const QRect place = local(timeLeft, TimeCaptionTop, timeWidth, TimeCaptionHeight);
        time->setTwipsGeometry(place.x(), place.y(), place.width(), place.height());
    }
    m_captions[13] = time;
    // Under the warnings' row, left of "وقت": where the warnings go while an
    // alert of the centre takes their row.
    m_warningBelow = local(PanelLeft, TimeCaptionTop, timeLeft - TextGapTwips - PanelLeft, TimeCaptionHeight);

    QList<QFrame *> boxes{m_box};
    boxes << makeShape(this, QStringLiteral("Shape1"), local(240, 1100, 6255, 30), BoxBorder, NoFill);
    boxes << makeShape(this, QStringLiteral("Shape3"), local(285, 3660, 6165, 6810), Orange, NoFill);
    // Thin dividers between the pairs: two rows each, then the wind chill
    // row, then the sun pair. None crosses "وقت" or reaches the map.
    const std::pair<int, int> dividers[4] = {{detailRowTop(1), detailRowTop(3)},
                                             {detailRowTop(3), detailRowTop(5)},
                                             {detailRowTop(5), detailRowTop(5) + DetailRowHeight},
                                             {SunRowTop, SunRowTop + DetailRowHeight}};
    for (int s = 4; s <= 7; ++s) {
        const auto [top, bottom] = dividers[s - 4];
        boxes << makeShape(this, QStringLiteral("Shape%1").arg(s), local(DividerLeft, top, DividerWidth, bottom - top),
                           BoxBorder, NoFill);
    }

    const QRect map = local(MapTwips.x(), MapTwips.y(), MapTwips.width(), MapTwips.height());
    m_imageMap = makeLabel(this, QStringLiteral("ImageMAP"), map, QString(), White, tahoma(8.25));
    m_imageMap->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_imageMap->setPixmap(
        QPixmap::fromImage(readPicture(QStringLiteral(":/assets/default-map.jpg"), devicePixelRatioF())));
    // It paints its own black under the picture, so a moving arrow above it
    // leaves the panel and the window behind it alone.
    m_imageMap->setAutoFillBackground(true);
    m_imageMap->setAccessibleRole(QAccessible::Graphic);
    m_imageMap->setAccessibleName(QCoreApplication::translate("CityDetail", "خريطة شبه الجزيرة العربية"));

    // The left of the wind chill's row is free.
    m_warningRow = local(PanelLeft, detailRowTop(5), LeftPairRight - PanelLeft, DetailRowHeight);
    m_lblAlertD = makeLabel(this, QStringLiteral("lblAlertD"), m_warningRow, QString(), WarningSign::Amber,
                            tahoma(9, true));
    m_lblAlertD->setAlignment(Qt::AlignCenter);
    m_lblAlertD->setShrinkToFit(true);
    m_lblAlertD->setVisible(false);
    m_lblWarningD = makeLabel(this, QStringLiteral("lblWarningD"), m_warningRow, QString(), WarningSign::Amber,
                              tahoma(9, true));
    m_lblWarningD->setAlignment(Qt::AlignCenter);
    m_lblWarningD->setShrinkToFit(true);
    m_lblWarningD->setVisible(false);

    m_lblGoogle = makeLabel(this, QStringLiteral("lblGoogle"), local(315, 10470, 4300, 300), QStringLiteral("Google"),
                            LightGreen, tahoma(8.25, true));
    m_lblGoogle->setShrinkToFit(true);
    m_lblGoogle->setAccessibleRole(QAccessible::Link);
    setAccessibleName(QCoreApplication::translate("CityDetail", "تفاصيل المدينة"));

    mirrorControls(this, WidthTwips);

    // The boxes lie behind everything else.
    for (QFrame *box : boxes)
        box->lower();
}

void CityDetail::setOwnCity(bool own)
{
    const QSignalBlocker quiet(m_ownCity);
    m_ownCity->setChecked(own);
}

void CityDetail::showWarning(const QString &alertLine, const QColor &alertColour, const QString &line)
{
    // The alerts take the warnings' row, and the warnings then move to the
    // free room under it, left of "وقت": each line has the row's width.
    // A headline too long for the row even in the smallest size is cut
    // short; the tooltip and screen readers have it whole.
    m_lblAlertD->setForeColor(alertColour.isValid() ? alertColour : WarningSign::Amber);
    QFont smallest = m_lblAlertD->font();
    smallest.setPointSizeF(FormLabel::SmallestPointSize);
    const qreal room = twipsToPixels(m_warningRow.width()) - 2 * FormLabel::TextGap;
    m_lblAlertD->setText(QFontMetricsF(smallest, m_lblAlertD).elidedText(alertLine, Qt::ElideRight, room));
    // Screen readers hear of a new name: only when it is one.
    if (m_lblAlertD->accessibleName() != alertLine) {
        m_lblAlertD->setToolTip(alertLine);
        m_lblAlertD->setAccessibleName(alertLine);
    }
    m_lblAlertD->setVisible(!alertLine.isEmpty());
    const int top = alertLine.isEmpty() ? m_warningRow.y() : m_warningBelow.y();
    const int height = alertLine.isEmpty() ? m_warningRow.height() : m_warningBelow.height();
    const int width = alertLine.isEmpty() ? m_warningRow.width() : m_warningBelow.width();
    m_lblWarningD->setTwipsGeometry(m_warningRow.x(), top, width, height);
    // Placed as in Arabic, then across the panel as every control is in English.
    mirrorAcross(m_lblWarningD, WidthTwips);
    m_lblWarningD->setText(line);
    m_lblWarningD->setVisible(!line.isEmpty());
}

void CityDetail::showRow(const Recordset &rows, const QString &pictureFolder)
{
    const auto text = [&rows](const char *column) { return rows.value(QLatin1String(column)).toText(); };

    // A column without a value leaves its label empty.
    m_lblCityD->clear();
    for (FormLabel *label : m_values)
        label->clear();
    m_lblCityD->setText(shownCityName(rows));
    lblConditionD()->setText(conditionShown(text("Condition")));
    lblHumidityD()->setText(text("Humidity"));
    lblPdateD()->setText(text("pDate"));
    lblSunRiseD()->setText(text("sunrise"));
    lblSunSetD()->setText(text("sunset"));
    lblTempD()->setText(text("temp"));
    lblTemp_HighD()->setText(text("temp_high"));
    lblTemp_LowD()->setText(text("temp_low"));
    lblVisibilityD()->setText(visibilityText(rows.value(QStringLiteral("Visibility"))));
    lblWind_DirctD()->setText(windShown(text("wind_dirctn")));
    lblWind_ShillD()->setText(text("wind_chill"));
    lblWind_SpeedD()->setText(windSpeedText(FieldValue::number(windSpeedOf(rows))));

    // The map picture, read by its content whatever its extension; a
    // picture that cannot be read leaves the previous one.
    const FieldValue code = rows.value(QStringLiteral("city_code"));
    m_cityCode = code.toText();
    m_ownCity->setVisible(!m_cityCode.isEmpty());
    const QString picture = pictureFolder + code.toText() + QStringLiteral(".tmg");
    const QFileInfo file(picture);
    if (code.isText() && file.isFile()) {
        const QString read = picture + u'|' + file.lastModified().toString(Qt::ISODateWithMs) + u'|'
            + QString::number(file.size()) + u'|' + QString::number(devicePixelRatioF());
        if (read != m_pictureRead) {
            const QImage image = readPicture(picture, devicePixelRatioF());
            if (!image.isNull()) {
                m_imageMap->setPixmap(QPixmap::fromImage(image));
                m_pictureRead = read;
            }
        }
    } else {
        m_imageMap->clear();
        m_pictureRead.clear();
    }
    m_imageMap->setAccessibleName(
        QCoreApplication::translate("CityDetail", "خريطة %1").arg(m_lblCityD->text()).trimmed());

    // The link to the city's online map.
    const FieldValue map = rows.value(QStringLiteral("map1_url"));
    if (!map.hasValue()) {
        m_lblGoogle->setVisible(false);
    } else {
        m_lblGoogle->setVisible(true);
        m_lblGoogle->setText(
            QCoreApplication::translate("CityDetail", "أضغط هنا لمشاهدة %1 من خلال Google").arg(m_lblCityD->text()));
        m_lblGoogle->setTag(map.toText());
    }
    Q_EMIT cityShown(m_lblCityD->text());
}
