#pragma once

#include <QAccessible>
#include <QCache>
#include <QFrame>
#include <QGlyphRun>
#include <QImage>
#include <QLabel>
#include <QObject>
#include <QTimer>

#include <array>
#include <optional>

// The window is laid out in twips; 15 twips make one pixel at 96 dpi.
constexpr int TwipsPerPixel = 15;
constexpr int twipsToPixels(double twips)
{
    return int(twips / TwipsPerPixel + (twips >= 0 ? 0.5 : -0.5));
}
constexpr int pixelsToTwips(int pixels)
{
    return pixels * TwipsPerPixel;
}
QRect twipsRect(int left, int top, int width, int height);

// A label of the window: text or picture, clickable, with a tag and a
// left/top that can be moved in twips. Disabled labels draw greyed.
class FormLabel : public QLabel
{
    Q_OBJECT
public:
    explicit FormLabel(QWidget *parent = nullptr);

    QString tag() const { return m_tag; }
    void setTag(const QString &tag) { m_tag = tag; }

    // Position in twips relative to the parent.
    int leftTwips() const { return m_left; }
    int topTwips() const { return m_top; }
    int widthTwips() const { return m_width; }
    int heightTwips() const { return m_height; }
    void setTwipsGeometry(int left, int top, int width, int height);
    void setLeftTwips(int left);
    void setForeColor(const QColor &color);
    QColor foreColor() const { return m_foreColor; }

    // The least room between a text and its label's edges, so that the texts
    // of two labels side by side never touch, nor a line beside them.
    static constexpr int TextGap = 4; // pixels
    // The smallest size a label shrinks its text to: still legible.
    static constexpr qreal SmallestPointSize = 5.0;

    // A label whose value can be longer than its room (a three-word wind
    // name, a long condition) keeps TextGap free on each side and draws a
    // text that would not fit in a smaller size of its font, never cut off.
    // Set once the label's font is set.
    void setShrinkToFit(bool shrink);
    bool shrinksToFit() const { return m_fullFont.has_value(); }
    // Hides QLabel::setText so that the fit follows each new text.
    void setText(const QString &text);

    // A label whose texts come back again and again (the ticker shows the
    // same few thousand captions every cycle) keeps each text's shaped
    // glyphs, so that showing a text again skips the costly part of drawing
    // it: finding its script runs, its bidi levels and its glyphs. It draws
    // exactly the pixels a plain label draws.
    void setKeepsShapedTexts(bool keep);
    bool keepsShapedTexts() const { return m_keepsShapedTexts; }
    // Texts are kept up to this many bytes (glyphs, their places and the
    // text); past that, the text shown least recently goes first. A ticker
    // caption of up to 81 characters takes about 2 KB, so a whole cycle of
    // up to about 5,000 captions stays kept and comes back drawn from what
    // was kept; captions of weather gone by age out. A single text larger
    // than all of it is drawn as any label draws it.
    static constexpr qsizetype ShapedTextBytes = 12 * 1024 * 1024;
    int keptShapedTextCount() const { return int(m_shapedTexts.size()); }
    qsizetype keptShapedTextBytes() const { return m_shapedTexts.totalCost(); }
    bool hasKeptShapedText(const QString &text) const { return m_shapedTexts.contains(text); }

    // --- Keyboard and screen reader -------------------------------------------
    // What Enter or Space does on a label that takes focus, and a screen
    // reader's press: a click, when the label is enabled.
    void click();
    // The role a screen reader gives the label; by default a picture is a
    // graphic and a text is static text.
    void setAccessibleRole(QAccessible::Role role) { m_accessibleRole = role; }
    QAccessible::Role accessibleRole() const;
    // The words a screen reader says for a caption, where the caption alone
    // would be skipped or misread (a bare number with its unit implied, a
    // sign): "25" becomes "25 درجة". Without one it says the caption.
    using Speech = QString (*)(const QString &caption);
    void setSpeech(Speech speech) { m_speech = speech; }
    QString spokenText() const;

Q_SIGNALS:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void fitText();

