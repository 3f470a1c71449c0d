// What a person sees: every text the board can show fits its label, clear
// of its caption, its neighbours and the dividers; and the board as drawn
// matches its reference pictures.
#include "app/frmWeatherMain.h"
#include "boardfixture.h"
#include "boardscenes.h"
#include "feed/conditionwords.h"
#include "feed/winddirection.h"
#include "platform/boardlanguage.h"
#include "store/weatherstore.h"
#include "view/celltext.h"

#include <QDir>
#include <QFile>
#include <QStyle>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Where a control lies in the window, whichever part holds it.
QRect inWindow(const QWidget *control)
{
    return QRect(control->mapTo(control->window(), QPoint(0, 0)), control->size());
}

// Where a label's text is drawn, in the window's coordinates.
QRect textExtent(const FormLabel *label)
{
    const QRect room = label->contentsRect().translated(inWindow(label).topLeft());
    const int advance = int(std::ceil(QFontMetricsF(label->font(), label).horizontalAdvance(label->text())));
    const Qt::Alignment align = QStyle::visualAlignment(label->layoutDirection(), label->alignment());
    int left = room.left();
    if (align & Qt::AlignRight)
        left = room.right() + 1 - advance;
    else if (align & Qt::AlignHCenter)
        left = room.left() + (room.width() - advance) / 2;
    return QRect(left, room.top(), advance, room.height());
}

// The horizontal room between two boxes side by side; a large number when
// they do not share a line.
int gapBetween(const QRect &a, const QRect &b)
{
    if (a.bottom() < b.top() || b.bottom() < a.top())
        return 1000;
    return qMax(b.left() - a.right() - 1, a.left() - b.right() - 1);
}

QStringList unique(QStringList texts)
{
    texts.removeDuplicates();
    return texts;
}

} // namespace

class TestLayout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void textsFit_data();
    void textsFit();
    void screenshots_data();
    void screenshots();

private:
    QList<QPair<QString, QImage>> m_scenes;
};

void TestLayout::initTestCase()
{
    m_scenes = renderBoardScenes();
    QVERIFY(!m_scenes.isEmpty());
}

void TestLayout::textsFit_data()
{
    QTest::addColumn<bool>("english");
    QTest::newRow("Arabic") << false;
    // English words are longer, and the board is laid out mirrored.
    QTest::newRow("English") << true;
}

void TestLayout::textsFit()
{
    QFETCH(bool, english);
    setBoardLanguage(english ? BoardLanguage::English : BoardLanguage::Arabic);
    const auto arabicAgain = qScopeGuard([] { setBoardLanguage(BoardLanguage::Arabic); });
    QTemporaryDir dir;
    QVERIFY(prepareBoardFolder(dir.path()));
    FakeWorld world;
    frmWeatherMain board(world.services(dir.path()));
    QVERIFY(board.Form_Load());
    board.PictureShowDetail_Click();

    // The longest values of each kind: every condition and wind word, the
    // longest date, three-digit and negative numbers, every city.
    QStringList conditions{QStringLiteral(u"غير متاح")};
    for (int code = 0; code < 48; ++code)
        conditions << conditionText(float(code));
    QStringList winds;
    for (int degrees = 0; degrees < 360; ++degrees)
        winds << windDirectionName(float(degrees)).name;
    QStringList numbers{QStringLiteral("-123.4567"), QStringLiteral("1234.567"), QStringLiteral("103"),
                        QStringLiteral("-12.5")};
    numbers << (english ? QStringList{QStringLiteral("Good"), QStringLiteral("Calm")}
                        : QStringList{QStringLiteral(u"جيدة"), QStringLiteral(u"سكون")});
    if (english) {
        for (QString &word : conditions)
            word = conditionShown(word);
        for (QString &word : winds)
            word = windShown(word);
    }
    QStringList cities;
    QStringList links;
    for (const auto &city : WeatherStore::seedCities()) {
        const QString name = english ? englishCityName(city.cityCode) : city.cityA;
        cities << name;
        links << (english ? QStringLiteral("Click here to see ") + name + QStringLiteral(" on Google")
                          : QStringLiteral(u"أضغط هنا لمشاهدة ") + name + QStringLiteral(u" من خلال Google"));
    }
    QStringList windBoxes;
    for (const char *code : {"N", "NNE", "WSW", "NNW"})
        windBoxes << QLatin1String(code) + QStringLiteral("  199 Kph");

    const auto column = [&board](FormLabel *(frmWeatherMain::*cell)(int) const) {
        QList<FormLabel *> labels;
        for (int i = 0; i < frmWeatherMain::GridRows; ++i)
            labels << (board.*cell)(i);
        return labels;
    };
    const QList<QPair<QList<FormLabel *>, QStringList>> cases = {
        {{board.lblPdateD()}, {QStringLiteral("Wed, 30 Sep 2026 12:00 pm AST")}},
        {{board.lblConditionD()}, unique(conditions)},
        {{board.lblWind_DirctD()}, unique(winds)},
        {{board.lblTempD(), board.lblTemp_LowD(), board.lblTemp_HighD(), board.lblHumidityD(), board.lblVisibilityD(),
          board.lblWind_SpeedD(), board.lblWind_ShillD()},
         numbers},
        {{board.lblSunRiseD(), board.lblSunSetD()}, {QStringLiteral("12:59 pm")}},
        {{board.lblCityD()}, cities},
        {{board.lblGoogle()}, links},
        {{board.lblWindDirc_Speed()}, windBoxes},
        {column(&frmWeatherMain::lblCity), cities},
        {column(&frmWeatherMain::lblCondition), unique(conditions)},
        {column(&frmWeatherMain::lblWind_Dirct), unique(winds)},
        {column(&frmWeatherMain::lblTemp) + column(&frmWeatherMain::lblVisibility)
             + column(&frmWeatherMain::lblWind_Speed),
         numbers},
    };

    // Everything a text must keep clear of: the other labels' texts, the
    // dividers and boxes, whichever part of the window holds them.
    QList<const QWidget *> obstacles;
    for (QWidget *child : board.findChildren<QWidget *>()) {
        if (qobject_cast<FormLabel *>(child) || child->objectName().startsWith(QLatin1String("Shape")))
            obstacles << child;
    }
    const auto extentOf = [](const QWidget *w) {
        if (const auto *label = qobject_cast<const FormLabel *>(w))
            return label->pixmap().isNull() ? textExtent(label) : QRect();
        return inWindow(w); // a divider or a box; its border is what counts
    };

    for (const auto &[labels, values] : cases) {
        for (FormLabel *label : labels) {
            const QString before = label->text();
            for (const QString &value : values) {
                label->setText(value);
                const QRect text = textExtent(label);
                const QString what = label->objectName() + QStringLiteral(": ") + value;
                QVERIFY2(text.left() - inWindow(label).x() >= FormLabel::TextGap
                             && inWindow(label).right() - text.right() >= FormLabel::TextGap,
                         qPrintable(what + QStringLiteral(" does not fit")));
                for (const QWidget *other : obstacles) {
                    if (other == label || other->isHidden())
                        continue;
                    const QRect box = extentOf(other);
                    if (box.isEmpty())
                        continue;
                    // A box around the text is fine as long as its border keeps clear.
                    if (box.contains(text) && !qobject_cast<const FormLabel *>(other)) {
                        const int inside = qMin(text.left() - box.left(), box.right() - text.right());
                        QVERIFY2(inside >= FormLabel::TextGap,
                                 qPrintable(what + QStringLiteral(" touches ") + other->objectName()));
                        continue;
                    }
                    QVERIFY2(gapBetween(text, box) >= FormLabel::TextGap,
                             qPrintable(what + QStringLiteral(" touches ") + other->objectName()));
                }
            }
            label->setText(before);
        }
    }
}

