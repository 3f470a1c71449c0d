#include "app/frmWeatherMain.h"
#include "app/warningnotices.h"
#include "view/owncitytoggle.h"

#include "feed/documentloader.h"
#include "platform/cursorfile.h"
#include "view/warningsign.h"
#include "store/weatherstore.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSet>
#include <QTimer>

#include <cstdio>

namespace {

// The sort keys, in list order.
const char *const sortEntries[6] = {
    QT_TRANSLATE_NOOP("frmWeatherMain", "اسم المدينة"),  QT_TRANSLATE_NOOP("frmWeatherMain", "حالة الطقس"),
    QT_TRANSLATE_NOOP("frmWeatherMain", "درجة الحرارة"), QT_TRANSLATE_NOOP("frmWeatherMain", "مدى الرؤية"),
    QT_TRANSLATE_NOOP("frmWeatherMain", "إتجاه الرياح"), QT_TRANSLATE_NOOP("frmWeatherMain", "سرعة الرياح")};

constexpr char16_t MarkerFile[] = u"qivwtv61.txt";
constexpr char16_t CursorFile[] = u"H_POINT.CUR";

// Copies source over target. The copy is made beside the target under
// another name and renamed over it only when whole, so a copy that fails
// (an unreadable source, a full disk) leaves the picture already there.
bool replaceWithCopy(const QString &source, const QString &target)
{
    const QString partial = target + QStringLiteral(".part");
    QFile::remove(partial);
    if (!QFile::copy(source, partial))
        return false;
    // rename(2) replaces the target in one step, where QFile::rename refuses.
    if (std::rename(QFile::encodeName(partial).constData(), QFile::encodeName(target).constData()) != 0) {
        QFile::remove(partial);
        return false;
    }
    return true;
}

} // namespace

frmWeatherMain::frmWeatherMain(BoardServices services, QWidget *parent)
    : QWidget(parent)
    , m_services(std::move(services))
    , m_instanceLock(m_services.applicationFolder)
{
    m_loader = m_services.network ? new DocumentLoader(m_services.network, this) : new DocumentLoader(this);
    buildControls();
    connectHandlers();
}

frmWeatherMain::~frmWeatherMain() = default;

void frmWeatherMain::connectHandlers()
{
    // The ticker and the compass tick by themselves; the window's own timers
    // and clicks come here.
    connect(m_timerFirstLoad, &FormTimer::timeout, this, &frmWeatherMain::TimerFirstLoad_Timer);
    connect(m_timerWeather, &FormTimer::timeout, this, &frmWeatherMain::TimerWeather_Timer);
    connect(m_pictureShowDetail, &FormLabel::clicked, this, &frmWeatherMain::PictureShowDetail_Click);
    connect(m_pictureHideDetail, &FormLabel::clicked, this, &frmWeatherMain::PictureHideDetail_Click);
    // Fires for the user's choice and for a choice made by code alike.
    connect(m_comboSort, &QComboBox::currentIndexChanged, this, &frmWeatherMain::ComboSort_Click);
    connect(m_grid, &CityGrid::cityClicked, this, &frmWeatherMain::lblCity_Click);
    connect(lblGoogle(), &FormLabel::clicked, this, &frmWeatherMain::lblGoogle_Click);
    connect(m_lblQIVurl, &FormLabel::clicked, this, &frmWeatherMain::lblQIVurl_Click);
    // The warnings: the strip's sign and the desktop's notices show a city,
    // the panel's "مدينتي" chooses the person's own cities.
    connect(m_stripSign, &WarningSign::clicked, this, [this] { showCity(m_warnings->firstWarnedCity()); });
    connect(m_warnings, &BoardWarnings::cityChosen, this, &frmWeatherMain::showCity);
    connect(m_detail, &CityDetail::ownCityToggled, m_warnings, &BoardWarnings::setOwnCity);
    connect(m_warnings, &BoardWarnings::ownCitiesChanged, this, &frmWeatherMain::showWarningsAndAge);
}

