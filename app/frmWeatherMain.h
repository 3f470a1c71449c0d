#pragma once

#include "app/boardwarnings.h"
#include "platform/datacontrol.h"
#include "platform/formcontrols.h"
#include "platform/services.h"
#include "platform/singleinstance.h"
#include "view/citydetail.h"
#include "view/citygrid.h"
#include "view/comingdays.h"
#include "view/hourscurve.h"
#include "view/mapplace.h"
#include "view/tickerstrip.h"
#include "view/warningsign.h"
#include "view/windcompasswidget.h"

#include <QWidget>

class QComboBox;
class DocumentLoader;

// The board's one window. It composes the parts, each of which owns its
// controls and their state: the ticker strip, the city grid, the detail
// panel, the wind compass and the coming days (view/), the feed reader
// (feed/), the store and its sorted views (store/), the browser launcher
// (links/) and the warnings with what is told of them (BoardWarnings). The
// window holds what the parts share (the two data sources, the picked city,
// the first-load flag), its own few controls (the expand and collapse
// buttons, the sort list, the maker's link), the start-up and refresh
// timers, and the handlers that tie it all together. Every control keeps the name it is
// known by, here as an accessor that hands out the part's control.
class frmWeatherMain : public QWidget
{
    Q_OBJECT
public:
    static constexpr int GridRows = CityGrid::Rows;
    static constexpr int CollapsedWidth = 7590;
    static constexpr int CollapsedHeight = 885;
    static constexpr int ExpandedWidth = 14630;
    static constexpr int ExpandedHeight = 11350;
    // The span of the expanded board's controls, from the window's left to
    // as far right of the grid as the panel lies left of the window's edge.
    static constexpr int BoardWidthTwips = 14565;
    static constexpr int FrameWeatherWidth = TickerStrip::WidthTwips;
    // The folder of the city map pictures, inside the application folder.
    static constexpr char16_t PictureFolder[] = u"wtIMG/";

    explicit frmWeatherMain(BoardServices services, QWidget *parent = nullptr);
    ~frmWeatherMain() override;

    // Start-up. False when the board must end at once (another copy runs, or
    // the store is missing and cannot be made); the unload steps then do not
    // run and nothing of the store is touched.
    bool Form_Load();
    // Shutdown: closes the store and makes the one-time reset. Runs once.
    void Form_Unload();
    bool isUnloaded() const { return m_unloaded; }
    // Whether the window was asked to close (by the user or a signal).
    bool isCloseRequested() const { return m_closeRequested; }
    // Whether load ended the board with one of its fatal messages.
    bool endedWithError() const { return m_fatal; }

    // --- Handlers -----------------------------------------------------------
    void TimerFirstLoad_Timer();
    void TimerWeather_Timer();
    void TimerW_lbl_Timer() { m_ticker->TimerW_lbl_Timer(); }
    void PictureShowDetail_Click();
    void PictureHideDetail_Click();
    void ComboSort_Click();
    void lblCity_Click(int index);
    void TimerWind_Timer() { m_compass->TimerWind_Timer(); }
    void lblGoogle_Click();
    void lblQIVurl_Click();

    // --- Procedures ---------------------------------------------------------
    QString Condition_Code(float code) const;
    QString WindDirectionName(float degrees);
    void UpdateCityFromFeed();
    void FillCityGrid();
    void ShowCityDetail();
    void PointWindArrow() { m_compass->PointWindArrow(); }

    // --- Warnings and the data's age (expandedboard.cpp) ----------------------
    // Expands the board and shows this city in the panel.
    void showCity(const QString &cityCode);
    // The strip's sign, the grid's marks, the expand button and the strip's
    // word on the data's age, as the store and the clock stand now: after
    // each refresh and fill of the grid, and at every tick of the refresh
    // timer, as warnings end and data ages.
    void showWarningsAndAge();
    // Why the board is offline, as the offline notice's tooltip says it.
    static QString offlineCauseText(OfflineCause cause);
    WarningSign *stripWarningSign() const { return m_stripSign; }

    // --- The parts ----------------------------------------------------------
    TickerStrip *tickerStrip() const { return m_ticker; }
    CityGrid *cityGrid() const { return m_grid; }
    CityDetail *cityDetail() const { return m_detail; }
    WindCompass *windCompass() const { return m_compass; }
    ComingDays *comingDays() const { return m_days; }
    HoursCurve *comingHours() const { return m_hours; }
    MapPlace *mapPlace() const { return m_mapPlace; }
    BoardWarnings *boardWarnings() const { return m_warnings; }

    // --- Controls, by the names they are known by ---------------------------
    QFrame *FrameWeather() const { return m_ticker; }
    FormLabel *lblWeather() const { return m_ticker->lblWeather(); }
    FormLabel *PictureShowDetail() const { return m_pictureShowDetail; }
    FormLabel *PictureHideDetail() const { return m_pictureHideDetail; }
    FormLabel *lblQIVurl() const { return m_lblQIVurl; }
    QComboBox *ComboSort() const { return m_comboSort; }
    FormLine *Line1() const { return m_line1; }

    FormLabel *lblCity(int i) const { return m_grid->lblCity(i); }
    FormLabel *lblCondition(int i) const { return m_grid->lblCondition(i); }
    FormLabel *lblTemp(int i) const { return m_grid->lblTemp(i); }
    FormLabel *lblVisibility(int i) const { return m_grid->lblVisibility(i); }
    FormLabel *lblWind_Dirct(int i) const { return m_grid->lblWind_Dirct(i); }
    FormLabel *lblWind_Speed(int i) const { return m_grid->lblWind_Speed(i); }
    // Captions: 0 to 5 head the grid, 14 the sort list, the rest the panel.
    FormLabel *Label1(int i) const;
    // Row bands 0 to 23 of the grid; 24 is the box of the panel.
    QFrame *Shape2(int i) const { return i < GridRows ? m_grid->band(i) : m_detail->box(); }