void TestLayout::screenshots_data()
{
    QTest::addColumn<QImage>("actual");
    for (const auto &[name, image] : m_scenes)
        QTest::newRow(qPrintable(name)) << image;
}

// The references are made by the same code; when the board's look changes
// on purpose, remake them and say why in the commit. On a screen of two
// device pixels to the pixel the board is compared with its own references.
void TestLayout::screenshots()
{
    QFETCH(QImage, actual);
    const QString name = QString::fromUtf8(QTest::currentDataTag()) + sceneSuffix();
    const QImage expected = QImage(QStringLiteral(WEATHER_SOURCE_DIR "/tests/view/golden/") + name
                                   + QStringLiteral(".png"))
                                .convertToFormat(QImage::Format_RGB32);
    const QString remake = QStringLiteral("if the change is intended, remake the references with "
                                          "build/tests/view/board-screenshots tests/view/golden docs/board.png "
                                          "(and with QT_SCALE_FACTOR=2 for those at twice the size)");
    const QString kept = QDir::temp().filePath(QStringLiteral("board-screenshots/") + name + QStringLiteral(".png"));
    QDir().mkpath(QFileInfo(kept).path());
    QVERIFY2(!expected.isNull(), qPrintable(QStringLiteral("no reference for %1; ").arg(name) + remake));
    if (actual.size() != expected.size())
        actual.save(kept);
    QVERIFY2(actual.size() == expected.size(),
             qPrintable(QStringLiteral("size differs (picture kept as %1); ").arg(kept) + remake));

    // Anti-aliasing may shift a little between font renderers; a text that
    // moved or changed does not stay within this.
    constexpr int ChannelTolerance = 48;
    qint64 differing = 0;
    for (int y = 0; y < actual.height(); ++y) {
        const auto *a = reinterpret_cast<const QRgb *>(actual.constScanLine(y));
        const auto *e = reinterpret_cast<const QRgb *>(expected.constScanLine(y));
        for (int x = 0; x < actual.width(); ++x) {
            if (qAbs(qRed(a[x]) - qRed(e[x])) > ChannelTolerance || qAbs(qGreen(a[x]) - qGreen(e[x])) > ChannelTolerance
                || qAbs(qBlue(a[x]) - qBlue(e[x])) > ChannelTolerance)
                ++differing;
        }
    }
    const qint64 allowed = qint64(actual.width()) * actual.height() / 2000; // 0.05 %
    if (differing > allowed)
        actual.save(kept);
    QVERIFY2(differing <= allowed,
             qPrintable(QStringLiteral("%1 pixels differ (picture kept as %2); ").arg(differing).arg(kept) + remake));
}

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
