#pragma once

#include <QColor>
#include <QPixmap>
#include <QWidget>

class QPainter;

// A warning sign, drawn: an amber triangle with an exclamation mark, or one
// in the colour of the national centre's alert it stands for. One
// that takes the focus acts on Enter or Space as on a click, and shows the
// focus as the board's yellow frame.
class WarningSign : public QWidget
{
    Q_OBJECT
public:
    explicit WarningSign(QWidget *parent = nullptr);

    // The amber of the board's own warnings.
    static const QColor Amber;
    // An alert's colour (yellow, orange, red) as the board draws it; amber
    // for any other word, so that what is not an alert's looks the board's own.
    static QColor alertColour(const QString &colour);

    // The sign's colour; an invalid colour is amber.
    void setColour(const QColor &colour);
    QColor colour() const { return m_colour; }

    // The sign drawn in `area`, as the widget draws itself; and as a picture
    // `side` pixels square (device-independent) for labels.
    static void paintSign(QPainter &painter, const QRectF &area, const QColor &colour = Amber);
    static QPixmap picture(int side, qreal devicePixelRatio, const QColor &colour = Amber);

Q_SIGNALS:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QColor m_colour = Amber;
};
