#include "platform/formcontrols.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>

#include <algorithm>
#include <utility>

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

// --- FormLabel ---------------------------------------------------------------

FormLabel::FormLabel(QWidget *parent)
    : QLabel(parent)
{
}

void FormLabel::setTwipsGeometry(int left, int top, int width, int height)
{
    m_left = left;
    m_top = top;
    m_width = width;
    m_height = height;
    setGeometry(twipsRect(left, top, width, height));
}

void FormLabel::setLeftTwips(int left)
{
    if (left == m_left)
        return;
    m_left = left;
    move(twipsToPixels(left), twipsToPixels(m_top));
}

void FormLabel::setForeColor(const QColor &color)
{
    m_foreColor = color;
    QPalette p = palette();
    p.setColor(QPalette::Active, QPalette::WindowText, color);
    p.setColor(QPalette::Inactive, QPalette::WindowText, color);
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    setPalette(p);
}

void FormLabel::setShrinkToFit(bool shrink)
{
    if (shrink == shrinksToFit())
        return;
    m_lastFit.reset();
    if (shrink) {
        m_fullFont = font();
        setContentsMargins(TextGap, 0, TextGap, 0);
        fitText();
    } else {
        setFont(*m_fullFont);
        m_fullFont.reset();
        setContentsMargins(0, 0, 0, 0);
    }
}

void FormLabel::setText(const QString &text)
{
    QLabel::setText(text);
    fitText();
}

void FormLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    fitText();
}

void FormLabel::fitText()
{
    if (!m_fullFont)
        return;
    const qreal room = contentsRect().width();
    const QString shown = text();
    QFont fitted = *m_fullFont;
    // An empty label takes its full font: nothing to measure. Labels are
    // often emptied and given their text again (the grid, refilled after
    // each refresh), and measuring a text at size after size is what costs:
    // the size a text took is kept and taken again while text and room are
    // the same.
    if (!shown.isEmpty()) {
        if (m_lastFit && m_lastFit->text == shown && m_lastFit->room == room) {
            fitted.setPointSizeF(m_lastFit->pointSize);
        } else {
            // Quarter points down to a size still legible; a text longer
            // than the store lets any value be does not come this far.
            while (fitted.pointSizeF() > SmallestPointSize
                   && QFontMetricsF(fitted, this).horizontalAdvance(shown) > room)
                fitted.setPointSizeF(fitted.pointSizeF() - 0.25);
            m_lastFit = Fit{shown, room, fitted.pointSizeF()};
        }
    }
    if (fitted != font())
        setFont(fitted);
}

void FormLabel::setKeepsShapedTexts(bool keep)
{
    m_keepsShapedTexts = keep;
    forgetShapedTexts();
}

void FormLabel::forgetShapedTexts()
{
    m_shapedTexts.clear();
}

void FormLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    // Glyphs belong to a font, their places to its size.
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        forgetShapedTexts();
}

// Kept glyphs replace only the simplest label: enabled plain text on one
// line, no frame, no picture, no style sheet. Anything else draws as any
// label does.
bool FormLabel::drawsShapedText() const
{
    return m_keepsShapedTexts && isEnabled() && textFormat() == Qt::PlainText && !wordWrap() && pixmap().isNull()
        && frameShape() == QFrame::NoFrame && margin() == 0 && indent() <= 0 && styleSheet().isEmpty()
        && std::none_of(text().cbegin(), text().cend(), [](QChar c) {
               // What QPainter::drawText treats apart: line breaks, tabs,
               // mnemonics and the mark of length variants.
               return c == u'\n' || c == u'\r' || c == u'\t' || c == u'&' || c == QChar(0x9c)
                   || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
           });
}