bool frmWeatherMain::yieldToEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return !m_unloaded;
}

bool frmWeatherMain::Form_Load()
{
    // 1. One copy at a time.
    if (!m_instanceLock.tryAcquire()) {
        m_fatal = true;
        m_services.showMessage(this, tr("Application already in used."), true);
        return false;
    }

    // 2. The application folder, with its separator.
    m_appFolder = QDir::fromNativeSeparators(m_services.applicationFolder);
    if (!m_appFolder.endsWith(QLatin1Char('/')))
        m_appFolder += QLatin1Char('/');

    // 3. Collapsed: only the strip, and no button until the first refresh.
    setOuterSizeTwips(CollapsedWidth, CollapsedHeight);
    m_pictureShowDetail->setVisible(false);
    m_pictureHideDetail->setVisible(false);

    // 4. The store, made when missing.
    const QString storePath = m_appFolder + QString::fromUtf16(WeatherStore::FileName);
    if (!QFileInfo::exists(storePath))
        CreateWeatherStore();
    yieldToEvents();
    // Asked to close while loading: end at once, before anything runs on.
    if (m_closeRequested)
        return false;
    if (!QFileInfo::exists(storePath)) {
        m_fatal = true;
        m_services.showMessage(this, tr("ملف الطقس غير متوفر"), true);
        return false;
    }

    // 5, 6. The map pictures.
    QDir().mkpath(m_appFolder + QString::fromUtf16(PictureFolder));
    gatherMapPictures();
    if (m_closeRequested)
        return false;

    // 7. Top-left corner of the screen.
    move(0, 0);

    // 8. Both data sources on the whole table.
    for (DataControl *data : {&m_dataWt, &m_datawt2, &m_dataMarks}) {
        data->setDatabaseName(storePath);
        data->setRecordSource(QString::fromUtf16(WeatherStore::AllRows));
        data->refresh();
    }

    // The warnings kept from before, what was told of them, and what the
    // store holds to show before any refresh.
    m_warnings->keepIn(m_appFolder + QString::fromUtf16(WarningNotices::FileName), m_services.settingsFile);
    m_warnings->load(m_dataMarks);
    showWarningsAndAge();

    // 9, 10. The first refresh comes 100 ms from now, the cycle every 55 s.
    m_loaded = true;
    m_firstLoad = true;
    m_timerFirstLoad->setEnabled(true);
    m_timerWeather->setEnabled(true);

    // 11. The sort keys, none chosen until the first expansion. Filling the
    // list is not a choice: QComboBox selects the first entry by itself, so
    // that is undone without running the sort.
    {
        const QSignalBlocker blocker(m_comboSort);
        for (const char *entry : sortEntries)
            m_comboSort->addItem(tr(entry));
        m_comboSort->setCurrentIndex(-1);
    }

    // 12. The hand over clickable labels, when its cursor file is there.
    const std::optional<QCursor> hand = loadCursorFile(m_appFolder + QString::fromUtf16(CursorFile),
                                                       devicePixelRatioF());
    if (!hand)
        return true;
    for (int i = 0; i < GridRows; ++i)
        lblCity(i)->setCursor(*hand);
    m_lblQIVurl->setCursor(*hand);
    lblGoogle()->setCursor(*hand);
    m_mapPlace->daysLink()->setCursor(*hand);
    m_mapPlace->hoursLink()->setCursor(*hand);
    m_detail->ownCity()->setCursor(*hand);
    return true;
}

void frmWeatherMain::CreateWeatherStore()
{
    const QString storePath = m_appFolder + QString::fromUtf16(WeatherStore::FileName);
    WeatherStore::createStoreFile(storePath);
    yieldToEvents();
    if (!QFileInfo::exists(storePath))
        return;
    m_dataWt.setDatabaseName(storePath);
    m_dataWt.setRecordSource(QString::fromUtf16(WeatherStore::AllRows));
    m_dataWt.refresh();
}

