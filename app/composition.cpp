// The window's composition: the parts in their places, and the few controls
// that belong to the window itself. Behaviour lives in the handlers.
#include "app/frmWeatherMain.h"

#include "platform/boardlanguage.h"
#include "view/boardaccessibility.h"
#include "view/warningsign.h"
#include "view/boardkeyboard.h"
#include "view/controlkit.h"
#include "view/owncitytoggle.h"

#include <QAbstractItemView>
#include <QComboBox>

using namespace ControlKit;

void frmWeatherMain::buildControls()
{
    setObjectName(QStringLiteral("frmWeatherMain"));
    setWindowTitle(tr("QIV Weather 6.1"));
    setWindowIcon(QIcon(QStringLiteral(":/assets/window-icon.png")));
    setAutoFillBackground(true);
    makeBlack(this);
    installBoardAccessibility();
    hideDecorationsFromScreenReaders(this);

    // --- The strip: always visible, even collapsed --------------------------
    m_ticker = new TickerStrip(this);
    m_pictureShowDetail = makeLabel(this, QStringLiteral("PictureShowDetail"), QRect(7080, 0, 390, 390), QString(),
                                    White, tahoma(8.25));
    m_pictureShowDetail->setPixmap(
        QPixmap::fromImage(readPicture(QStringLiteral(":/assets/show-detail.gif"), devicePixelRatioF())));
    m_pictureShowDetail->setAlignment(Qt::AlignCenter);
    m_pictureShowDetail->setToolTip(tr("عرض التفاصيل"));
    // Screen readers name the two buttons after what they do.
    m_pictureShowDetail->setAccessibleRole(QAccessible::Button);
    m_pictureShowDetail->setAccessibleName(tr("عرض التفاصيل"));
    m_pictureHideDetail = makeLabel(this, QStringLiteral("PictureHideDetail"), QRect(7080, 0, 390, 390), QString(),
                                    White, tahoma(8.25));
    m_pictureHideDetail->setPixmap(
        QPixmap::fromImage(readPicture(QStringLiteral(":/assets/hide-detail.gif"), devicePixelRatioF())));
    m_pictureHideDetail->setAlignment(Qt::AlignCenter);
    m_pictureHideDetail->setAccessibleRole(QAccessible::Button);
    m_pictureHideDetail->setAccessibleName(tr("إخفاء التفاصيل"));

    // The warning sign at the strip's end, over the ticker's left edge, while
    // a warning is in force: a click or Enter shows the city it is for.
    m_stripSign = new WarningSign(this);
    m_stripSign->setObjectName(QStringLiteral("StripWarningSign"));
    m_stripSign->setGeometry(twipsRect(30, 45, 300, 300));
    m_stripSign->setFocusPolicy(Qt::TabFocus);
    // Opaque: the ticker's text passes under it rather than through it.
    m_stripSign->setAttribute(Qt::WA_NoSystemBackground, false);
    m_stripSign->setAutoFillBackground(true);
    QPalette black = m_stripSign->palette();
    black.setColor(QPalette::Window, Qt::black);
    m_stripSign->setPalette(black);

    // --- Top band of the expanded window ------------------------------------
    m_lblQIVurl = makeLabel(this, QStringLiteral("lblQIVurl"), QRect(7700, 90, 3250, 300),
                            QStringLiteral("https://rorizedivo.example.org"), White, sansSerif(9.75, true), false);
    m_lblQIVurl->setAccessibleRole(QAccessible::Link);
    m_lblQIVurl->setAccessibleName(tr("موقع صانع البرنامج"));
    m_lblQIVurl->setAccessibleDescription(m_lblQIVurl->text());
    m_sortCaption = makeLabel(this, QStringLiteral("Label1(14)"), QRect(13300, 90, 1150, 300), tr("رتب حسب"), White,
                              tahoma(9.75, true));
    m_comboSort = new QComboBox(this);
    m_comboSort->setObjectName(QStringLiteral("ComboSort"));
    m_comboSort->setGeometry(twipsRect(11000, 60, 2200, 345));
    m_comboSort->setFont(tahoma(9));
    const Qt::LayoutDirection reading = boardReadsLeftToRight() ? Qt::LeftToRight : Qt::RightToLeft;
    m_comboSort->setLayoutDirection(reading);
    // The open list is a window of its own and would take the application's
    // direction: it reads as the closed box does.
    m_comboSort->view()->setLayoutDirection(reading);
    // Screen readers name the list by its caption.
    m_sortCaption->setBuddy(m_comboSort);
    m_line1 = makeLine(this, QStringLiteral("Line1"), 0, 510, ExpandedWidth, 510, White);

    // --- The parts of the expanded window -----------------------------------
    m_grid = new CityGrid(this);
    m_detail = new CityDetail(this);
    // The compass lies over the panel's map, and the arrow sweeps over it
    // only while the panel is in view.
    m_compass = new WindCompass(QRectF(CityDetail::MapTwips), this);
    m_compass->setSweepAllowed([this] { return m_pictureShowDetail->isHidden(); });
    // While the ticker scrolls, the arrow moves on its ticks: one frame and
    // one wake-up for both.
    m_compass->followFrames(m_ticker->TimerW_lbl());
    // The coming days or hours take the map's place on request, and the
    // arrow stops while they do.
    m_days = new ComingDays(m_detail);
    m_hours = new HoursCurve(m_detail);
    m_mapPlace = new MapPlace(m_detail, m_days, m_hours);
    connect(m_mapPlace, &MapPlace::mapCoveredChanged, m_compass, &WindCompass::setCovered);
    // The keyboard stands in the grid on the city the panel shows.
    connect(m_detail, &CityDetail::cityShown, m_grid, &CityGrid::setCurrentCity);
    new BoardKeyboard(m_pictureShowDetail, m_pictureHideDetail, {m_stripSign},
                      {m_comboSort, m_grid, m_detail->ownCity(), lblGoogle(), m_mapPlace->daysLink(),
                       m_mapPlace->hoursLink(), m_hours, m_lblQIVurl},
                      this);
    // The warnings, and what the person hears of them.
    m_warnings = new BoardWarnings(m_services.notices, m_services.now, this);

    mirrorForReading();

    // --- Timers of the window -------------------------------------------------
    m_timerFirstLoad = new FormTimer(100, this);
    m_timerFirstLoad->setObjectName(QStringLiteral("TimerFirstLoad"));
    m_timerWeather = new FormTimer(55000, this);
    m_timerWeather->setObjectName(QStringLiteral("TimerWeather"));
}