const FormLabel::ShapedText *FormLabel::shaped(const QString &text, Qt::LayoutDirection direction)
{
    // Found, it becomes the text shown last.
    if (const ShapedText *kept = m_shapedTexts.object(text))
        return kept;

    // The layout a plain label's text gets from QPainter::drawText: one line
    // of unbounded width, its direction forced, aligned later by hand.
    QTextLayout layout(text, font(), this);
    QTextOption option;
    option.setTextDirection(direction);
    option.setAlignment(Qt::AlignLeft);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(0x01000000);
    line.setPosition(QPointF(0, 0));
    layout.endLayout();

    auto *shapedText = new ShapedText;
    shapedText->runs = layout.glyphRuns();
    shapedText->naturalWidth = line.naturalTextWidth();
    shapedText->advance = line.horizontalAdvance();
    shapedText->height = line.ascent() + line.descent();

    // What it holds: each run's glyph indexes and places, the run itself,
    // and the text as the key, with a little for the cache's own node.
    constexpr qsizetype RunBytes = 160;
    constexpr qsizetype NodeBytes = 64;
    qsizetype bytes = qsizetype(sizeof(ShapedText)) + NodeBytes + text.size() * qsizetype(sizeof(QChar));
    for (const QGlyphRun &run : std::as_const(shapedText->runs))
        bytes += RunBytes + run.glyphIndexes().size() * qsizetype(sizeof(quint32) + sizeof(QPointF));
    // Too large to keep, it is dropped at once.
    if (!m_shapedTexts.insert(text, shapedText, bytes))
        return nullptr;
    return shapedText;
}

void FormLabel::paintEvent(QPaintEvent *event)
{
    if (!drawsShapedText()) {
        QLabel::paintEvent(event);
        return;
    }
    const QString caption = text();
    if (caption.isEmpty())
        return;
    // The direction of a plain label's text is that of its first strong
    // letter; its alignment follows that direction, not the label's.
    const Qt::LayoutDirection direction = caption.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
    const Qt::Alignment align = QStyle::visualAlignment(direction, alignment());
    const ShapedText *const kept = shaped(caption, direction);
    if (!kept) {
        QLabel::paintEvent(event);
        return;
    }
    const ShapedText &shapedText = *kept;

    const QRectF room = contentsRect();
    qreal top = 0;
    if (align & Qt::AlignBottom)
        top = room.height() - shapedText.height;
    else if (align & Qt::AlignVCenter)
        top = (room.height() - shapedText.height) / 2;
    qreal boundsLeft = 0;
    qreal left = 0;
    if (align & Qt::AlignRight) {
        boundsLeft = room.width() - shapedText.naturalWidth;
        left = room.width() - shapedText.advance;
    } else if (align & Qt::AlignHCenter) {
        boundsLeft = (room.width() - shapedText.naturalWidth) / 2;
        left = (room.width() - shapedText.advance) / 2;
    }

    QPainter painter(this);
    painter.setPen(QPen(palette().brush(foregroundRole()), 0));
    const QRectF bounds(room.x() + boundsLeft, room.y() + top, shapedText.naturalWidth, shapedText.height);
    if (!room.contains(bounds))
        painter.setClipRect(room, Qt::IntersectClip);
    const QPointF origin(room.x() + left, room.y() + top);
    for (const QGlyphRun &run : shapedText.runs)
        painter.drawGlyphRun(origin, run);
}

void FormLabel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    // The second half of a double click is no click of its own: otherwise
    // a double click on the expand button would expand and collapse again,
    // as the collapse button takes its place under the pointer.
    const bool secondOfDouble = std::exchange(m_doubleClicked, false);
    if (!secondOfDouble && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())
        && isEnabled())
        Q_EMIT clicked();
}

void FormLabel::mouseDoubleClickEvent(QMouseEvent *event)
{
    m_doubleClicked = true;
    event->accept();
}

void FormLabel::click()
{
    if (isEnabled())
        Q_EMIT clicked();
}

QAccessible::Role FormLabel::accessibleRole() const
{
    if (m_accessibleRole)
        return *m_accessibleRole;
    return pixmap().isNull() ? QAccessible::StaticText : QAccessible::Graphic;
}

QString FormLabel::spokenText() const
{
    return m_speech ? m_speech(text()) : text();
}

// --- FormLine ----------------------------------------------------------------

