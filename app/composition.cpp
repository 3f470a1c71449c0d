// The window's controls: their kinds, places (in twips), captions, colours
// and fonts. Behaviour lives in the handlers.
#include "app/frmWeatherMain.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFontMetricsF>
#include <QtMath>

#include <cmath>
#include <utility>

namespace {

const QColor Black(0, 0, 0);
const QColor White(255, 255, 255);
const QColor Yellow(255, 255, 0);
const QColor Green(0, 255, 0);
const QColor LightGreen(128, 255, 128);
const QColor Orange(255, 128, 0);
const QColor DarkOrange(192, 96, 0);
const QColor Cyan(128, 255, 255);
const QColor RowBand(40, 40, 48);

QFont tahoma(double points, bool bold = false)
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QFont sansSerif(double points, bool bold = false)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

FormLabel *makeLabel(QWidget *parent, const QString &name, const QRect &twips, const QString &caption, const QColor &color,
                     const QFont &font, bool rightToLeft = true)
{
    auto *label = new FormLabel(parent);
    label->setObjectName(name);
    label->setTwipsGeometry(twips.x(), twips.y(), twips.width(), twips.height());
    label->setText(caption);
    label->setForeColor(color);
    label->setFont(font);
    label->setLayoutDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    label->setAlignment((rightToLeft ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QFrame *makeShape(QWidget *parent, const QString &name, const QRect &twips, const QColor &border, const QColor &fill)
{
    auto *shape = new QFrame(parent);
    shape->setObjectName(name);
    shape->setGeometry(twipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
    shape->setStyleSheet(QStringLiteral("QFrame#%1 { border: 1px solid %2; background: %3; }")
                             .arg(name, border.name(), fill.alpha() ? fill.name() : QStringLiteral("transparent")));
    return shape;
}

FormLine *makeLine(QWidget *parent, const QString &name, float x1, float y1, float x2, float y2, const QColor &color,
                   int width = 1)
{
    auto *line = new FormLine(parent);
    line->setObjectName(name);
    line->setColor(color);
    line->setPenWidth(width);
    line->setPoints(x1, y1, x2, y2);
    return line;
}

// Grid columns from right to left: left edge and width in twips.
struct GridColumn
{
    int left;
    int width;
};
constexpr GridColumn gridColumns[6] = {
    {12900, 1550}, // city
    {11150, 1750}, // condition
    {10150, 1000}, // temperature
    {9000, 1150},  // visibility
    {7300, 1700},  // wind direction
    {6600, 700},   // wind speed
};
constexpr int GridHeaderTop = 960;
constexpr int GridHeaderHeight = 480;
constexpr int GridFirstRowTop = 1515;
constexpr int GridRowStep = 390;
constexpr int GridRowHeight = 330;

// The detail panel, in twips. Its rows of caption and value come in two
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

// Detail panel: value label, caption index, row (0 the publication time,
// 1 to 5 the pairs, 6 the sun), and whether it stands in the right-hand
// (true) or left-hand pair; the publication time spans both.
struct DetailItem
{
    FormLabel *frmWeatherMain::*label;
    const char *name;
    int captionIndex;
    int row;
    bool right;
};

int detailRowTop(int row)
{
    if (row == 0)
        return DateRowTop;
    if (row == 6)
        return SunRowTop;
    return FirstPairRowTop + (row - 1) * PairRowStep;
}

// The width that holds a label's caption with the text gap either side.
int captionWidthTwips(const FormLabel *label)
{
    const qreal advance = QFontMetricsF(label->font(), label).horizontalAdvance(label->text());
    return pixelsToTwips(int(std::ceil(advance)) + 2 * FormLabel::TextGap);
}

} // namespace

void frmWeatherMain::buildControls()
{
    setObjectName(QStringLiteral("frmWeatherMain"));
    setWindowTitle(QStringLiteral("QIV Weather 6.1"));
    setWindowIcon(QIcon(QStringLiteral(":/assets/window-icon.png")));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Black);
    setPalette(p);
    setFont(tahoma(8.25));

    // --- The strip: always visible, even collapsed --------------------------
    FrameWeather = new QFrame(this);
    FrameWeather->setObjectName(QStringLiteral("FrameWeather"));
    FrameWeather->setGeometry(twipsRect(0, 0, FrameWeatherWidth, 390));
    FrameWeather->setAutoFillBackground(true);
    FrameWeather->setPalette(p);

    lblWeather = makeLabel(FrameWeather, QStringLiteral("lblWeather"), QRect(75, 45, 6900, 285), QString(), Green,
                           sansSerif(9.75));
    // The text starts at the label's left edge, and the last Arabic letters
    // reach a little past their advance: a margin keeps their tails in view.
    lblWeather->setContentsMargins(FormLabel::TextGap, 0, 0, 0);

    PictureShowDetail = makeLabel(this, QStringLiteral("PictureShowDetail"), QRect(7080, 0, 390, 390), QString(), White,
                                  tahoma(8.25));
    PictureShowDetail->setPixmap(QPixmap(QStringLiteral(":/assets/show-detail.gif")));
    PictureShowDetail->setAlignment(Qt::AlignCenter);
    PictureShowDetail->setToolTip(QStringLiteral(u"عرض التفاصيل"));
    PictureHideDetail = makeLabel(this, QStringLiteral("PictureHideDetail"), QRect(7080, 0, 390, 390), QString(), White,
                                  tahoma(8.25));
    PictureHideDetail->setPixmap(QPixmap(QStringLiteral(":/assets/hide-detail.gif")));
    PictureHideDetail->setAlignment(Qt::AlignCenter);

    // --- Top band of the expanded window ------------------------------------
    lblQIVurl = makeLabel(this, QStringLiteral("lblQIVurl"), QRect(7700, 90, 3250, 300),
                          QStringLiteral("https://rorizedivo.example.org"), White, sansSerif(9.75, true), false);
    Label1[14] = makeLabel(this, QStringLiteral("Label1(14)"), QRect(13300, 90, 1150, 300), QStringLiteral(u"رتب حسب"),
                           White, tahoma(9.75, true));
    ComboSort = new QComboBox(this);
    ComboSort->setObjectName(QStringLiteral("ComboSort"));
    ComboSort->setGeometry(twipsRect(11000, 60, 2200, 345));
    ComboSort->setFont(tahoma(9));
    ComboSort->setLayoutDirection(Qt::RightToLeft);
    // The open list is a window of its own and would take the application's
    // direction: it reads right to left like the closed box.
    ComboSort->view()->setLayoutDirection(Qt::RightToLeft);
    Line1 = makeLine(this, QStringLiteral("Line1"), 0, 510, ExpandedWidth, 510, White);

    // --- The city grid --------------------------------------------------------
    for (int i = 0; i < 25; ++i) {
        const QRect band = i < GridRows ? QRect(6550, GridFirstRowTop + i * GridRowStep - 30, 7950, GridRowStep - 20)
                                        : QRect(240, 600, 6255, PanelBottom - 600); // the detail box
        Shape2[i] = makeShape(this, QStringLiteral("Shape2(%1)").arg(i), band, QColor(70, 70, 80),
                              i < GridRows && i % 2 == 0 ? RowBand : QColor(0, 0, 0, 0));
    }
    static const char16_t *headers[6] = {u"المدينة",         u"حالة الطقس",  u"درجة الحرارة (c)",
                                         u"مدى الرؤية / كم", u"إتجاه الرياح", u"سرعة الرياح"};
    for (int c = 0; c < 6; ++c) {
        Label1[c] = makeLabel(this, QStringLiteral("Label1(%1)").arg(c),
                              QRect(gridColumns[c].left, GridHeaderTop, gridColumns[c].width, GridHeaderHeight),
                              QString::fromUtf16(headers[c]), White, tahoma(8.25, true));
        Label1[c]->setAlignment(Qt::AlignCenter);
        Label1[c]->setWordWrap(true);
    }
    // The city header stands out: yellow on orange.
    Label1[0]->setForeColor(Yellow);
    Label1[0]->setAutoFillBackground(true);
    {
        QPalette hp = Label1[0]->palette();
        hp.setColor(QPalette::Window, DarkOrange);
        Label1[0]->setPalette(hp);
    }

    std::array<FormLabel *, GridRows> *columns[6] = {&lblCity, &lblCondition, &lblTemp, &lblVisibility, &lblWind_Dirct,
                                                      &lblWind_Speed};
    static const char *columnNames[6] = {"lblCity", "lblCondition", "lblTemp", "lblVisibility", "lblWind_Dirct",
                                         "lblWind_Speed"};
    for (int c = 0; c < 6; ++c) {
        for (int i = 0; i < GridRows; ++i) {
            FormLabel *label = makeLabel(this, QStringLiteral("%1(%2)").arg(QLatin1String(columnNames[c])).arg(i),
                                         QRect(gridColumns[c].left + 30, GridFirstRowTop + i * GridRowStep,
                                               gridColumns[c].width - 60, GridRowHeight),
                                         QString(), c == 0 ? Yellow : White, tahoma(8.25, c == 0));
            if (c > 0)
                label->setAlignment(Qt::AlignCenter);
            label->setShrinkToFit(true);
            (*columns[c])[i] = label;
        }
    }

    // --- The detail panel -----------------------------------------------------
    lblCityD = makeLabel(this, QStringLiteral("lblCityD"), QRect(315, 630, 6105, 450), QString(), Yellow,
                         tahoma(14.25, true));
    lblCityD->setAlignment(Qt::AlignCenter);
    lblCityD->setShrinkToFit(true);

    static const char16_t *captions[20] = {
        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        u"حالة الطقس",          // 6
        u"مدى الرؤية / كم",     // 7
        u"درجة الحرارة (c)",    // 8
        u"صغرى",                // 9
        u"السرعة",              // 10
        u"الرياح",              // 11
        u"برودة  الرياح (c)",   // 12
        u"وقت",                 // 13
        nullptr,                // 14: the sort caption
        u"عظمى",                // 15
        u"الرطوبة %",           // 16
        u"الشروق",              // 17
        u"الغروب",              // 18
        u"أخر تحديث",           // 19
    };
    const DetailItem items[] = {
        {&frmWeatherMain::lblPdateD, "lblPdateD", 19, 0, true},
        {&frmWeatherMain::lblConditionD, "lblConditionD", 6, 1, true},
        {&frmWeatherMain::lblVisibilityD, "lblVisibilityD", 7, 1, false},
        {&frmWeatherMain::lblTempD, "lblTempD", 8, 2, true},
        {&frmWeatherMain::lblHumidityD, "lblHumidityD", 16, 2, false},
        {&frmWeatherMain::lblTemp_LowD, "lblTemp_LowD", 9, 3, true},
        {&frmWeatherMain::lblTemp_HighD, "lblTemp_HighD", 15, 3, false},
        {&frmWeatherMain::lblWind_DirctD, "lblWind_DirctD", 11, 4, true},
        {&frmWeatherMain::lblWind_SpeedD, "lblWind_SpeedD", 10, 4, false},
        {&frmWeatherMain::lblWind_ShillD, "lblWind_ShillD", 12, 5, true},
        {&frmWeatherMain::lblSunRiseD, "lblSunRiseD", 17, 6, true},
        {&frmWeatherMain::lblSunSetD, "lblSunSetD", 18, 6, false},
    };
    for (const DetailItem &item : items) {
        // The publication time is long and takes the whole row left of its caption.
        const bool wide = item.row == 0;
        const int top = detailRowTop(item.row);
        const int pairLeft = wide ? PanelLeft : (item.right ? RightPairLeft : PanelLeft);
        const int pairRight = item.right ? PanelRight : LeftPairRight;
        FormLabel *caption = makeLabel(this, QStringLiteral("Label1(%1)").arg(item.captionIndex), QRect(), 
                                       QString::fromUtf16(captions[item.captionIndex]), Cyan, tahoma(8.25, true));
        caption->setAlignment(Qt::AlignCenter);
        const int captionWidth = captionWidthTwips(caption);
        caption->setTwipsGeometry(pairRight - captionWidth, top, captionWidth, DetailRowHeight);
        Label1[item.captionIndex] = caption;
        FormLabel *value = makeLabel(this, QLatin1String(item.name),
                                     QRect(pairLeft, top, pairRight - captionWidth - pairLeft, DetailRowHeight), QString(),
                                     White, tahoma(9));
        value->setAlignment(Qt::AlignCenter);
        value->setShrinkToFit(true);
        this->*item.label = value;
    }
    Label1[13] = makeLabel(this, QStringLiteral("Label1(13)"), QRect(), QString::fromUtf16(captions[13]), Cyan,
                           tahoma(8.25, true));
    Label1[13]->setAlignment(Qt::AlignCenter);
    {
        const int width = captionWidthTwips(Label1[13]);
        Label1[13]->setTwipsGeometry(DividerLeft + DividerWidth / 2 - width / 2, TimeCaptionTop, width, TimeCaptionHeight);
    }

    Shape[1] = makeShape(this, QStringLiteral("Shape1"), QRect(240, 1100, 6255, 30), QColor(70, 70, 80), QColor(0, 0, 0, 0));
    Shape[3] = makeShape(this, QStringLiteral("Shape3"), QRect(285, 3660, 6165, 6810), Orange, QColor(0, 0, 0, 0));
    // Thin dividers between the pairs: two rows each, then the wind chill
    // row, then the sun pair. None crosses "وقت" or reaches the map.
    const std::pair<int, int> dividers[4] = {{detailRowTop(1), detailRowTop(3)},
                                             {detailRowTop(3), detailRowTop(5)},
                                             {detailRowTop(5), detailRowTop(5) + DetailRowHeight},
                                             {SunRowTop, SunRowTop + DetailRowHeight}};
    for (int s = 4; s <= 7; ++s) {
        const auto [top, bottom] = dividers[s - 4];
        Shape[s] = makeShape(this, QStringLiteral("Shape%1").arg(s), QRect(DividerLeft, top, DividerWidth, bottom - top),
                             QColor(70, 70, 80), QColor(0, 0, 0, 0));
    }

    ImageMAP = makeLabel(this, QStringLiteral("ImageMAP"), QRect(315, 3690, 6105, 6750), QString(), White, tahoma(8.25));
    ImageMAP->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ImageMAP->setPixmap(QPixmap(QStringLiteral(":/assets/default-map.jpg")));

    lblGoogle = makeLabel(this, QStringLiteral("lblGoogle"), QRect(315, 10470, 4300, 300), QStringLiteral("Google"),
                          LightGreen, tahoma(8.25, true));
    lblGoogle->setTextFormat(Qt::PlainText);
    lblGoogle->setShrinkToFit(true);
    // The wind box: its text centred, clear of the border on both sides.
    Shape[8] = makeShape(this, QStringLiteral("Shape8"), QRect(4680, 10455, 1760, 330), Orange, QColor(0, 0, 0, 0));
    lblWindDirc_Speed = makeLabel(this, QStringLiteral("lblWindDirc_Speed"), QRect(4695, 10470, 1730, 300), QString(),
                                  Orange, tahoma(9.75, true));
    lblWindDirc_Speed->setAlignment(Qt::AlignCenter);
    lblWindDirc_Speed->setShrinkToFit(true);

    // --- The compass rose over the map ----------------------------------------
    constexpr float cx = 3360, cy = 6960, radius = 1400;
    const auto diameter = [&](const char *name, double bearing) {
        const float dx = float(radius * qSin(qDegreesToRadians(bearing)));
        const float dy = float(-radius * qCos(qDegreesToRadians(bearing)));
        return makeLine(this, QLatin1String(name), cx + dx, cy + dy, cx - dx, cy - dy, Orange);
    };
    Line0_270 = diameter("Line0_270", 0);
    Line90_270 = diameter("Line90_270", 90);
    Line22_202 = diameter("Line22_202", 22.5);
    Line45_225 = diameter("Line45_225", 45);
    Line67_247 = diameter("Line67_247", 67.5);
    Line112_292 = diameter("Line112_292", 112.5);
    Line135_315 = diameter("Line135_315", 135);
    Line158_337 = diameter("Line158_337", 157.5);
    const QFont letters = tahoma(9.75, true);
    Label2 = makeLabel(this, QStringLiteral("Label2"), QRect(int(cx) - 150, int(cy - radius) - 330, 300, 300),
                       QStringLiteral("N"), White, letters, false);
    Label3 = makeLabel(this, QStringLiteral("Label3"), QRect(int(cx + radius) + 30, int(cy) - 150, 300, 300),
                       QStringLiteral("E"), White, letters, false);
    Label4 = makeLabel(this, QStringLiteral("Label4"), QRect(int(cx) - 150, int(cy + radius) + 30, 300, 300),
                       QStringLiteral("S"), White, letters, false);
    Label5 = makeLabel(this, QStringLiteral("Label5"), QRect(int(cx - radius) - 330, int(cy) - 150, 300, 300),
                       QStringLiteral("W"), White, letters, false);
    for (FormLabel *letter : {Label2, Label3, Label4, Label5})
        letter->setAlignment(Qt::AlignCenter);

    LineWind = makeLine(this, QStringLiteral("LineWind"), 0, 0, 0, 0, QColor(255, 40, 40), 3);
    LineWind->hide();

    // Row bands and boxes lie behind everything else.
    for (QFrame *shape : Shape2)
        shape->lower();
    for (QFrame *shape : Shape) {
        if (shape)
            shape->lower();
    }

    // --- Timers ---------------------------------------------------------------
    TimerFirstLoad = new FormTimer(100, this);
    TimerFirstLoad->setObjectName(QStringLiteral("TimerFirstLoad"));
    TimerWeather = new FormTimer(55000, this);
    TimerWeather->setObjectName(QStringLiteral("TimerWeather"));
    TimerW_lbl = new FormTimer(110, this);
    TimerW_lbl->setObjectName(QStringLiteral("TimerW_lbl"));
    TimerWind = new FormTimer(100, this);
    TimerWind->setObjectName(QStringLiteral("TimerWind"));
}
