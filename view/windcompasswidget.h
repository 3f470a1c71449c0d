#pragma once

#include "platform/formcontrols.h"
#include "view/windcompass.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

// The wind compass laid over the map picture: the compass rose (the lines
// Line0_270 to Line158_337 and the letters Label2 to Label5), the wind arrow
// LineWind that sweeps over the map, its timer TimerWind, and the box
// lblWindDirc_Speed that names the wind. It lies at the window's top-left
// corner, so its twips are the window's, the space of the sector table; it
// takes no clicks, which go to what lies under it.
class WindCompass : public QWidget
{
    Q_OBJECT
public:
    // map: the picture the arrow sweeps over, in the window's twips.
    explicit WindCompass(const QRectF &map, QWidget *parent = nullptr);

    FormLine *LineWind() const { return m_lineWind; }
    FormLabel *lblWindDirc_Speed() const { return m_lblWindDirc_Speed; }
    FormTimer *TimerWind() const { return m_timer; }

    // The sector of the shown wind, 1 (north) to 16 clockwise, 0 for none,
    // and its abbreviation.
    float windDirIndex() const { return m_windDirIndex; }
    void setWindDirIndex(float index) { m_windDirIndex = index; }
    QString windDirCode() const { return m_windDirCode; }
    void setWindDirCode(const QString &code) { m_windDirCode = code; }

    // Whether the arrow may go on sweeping: a tick that finds it may not
    // stops the arrow where it stands.
    void setSweepAllowed(std::function<bool()> allowed) { m_sweepAllowed = std::move(allowed); }

    // Shows a city's wind: the arrow starts again from the start segment of
    // the sector (none: it stays where it is and stops at its first tick) at
    // a pace set by the speed, and the box names direction and speed.
    void showWind(std::optional<float> sector, float speed);

    // Something else takes the map's place (the coming days): the rose and
    // the arrow go, and the arrow's timer stops, while the box naming the
    // wind stays. Uncovered, the arrow starts again from its start segment.
    // A wind shown meanwhile is taken up but not swept.
    void setCovered(bool covered);
    bool isCovered() const { return m_covered; }

    // Puts the arrow at the start segment of the current sector.
    void PointWindArrow();
    // One step of the sweep: one tick of TimerWind.
    void TimerWind_Timer();

    // While the board cannot be seen no tick wakes it; the arrow goes on
    // from where it stood.
    void setPaused(bool paused);

    // What a screen reader is told the compass shows: the direction of the
    // shown wind and its speed in words, "رياح شمالية شرقية، 14 كيلومتر في الساعة".
    QString spokenText() const;

    // Lets the arrow move on the ticks of another animation of the board
    // (the ticker), for as long as that one runs: on each of its ticks the
    // arrow takes the steps its own timer would have taken since its last
    // one, so both are drawn in one go and only one timer wakes the board.
    // TimerWind keeps its interval and state; its own ticks just wait.
    void followFrames(FormTimer *frames);

private:
    void readBack();
    void applySuspension();
    void catchUp();

    QRectF m_map;
    FormLine *m_lineWind = nullptr;
    FormLabel *m_lblWindDirc_Speed = nullptr;
    FormTimer *m_timer = nullptr;
    std::function<bool()> m_sweepAllowed;
    QPointer<FormTimer> m_frames;
    bool m_paused = false;
    bool m_covered = false;
    QElapsedTimer m_clock;
    qint64 m_lastStep = 0; // when the arrow last stepped, on m_clock
    float m_windDirIndex = 0;
    QString m_windDirCode;
    float m_shownSpeed = 0;
    ArrowSegment m_arrow{0, 0, 0, 0}; // ArrowX1, ArrowY1, ArrowX2, ArrowY2
};
