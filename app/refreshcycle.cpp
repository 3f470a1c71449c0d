// The refresh cycle: every row of the store brought up to date from its
// city's feed, at minutes 5, 18 and 28 and once right after start.
#include "app/frmWeatherMain.h"
#include "app/refreshlog.h"

#include "feed/conditionwords.h"
#include "feed/documentloader.h"
#include "feed/feedreading.h"
#include "feed/updatecityfromfeed.h"
#include "feed/winddirection.h"
#include "store/weatherstore.h"
#include "view/celltext.h"

namespace {

QString offlineText()
{
    return frmWeatherMain::tr("لايوجد اتصال بالسيرفر.. تأكد من اتصال الجهاز بالأنترنت");
}
QString updatingText()
{
    return frmWeatherMain::tr("جاري تحديث بيانات الطقس .. نرجو الإنتظار");
}
QString supplication()
{
    return frmWeatherMain::tr("  اللهم اسقنا غيثاً مغيثاً مريئاً نافعاً غير ضار ،عاجلاً غير آجل اللهم اسق عبادك وبهائمك ، "
                              "وانشر رحمتك وأحي بلدك الميت  ");
}

// The walk leaves after the row of this index, counted from 0: at most 51
// rows are refreshed in one run.
constexpr int MaximumRowIndex = 50;

// Whether the board has said that it is offline since it last was not; said
// once, not at every tick that finds it so.
bool toldOffline = false;

// The feed service's word during a walk. Each check asks the service over
// loopback, a round trip that cost as much as the feeds themselves when it
// came before every city. A walk of quick feeds lasts well under a second:
// within a walk, a word younger than this holds for the next city, so such a
// walk costs a check or two. A walk whose feeds take their time still asks
// before each city that comes a second or more after the last word, and
// stops touching rows once the service is gone or has nothing to serve.
constexpr qint64 ServiceWordHoldsMs = 1000;
QDateTime lastServiceWord; // valid only while a walk runs

// Marks the walk's span: the word its check gave starts it, the end of the
// walk (or the window's) forgets it.
struct WalkOfRows
{
    explicit WalkOfRows(const QDateTime &checked) { lastServiceWord = checked; }
    ~WalkOfRows() { lastServiceWord = QDateTime(); }
    WalkOfRows(const WalkOfRows &) = delete;
    WalkOfRows &operator=(const WalkOfRows &) = delete;
};

} // namespace

Q_LOGGING_CATEGORY(lcRefresh, "rorizedivo.refresh", QtInfoMsg)

void frmWeatherMain::TimerFirstLoad_Timer()
{
    m_timerFirstLoad->setEnabled(false);
    TimerWeather_Timer();
    m_firstLoad = false;
}

void frmWeatherMain::TimerWeather_Timer()
{
    if (m_unloaded)
        return;
    showWarningsAndAge();

    // 1. The minute gate. The first load passes at any minute, and so does
    // every tick until a refresh has reached the end of its walk: a board
    // started before the network was up fills itself at the next tick, not
    // at the next gate minute up to 37 minutes later.
    const int minute = m_services.now().time().minute();
    if (!m_firstLoad && m_refreshReachedEnd && minute != 5 && minute != 18 && minute != 28)
        return;

    // 2. Offline: say so, and why, and try again at the next tick. Rows kept
    // from before say how old they are.
    const auto sayOffline = [this](OfflineCause why) {
        if (!std::exchange(toldOffline, true))
            qCInfo(lcRefresh, "offline: the refresh waits, the rows stay as they are");
        // The ticker, once it runs, takes the label back within a tick; before,
        // the age follows the notice.
        const QString age = m_ticker->ageNote();
        lblWeather()->setText(age.isEmpty() ? offlineText() : offlineText() + QStringLiteral("   ....  ") + age);
        const QString cause = offlineCauseText(why);
        lblWeather()->setToolTip(cause);
        m_ticker->setAccessibleDescription(cause);
    };
    if (!m_services.isOnline()) {
        sayOffline(m_services.offlineCause ? m_services.offlineCause() : OfflineCause::None);
        return;
    }
    toldOffline = false;
    lblWeather()->setToolTip(QString());
    m_ticker->setAccessibleDescription(QCoreApplication::translate("TickerStrip", "نشرة الطقس"));
    if (m_unloaded)
        return; // the window closed while the check waited for the feed service
    const WalkOfRows walk(m_services.now());

    // 3. Nothing may tick into the texts being rebuilt, and no tick may start
    // a second refresh while this one waits for a feed.
    m_ticker->setTickerText(QString());
    TimerW_lbl()->setEnabled(false);
    lblWeather()->setText(updatingText());
    m_ticker->resetTicker();
    lblWeather()->setEnabled(false);
    m_timerWeather->setEnabled(false);

    // 4, 5. Walk the table.
    m_dataWt.refresh();
    Recordset &rows = m_dataWt.recordset();
    rows.moveLast();
    const float count = float(rows.recordCount());
    rows.moveFirst();
    qint16 i = 0;
    while (!rows.isEof()) {
        // A row without an address is fetched with an empty one and ends
        // cleared: it never receives the previous city's data.
        m_currentFeedUrl = rows.value(QStringLiteral("rs_url")).toText();
        UpdateCityFromFeed();
        if (m_unloaded)
            return;
        // Somebody the board does not trust holds the feed port, or who does
        // can't be told: nothing of theirs was read, and they are asked for
        // nothing more. The walk ends as offline, as a check that finds them
        // before it does; the rows it has not reached stay as they are, and
        // every tick tries again until a walk reaches its end.
        if (const OfflineCause refused = m_loader->listenerRefusal(); refused != OfflineCause::None) {
            qCWarning(lcRefresh, "the refresh stops at row %d of %d: %s", int(i) + 1, int(count),
                      qPrintable(m_loader->lastFailure()));
            m_ticker->appendTickerText(QStringLiteral(" ... ") + supplication());
            lblWeather()->setEnabled(true);
            m_timerWeather->setEnabled(true);
            TimerW_lbl()->setEnabled(m_refreshReachedEnd);
            m_refreshReachedEnd = false;
            sayOffline(refused);
            return;
        }
        rows.moveNext();
        lblWeather()->setText(updatingText() + QLatin1Char(' ') + QString::number(i) + QLatin1Char('/')
                              + QString::number(count) + QStringLiteral("   "));
        ++i;
        if (i > MaximumRowIndex)
            break;
    }

    qCInfo(lcRefresh, "%d of %d rows refreshed at %s", int(i), int(count),
           qPrintable(m_services.now().toString(QStringLiteral("HH:mm"))));

    // 6. The ticker text closes with the supplication for rain.
    m_ticker->appendTickerText(QStringLiteral(" ... ") + supplication());

    // 7. Back to idle: the 55 s period starts anew, the ticker from its start.
    lblWeather()->setEnabled(true);
    m_timerWeather->setEnabled(true);
    TimerW_lbl()->setEnabled(true);

    // 8. The board can be expanded once a refresh has reached the end of its
    // walk, the first load's or, after an offline start, a later one.
    if (!m_refreshReachedEnd) {
        m_refreshReachedEnd = true;
        m_pictureShowDetail->setVisible(true);
    }

    // 9. The refresh's new warnings go to the desktop in one notice.
    // Expanded: show the new values in the chosen order. Old data (the
    // service had nothing newer) says its age ahead of the ticker's text.
    m_warnings->tellNew();
    showWarningsAndAge();
    if (!m_pictureHideDetail->isHidden())
        ComboSort_Click();
}