void frmWeatherMain::mirrorForReading()
{
    if (!boardReadsLeftToRight())
        return;
    // English reads left to right: the board is mirrored. The strip stays at
    // the window's left, which the collapsed window keeps, and its button
    // and sign change ends; the top band beside it is mirrored in its own
    // span, and the grid and the panel across the whole board, the grid
    // first. Each part has mirrored its own controls.
    const int stripEnd = m_pictureShowDetail->leftTwips() + m_pictureShowDetail->widthTwips();
    for (QWidget *control :
         std::initializer_list<QWidget *>{m_ticker, m_pictureShowDetail, m_pictureHideDetail, m_stripSign})
        mirrorAcross(control, stripEnd);
    for (QWidget *control : std::initializer_list<QWidget *>{m_lblQIVurl, m_comboSort, m_sortCaption})
        mirrorAcross(control, CollapsedWidth + BoardWidthTwips);
    mirrorAcross(m_grid, BoardWidthTwips);
    mirrorAcross(m_detail, BoardWidthTwips);
    // The compass lies over the map and goes where the panel went; its rose
    // stays as the map is drawn, north up and east to the right.
    m_compass->move(m_detail->x() - twipsToPixels(CityDetail::LeftTwips), m_compass->y());
}

FormLabel *frmWeatherMain::Label1(int i) const
{
    if (i >= 0 && i < CityGrid::Columns)
        return m_grid->header(i);
    if (i == 14)
        return m_sortCaption;
    return i > 0 && i < 20 ? m_detail->caption(i) : nullptr;
}
