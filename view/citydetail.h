#pragma once

#include "platform/formcontrols.h"

#include <QWidget>

#include <array>

class OwnCityToggle;
class Recordset;

// The detail panel of the expanded board: one city's thirteen values under
// their captions, its map picture ImageMAP and the link lblGoogle to its
// online map, and beside the city's name the toggle "مدينتي". The wind
// compass is laid over the map by the window.
class CityDetail : public QWidget
{
    Q_OBJECT
public:
    // Where the window places the panel, in its twips.
    static constexpr int LeftTwips = 240;
    static constexpr int TopTwips = 600;
    static constexpr int WidthTwips = 6495 - LeftTwips;
    // The map picture, in the window's twips: the compass sweeps over it.
    static constexpr QRect MapTwips{315, 3690, 6105, 6750};

    explicit CityDetail(QWidget *parent = nullptr);

    // The wind speed of a row as the panel shows it and the arrow paces
    // itself by: a missing speed counts as calm.
    static float windSpeedOf(const Recordset &row);

    FormLabel *lblCityD() const { return m_lblCityD; }
    FormLabel *lblPdateD() const { return m_values[PdateD]; }
    FormLabel *lblConditionD() const { return m_values[ConditionD]; }
    FormLabel *lblTempD() const { return m_values[TempD]; }
    FormLabel *lblTemp_LowD() const { return m_values[Temp_LowD]; }
    FormLabel *lblTemp_HighD() const { return m_values[Temp_HighD]; }
    FormLabel *lblHumidityD() const { return m_values[HumidityD]; }
    FormLabel *lblVisibilityD() const { return m_values[VisibilityD]; }
    FormLabel *lblWind_DirctD() const { return m_values[Wind_DirctD]; }
    FormLabel *lblWind_SpeedD() const { return m_values[Wind_SpeedD]; }
    FormLabel *lblWind_ShillD() const { return m_values[Wind_ShillD]; }
    FormLabel *lblSunRiseD() const { return m_values[SunRiseD]; }
    FormLabel *lblSunSetD() const { return m_values[SunSetD]; }
    FormLabel *ImageMAP() const { return m_imageMap; }
    FormLabel *lblGoogle() const { return m_lblGoogle; }
    // The warning of the city shown ("تنبيه: عاصفة ترابية اليوم حتى 9
    // مساءً"), beside its wind chill; hidden while there is none.
    FormLabel *lblWarningD() const { return m_lblWarningD; }
    // The national centre's alerts for the city, ahead of the warnings
    // ("المركز الوطني للأرصاد: ... اليوم حتى 9 مساءً"), in the strongest
    // alert's colour; hidden while there is none. While it shows, it takes
    // the warnings' row, and the warnings go under it.
    FormLabel *lblAlertD() const { return m_lblAlertD; }
    void showWarning(const QString &line) { showWarning(QString(), QColor(), line); }
    void showWarning(const QString &alertLine, const QColor &alertColour, const QString &line);
    // "مدينتي" beside the name, for the city shown; hidden while none is.
    OwnCityToggle *ownCity() const { return m_ownCity; }
    // Shows whether the city shown is the person's own; unlike a click, it
    // says nothing (ownCityToggled is not sent).
    void setOwnCity(bool own);
    // The fixed captions Label1(6) to Label1(19), except 14 (not the panel's).
    FormLabel *caption(int index) const { return m_captions[index]; }
    // The box around the panel's values, Shape2(24).
    QFrame *box() const { return m_box; }

    // Shows the current row of `rows`: every value (a column without one
    // leaves its label empty, a speed without one counts as calm), the map
    // picture found in pictureFolder under the city's code (none: the map
    // is empty; one that cannot be read: the previous picture stays) and the
    // link to the online map (hidden when the row has no map address). With
    // no current row every value stays empty. On a screen of more than one
    // device pixel to the pixel, the map's picture drawn at twice the size,
    // <code>@2x.tmg beside <code>.tmg, is shown where there is one.
    void showRow(const Recordset &rows, const QString &pictureFolder);

Q_SIGNALS:
    // The panel shows this city now (empty: no city).
    void cityShown(const QString &name);
    // The person switched "مدينتي" for the city shown, by its code.
    void ownCityToggled(const QString &cityCode, bool own);

private:
    enum Value {
        PdateD,
        ConditionD,
        VisibilityD,
        TempD,
        HumidityD,
        Temp_LowD,
        Temp_HighD,
        Wind_DirctD,
        Wind_SpeedD,
        Wind_ShillD,
        SunRiseD,
        SunSetD,
        ValueCount
    };

    FormLabel *m_lblCityD = nullptr;
    std::array<FormLabel *, ValueCount> m_values{};
    std::array<FormLabel *, 20> m_captions{};
    FormLabel *m_imageMap = nullptr;
    FormLabel *m_lblGoogle = nullptr;
    FormLabel *m_lblWarningD = nullptr;
    FormLabel *m_lblAlertD = nullptr;
    QRect m_warningRow; // twips
    QRect m_warningBelow; // twips, the warnings' place while the alerts take their row
    OwnCityToggle *m_ownCity = nullptr;
    QString m_cityCode; // of the city shown
    // The map picture shown, as read: its file, when it last changed and the
    // density it was read for. A refresh shows the same city again, and
    // reading the same picture again would hold the window for nothing.
    QString m_pictureRead;
    QFrame *m_box = nullptr;
};