void frmWeatherMain::UpdateCityFromFeed()
{
    FeedUpdateHooks hooks;
    hooks.isOnline = [this] {
        if (lastServiceWord.isValid()) {
            const qint64 age = lastServiceWord.msecsTo(m_services.now());
            if (age >= 0 && age < ServiceWordHoldsMs)
                return true;
        }
        const bool online = m_services.isOnline();
        if (online && lastServiceWord.isValid())
            lastServiceWord = m_services.now();
        return online;
    };
    hooks.yield = [this] { return yieldToEvents(); };
    hooks.windDirIndex = [this] { return m_compass->windDirIndex(); };
    hooks.setWindDirIndex = [this](float index) { m_compass->setWindDirIndex(index); };
    // The city's coming days and hours, its warnings and alerts, kept beside its row.
    hooks.sideRows = [this](const QString &cityCode, const ChannelReadings *filledFrom) {
        const QString name = shownCityName(m_dataWt.recordset());
        return QList<SideRowsWrite>{WeatherStore::comingDays().replaceWith(
                                        cityCode, filledFrom ? comingDayRows(*filledFrom) : QList<SideRows::Row>()),
                                    WeatherStore::comingHours().replaceWith(
                                        cityCode, filledFrom ? comingHourRows(*filledFrom) : QList<SideRows::Row>())}
        + m_warnings->sideRows(cityCode, name, filledFrom);
    };
    m_ticker->appendTickerText(updateCityFromFeed(m_dataWt.recordset(), m_currentFeedUrl, *m_loader, hooks));
}

QString frmWeatherMain::offlineCauseText(OfflineCause cause)
{
    switch (cause) {
    case OfflineCause::NoNetwork:
        return tr("لا توجد شبكة: خدمة الطقس على هذا الجهاز لا تصل إلى مصدر بياناتها");
    case OfflineCause::ServiceNotRunning:
        return tr("خدمة الطقس على هذا الجهاز لا تعمل أو تعذّر تشغيلها");
    case OfflineCause::PortHeldByOther:
        return tr("منفذ خدمة الطقس يشغله خادم حساب آخر على هذا الجهاز");
    case OfflineCause::OwnerUnknown:
        return tr("تعذّر معرفة صاحب الخادم على منفذ خدمة الطقس على هذا الجهاز، فلا تُقرأ بياناته");
    case OfflineCause::None:
        break;
    }
    return QString();
}

QString frmWeatherMain::Condition_Code(float code) const
{
    return conditionText(code);
}

QString frmWeatherMain::WindDirectionName(float degrees)
{
    const WindDirection direction = windDirectionName(degrees);
    if (direction.sector != 0)
        m_compass->setWindDirIndex(float(direction.sector));
    return direction.name;
}