FormLine::FormLine(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void FormLine::setPoints(float x1, float y1, float x2, float y2)
{
    m_x1 = x1;
    m_y1 = y1;
    m_x2 = x2;
    m_y2 = y2;
    place();
}

void FormLine::setColor(const QColor &color)
{
    m_color = color;
    m_pictures = {};
    update();
}

void FormLine::setPenWidth(int pixels)
{
    m_penWidth = pixels;
    m_pictures = {};
    place();
}

void FormLine::setKeepsPicture(bool keep)
{
    m_keepsPicture = keep;
    m_pictures = {};
}

void FormLine::place()
{
    const QLine ends(twipsToPixels(m_x1), twipsToPixels(m_y1), twipsToPixels(m_x2), twipsToPixels(m_y2));
    const int margin = m_penWidth;
    const int left = std::min(ends.x1(), ends.x2()) - margin;
    const int top = std::min(ends.y1(), ends.y2()) - margin;
    const int right = std::max(ends.x1(), ends.x2()) + margin;
    const int bottom = std::max(ends.y1(), ends.y2()) + margin;
    const QRect place(left, top, right - left + 1, bottom - top + 1);
    // A move of a few twips often lands on the same pixels: then nothing is
    // drawn again. A new place redraws both places by itself.
    if (place != geometry())
        setGeometry(place);
    else if (ends != m_drawn)
        update();
    m_drawn = ends;
}

void FormLine::paintEvent(QPaintEvent *)
{
    const QPoint origin = pos();
    const QLine ends(twipsToPixels(m_x1) - origin.x(), twipsToPixels(m_y1) - origin.y(),
                     twipsToPixels(m_x2) - origin.x(), twipsToPixels(m_y2) - origin.y());
    const auto draw = [&](QPainter &painter) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(m_color, m_penWidth, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(ends.p1()), QPointF(ends.p2()));
    };
    if (!m_keepsPicture) {
        QPainter painter(this);
        draw(painter);
        return;
    }
    const qreal ratio = devicePixelRatioF();
    const auto kept = std::find_if(m_pictures.begin(), m_pictures.end(), [&](const Picture &picture) {
        return picture.ends == ends && !picture.image.isNull() && picture.image.devicePixelRatio() == ratio
            && picture.image.deviceIndependentSize() == QSizeF(size());
    });
    Picture *picture = kept != m_pictures.end() ? &*kept : nullptr;
    if (!picture) {
        picture = &m_pictures[std::exchange(m_nextPicture, (m_nextPicture + 1) % KeptPictures)];
        picture->ends = ends;
        picture->image = QImage(size() * ratio, QImage::Format_ARGB32_Premultiplied);
        picture->image.setDevicePixelRatio(ratio);
        picture->image.fill(Qt::transparent);
        QPainter painter(&picture->image);
        draw(painter);
    }
    QPainter painter(this);
    painter.drawImage(0, 0, picture->image);
}

// --- FormTimer ---------------------------------------------------------------

FormTimer::FormTimer(int interval, QObject *parent)
    : QObject(parent)
    , m_interval(interval)
{
    connect(&m_timer, &QTimer::timeout, this, &FormTimer::timeout);
}

bool FormTimer::setInterval(int milliseconds)
{
    if (milliseconds < 0 || milliseconds > MaximumInterval)
        return false;
    m_interval = milliseconds;
    if (m_enabled)
        m_timer.stop();
    apply();
    return true;
}

void FormTimer::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    apply();
}

void FormTimer::setSuspended(bool suspended)
{
    if (suspended == m_suspended)
        return;
    m_suspended = suspended;
    apply();
}

void FormTimer::apply()
{
    const bool wasTicking = m_timer.isActive();
    if (m_enabled && m_interval > 0 && !m_suspended) {
        if (!m_timer.isActive())
            m_timer.start(m_interval);
    } else {
        m_timer.stop();
    }
    if (m_timer.isActive() != wasTicking)
        Q_EMIT tickingChanged(m_timer.isActive());
}