    FormLabel *lblCityD() const { return m_detail->lblCityD(); }
    FormLabel *lblPdateD() const { return m_detail->lblPdateD(); }
    FormLabel *lblConditionD() const { return m_detail->lblConditionD(); }
    FormLabel *lblTempD() const { return m_detail->lblTempD(); }
    FormLabel *lblTemp_LowD() const { return m_detail->lblTemp_LowD(); }
    FormLabel *lblTemp_HighD() const { return m_detail->lblTemp_HighD(); }
    FormLabel *lblHumidityD() const { return m_detail->lblHumidityD(); }
    FormLabel *lblVisibilityD() const { return m_detail->lblVisibilityD(); }
    FormLabel *lblWind_DirctD() const { return m_detail->lblWind_DirctD(); }
    FormLabel *lblWind_SpeedD() const { return m_detail->lblWind_SpeedD(); }
    FormLabel *lblWind_ShillD() const { return m_detail->lblWind_ShillD(); }
    FormLabel *lblSunRiseD() const { return m_detail->lblSunRiseD(); }
    FormLabel *lblSunSetD() const { return m_detail->lblSunSetD(); }
    FormLabel *ImageMAP() const { return m_detail->ImageMAP(); }
    FormLabel *lblGoogle() const { return m_detail->lblGoogle(); }
    FormLine *LineWind() const { return m_compass->LineWind(); }
    FormLabel *lblWindDirc_Speed() const { return m_compass->lblWindDirc_Speed(); }

    FormTimer *TimerFirstLoad() const { return m_timerFirstLoad; }
    FormTimer *TimerWeather() const { return m_timerWeather; }
    FormTimer *TimerW_lbl() const { return m_ticker->TimerW_lbl(); }
    FormTimer *TimerWind() const { return m_compass->TimerWind(); }

    DataControl &DataWt() { return m_dataWt; }
    DataControl &Datawt2() { return m_datawt2; }

    // --- Shared state -------------------------------------------------------
    QString AppFolder() const { return m_appFolder; } // always ends in a separator
    bool FirstLoad() const { return m_firstLoad; }
    void setFirstLoad(bool firstLoad) { m_firstLoad = firstLoad; }
    // Whether a refresh has reached the end of its walk since load; until
    // one has, every tick of TimerWeather tries again.
    bool refreshReachedEnd() const { return m_refreshReachedEnd; }
    QString CurrentFeedUrl() const { return m_currentFeedUrl; }
    void setCurrentFeedUrl(const QString &url) { m_currentFeedUrl = url; }
    QString TickerText() const { return m_ticker->tickerText(); }
    void setTickerText(const QString &text) { m_ticker->setTickerText(text); }
    float WindDirIndex() const { return m_compass->windDirIndex(); }
    void setWindDirIndex(float index) { m_compass->setWindDirIndex(index); }
    QString WindDirCode() const { return m_compass->windDirCode(); }
    void setWindDirCode(const QString &code) { m_compass->setWindDirCode(code); }
    QString SelectedCityCode() const { return m_selectedCityCode; }
    void setSelectedCityCode(const QString &code) { m_selectedCityCode = code; }

    // The window's outer size (frame included) in twips, as last set.
    QSize outerSizeTwips() const { return m_outerSize; }
    void setOuterSizeTwips(int width, int height);

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void buildControls();
    void mirrorForReading();
    void connectHandlers();
    void applyOuterSize();
    void pauseWhileUnseen();
    void CreateWeatherStore();
    void gatherMapPictures();
    bool yieldToEvents();

    BoardServices m_services;
    SingleInstanceLock m_instanceLock;
    DocumentLoader *m_loader = nullptr;

    TickerStrip *m_ticker = nullptr;
    CityGrid *m_grid = nullptr;
    CityDetail *m_detail = nullptr;
    WindCompass *m_compass = nullptr;
    ComingDays *m_days = nullptr;
    HoursCurve *m_hours = nullptr;
    MapPlace *m_mapPlace = nullptr;
    BoardWarnings *m_warnings = nullptr;
    FormLabel *m_pictureShowDetail = nullptr;
    FormLabel *m_pictureHideDetail = nullptr;
    FormLabel *m_lblQIVurl = nullptr;
    FormLabel *m_sortCaption = nullptr; // Label1(14)
    QComboBox *m_comboSort = nullptr;
    FormLine *m_line1 = nullptr;
    WarningSign *m_stripSign = nullptr;
    FormTimer *m_timerFirstLoad = nullptr;
    FormTimer *m_timerWeather = nullptr;
    DataControl m_dataWt;
    DataControl m_datawt2;
    // Reads what the window marks (warnings, the data's age) without moving
    // the other two, which a refresh or the panel may be standing on.
    DataControl m_dataMarks;

    QString m_appFolder;
    bool m_firstLoad = false;
    bool m_refreshReachedEnd = false;
    QString m_currentFeedUrl;
    QString m_selectedCityCode;

    QSize m_outerSize;
    bool m_loaded = false;
    bool m_unloaded = false;
    bool m_closeRequested = false;
    bool m_fatal = false;
};