    // One line of text as the label's text layout shapes it, its glyph
    // positions relative to the line's top left.
    struct ShapedText
    {
        QList<QGlyphRun> runs;
        qreal naturalWidth = 0;
        qreal advance = 0;
        qreal height = 0;
    };
    bool drawsShapedText() const;
    void forgetShapedTexts();
    // The kept glyphs of the text, shaped now if they were not; nullptr for
    // a text too large to keep.
    const ShapedText *shaped(const QString &text, Qt::LayoutDirection direction);

    QCache<QString, ShapedText> m_shapedTexts{ShapedTextBytes}; // cost: bytes
    bool m_keepsShapedTexts = false;

    std::optional<QFont> m_fullFont; // the font before shrinking, when shrinking
    // The last text fitted, in how much room, and the size it took.
    struct Fit
    {
        QString text;
        qreal room;
        qreal pointSize;
    };
    std::optional<Fit> m_lastFit;
    QString m_tag;
    int m_left = 0;
    int m_top = 0;
    int m_width = 0;
    int m_height = 0;
    QColor m_foreColor;
    bool m_doubleClicked = false;
    std::optional<QAccessible::Role> m_accessibleRole;
    Speech m_speech = nullptr;
};

// A straight line between two points given in twips of the parent's space,
// drawn as a small transparent widget covering just the line.
class FormLine : public QWidget
{
    Q_OBJECT
public:
    explicit FormLine(QWidget *parent = nullptr);

    void setPoints(float x1, float y1, float x2, float y2);
    float x1() const { return m_x1; }
    float y1() const { return m_y1; }
    float x2() const { return m_x2; }
    float y2() const { return m_y2; }
    void setColor(const QColor &color);
    void setPenWidth(int pixels);
    // A line that moves often keeps the picture of its shape (see below);
    // one that stands still draws itself and keeps nothing.
    void setKeepsPicture(bool keep);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void place();

    float m_x1 = 0, m_y1 = 0, m_x2 = 0, m_y2 = 0;
    QLine m_drawn; // the ends in pixels of the parent, as last drawn

    // A line that moves keeps its shape: only its place changes, by whole
    // pixels. Its picture is drawn once per shape and copied from then on;
    // the rounding of its two ends gives it a few shapes at most.
    struct Picture
    {
        QLine ends; // in the widget's own pixels
        QImage image;
    };
    static constexpr int KeptPictures = 4;
    std::array<Picture, KeptPictures> m_pictures;
    int m_nextPicture = 0;
    bool m_keepsPicture = false;
    QColor m_color = Qt::white;
    int m_penWidth = 1;
};

// A timer as the window uses them: an interval of 0 means no ticks at all
// (QTimer would fire continuously), a negative or over-large interval is
// refused and the old one stays, and changing the interval of a running
// timer starts its period anew.
class FormTimer : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaximumInterval = 65535;

    explicit FormTimer(int interval = 0, QObject *parent = nullptr);

    int interval() const { return m_interval; }
    bool setInterval(int milliseconds);
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    // Whether ticks actually arrive (enabled with a non-zero interval, and
    // not suspended).
    bool isTicking() const { return m_timer.isActive(); }

    // A suspended timer keeps its interval and whether it is enabled, but no
    // tick arrives until it is resumed; its period then starts anew. For a
    // board that cannot be seen, so that nothing wakes it in vain.
    void setSuspended(bool suspended);
    bool isSuspended() const { return m_suspended; }

Q_SIGNALS:
    void timeout();
    // Ticks start arriving, or stop.
    void tickingChanged(bool ticking);

private:
    void apply();

    QTimer m_timer;
    int m_interval = 0;
    bool m_enabled = false;
    bool m_suspended = false;
};