void frmWeatherMain::gatherMapPictures()
{
    // At most 51 pictures a start; the rest move at the next one. A picture
    // that cannot be copied stays where it is (it is never deleted) and is
    // passed over for the rest of this start.
    const QDir folder(m_appFolder);
    const QString target = m_appFolder + QString::fromUtf16(PictureFolder);
    QSet<QString> failed;
    for (int pass = 0; pass <= 50; ++pass) {
        QString name;
        const QStringList matches = folder.entryList({QStringLiteral("*.tmg")}, QDir::Files | QDir::CaseSensitive,
                                                     QDir::Name);
        for (const QString &candidate : matches) {
            if (!failed.contains(candidate)) {
                name = candidate;
                break;
            }
        }
        if (name.isEmpty())
            return;
        const QString source = m_appFolder + name;
        if (!replaceWithCopy(source, target + name)) {
            failed.insert(name);
            continue;
        }
        yieldToEvents();
        QFile::remove(source);
        yieldToEvents();
        if (m_closeRequested)
            return;
    }
}

void frmWeatherMain::Form_Unload()
{
    // A board that never finished loading has nothing to close or reset.
    if (m_unloaded || !m_loaded)
        return;
    m_unloaded = true;

    // The board is ending: no tick may reach the store once it is closed,
    // not even during the yields below.
    for (FormTimer *timer : {m_timerFirstLoad, m_timerWeather, TimerW_lbl(), TimerWind()})
        timer->setEnabled(false);
    // A refresh waiting for a feed gives up at once and writes nothing more.
    m_loader->abort();

    m_dataWt.closeDatabase();
    m_datawt2.closeDatabase();
    m_dataMarks.closeDatabase();
    yieldToEvents();

    // The first close on a machine discards the store once, so that the next
    // start builds it afresh from the seed; the marker keeps it from then on.
    const QString marker = m_appFolder + QString::fromUtf16(MarkerFile);
    if (QFileInfo::exists(marker))
        return;
    const QString storePath = m_appFolder + QString::fromUtf16(WeatherStore::FileName);
    if (QFileInfo::exists(storePath)) {
        WeatherStore::removeStoreFile(storePath);
        yieldToEvents();
    }
    QFile file(marker);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        file.write(QLocale::system().toString(m_services.now(), QLocale::ShortFormat).toUtf8());
        file.write("\n");
        file.close();
    }
    yieldToEvents();
}

void frmWeatherMain::closeEvent(QCloseEvent *event)
{
    m_closeRequested = true;
    Form_Unload();
    event->accept();
}

void frmWeatherMain::setOuterSizeTwips(int width, int height)
{
    m_outerSize = QSize(width, height);
    applyOuterSize();
}

void frmWeatherMain::applyOuterSize()
{
    // The sizes are the window's outer size, frame included; the frame is
    // known only once the window is shown, so this runs again then.
    const QSize frame = isVisible() ? frameGeometry().size() - geometry().size() : QSize(0, 0);
    QSize client(twipsToPixels(m_outerSize.width()) - frame.width(),
                 twipsToPixels(m_outerSize.height()) - frame.height());
    // A tall title bar must not hide the strip: it always fits whole.
    client = client.expandedTo(QSize(m_pictureShowDetail->geometry().right() + 1, m_ticker->geometry().bottom() + 1));
    setFixedSize(client);
}

void frmWeatherMain::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    pauseWhileUnseen();
    // Once the window manager has framed the window, correct for the frame.
    QTimer::singleShot(200, this, [this] { applyOuterSize(); });
}

void frmWeatherMain::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    pauseWhileUnseen();
}

void frmWeatherMain::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        pauseWhileUnseen();
}

void frmWeatherMain::pauseWhileUnseen()
{
    // Minimised or hidden, only the refresh timer may wake the board; the
    // ticker and the arrow go on from where they stood once it shows again.
    const bool unseen = !isVisible() || isMinimized();
    m_ticker->setPaused(unseen);
    m_compass->setPaused(unseen);
}
