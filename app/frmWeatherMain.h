#pragma once

#include "platform/datacontrol.h"
#include "platform/formcontrols.h"
#include "platform/services.h"
#include "platform/singleinstance.h"

#include <QWidget>

#include <array>
#include <memory>

class QComboBox;
class DocumentLoader;

// The board's one window: its controls, the state its handlers share, and
// the handlers themselves. The logic that can stand alone (ticker steps, the
// compass table, condition and wind words, feed reading, number text, store
// rules) lives in small units; the handlers here apply it to the controls.
class frmWeatherMain : public QWidget
{
    Q_OBJECT
public:
    static constexpr int GridRows = 24;
    static constexpr int CollapsedWidth = 7590;
    static constexpr int CollapsedHeight = 885;
    static constexpr int ExpandedWidth = 14630;
    static constexpr int ExpandedHeight = 11350;
    static constexpr int FrameWeatherWidth = 7100;
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
    void TimerW_lbl_Timer();
    void PictureShowDetail_Click();
    void PictureHideDetail_Click();
    void ComboSort_Click();
    void lblCity_Click(int index);
    void TimerWind_Timer();
    void lblGoogle_Click();
    void lblQIVurl_Click();

    // --- Procedures ---------------------------------------------------------
    QString Condition_Code(float code) const;
    QString WindDirectionName(float degrees);
    void UpdateCityFromFeed();
    void FillCityGrid();
    void ShowCityDetail();
    void PointWindArrow();

    // --- Controls -----------------------------------------------------------
    QFrame *FrameWeather = nullptr;
    FormLabel *lblWeather = nullptr;
    FormLabel *PictureShowDetail = nullptr;
    FormLabel *PictureHideDetail = nullptr;
    FormLabel *lblQIVurl = nullptr;
    QComboBox *ComboSort = nullptr;
    FormLine *Line1 = nullptr;

    std::array<FormLabel *, GridRows> lblCity{};
    std::array<FormLabel *, GridRows> lblCondition{};
    std::array<FormLabel *, GridRows> lblTemp{};
    std::array<FormLabel *, GridRows> lblVisibility{};
    std::array<FormLabel *, GridRows> lblWind_Dirct{};
    std::array<FormLabel *, GridRows> lblWind_Speed{};
    std::array<FormLabel *, 20> Label1{};
    std::array<QFrame *, 25> Shape2{};
    std::array<QFrame *, 9> Shape{}; // Shape1, Shape3 to Shape8 (index = number; 0 and 2 unused)

    FormLabel *lblCityD = nullptr;
    FormLabel *lblPdateD = nullptr;
    FormLabel *lblConditionD = nullptr;
    FormLabel *lblTempD = nullptr;
    FormLabel *lblTemp_LowD = nullptr;
    FormLabel *lblTemp_HighD = nullptr;
    FormLabel *lblHumidityD = nullptr;
    FormLabel *lblVisibilityD = nullptr;
    FormLabel *lblWind_DirctD = nullptr;
    FormLabel *lblWind_SpeedD = nullptr;
    FormLabel *lblWind_ShillD = nullptr;
    FormLabel *lblSunRiseD = nullptr;
    FormLabel *lblSunSetD = nullptr;
    FormLabel *ImageMAP = nullptr;
    FormLabel *lblGoogle = nullptr;

    FormLabel *Label2 = nullptr; // N
    FormLabel *Label3 = nullptr; // E
    FormLabel *Label4 = nullptr; // S
    FormLabel *Label5 = nullptr; // W
    FormLine *Line0_270 = nullptr;
    FormLine *Line90_270 = nullptr;
    FormLine *Line22_202 = nullptr;
    FormLine *Line45_225 = nullptr;
    FormLine *Line67_247 = nullptr;
    FormLine *Line112_292 = nullptr;
    FormLine *Line135_315 = nullptr;
    FormLine *Line158_337 = nullptr;
    FormLine *LineWind = nullptr;
    FormLabel *lblWindDirc_Speed = nullptr;

    FormTimer *TimerFirstLoad = nullptr;
    FormTimer *TimerWeather = nullptr;
    FormTimer *TimerW_lbl = nullptr;
    FormTimer *TimerWind = nullptr;

    DataControl DataWt;
    DataControl Datawt2;

    // --- Shared state -------------------------------------------------------
    QString AppFolder; // always ends in a separator
    bool FirstLoad = false;
    QString CurrentFeedUrl;
    QString TickerText;
    qint32 TickerLength = 5;
    float TickerStart = 1;
    float WindDirIndex = 0;
    QString WindDirCode;
    QString SelectedCityCode;
    float ArrowX1 = 0, ArrowY1 = 0, ArrowX2 = 0, ArrowY2 = 0;

    // The window's outer size (frame included) in twips, as last set.
    QSize outerSizeTwips() const { return m_outerSize; }
    void setOuterSizeTwips(int width, int height);

    BoardServices &services() { return m_services; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildControls();
    void connectHandlers();
    void applyOuterSize();
    void CreateWeatherStore();
    void gatherMapPictures();
    void yieldToEvents();

    BoardServices m_services;
    SingleInstanceLock m_instanceLock;
    DocumentLoader *m_loader = nullptr;
    QSize m_outerSize;
    bool m_loaded = false;
    bool m_unloaded = false;
    bool m_closeRequested = false;
    bool m_fatal = false;
};
