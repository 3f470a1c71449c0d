#pragma once

#include <QPixmap>
#include <QWidget>

class QPainter;

// A warning sign, drawn: an amber triangle with an exclamation mark. One
// that takes the focus acts on Enter or Space as on a click, and shows the
// focus as the board's yellow frame.
class WarningSign : public QWidget
{
    Q_OBJECT
public:
    explicit WarningSign(QWidget *parent = nullptr);

    // The sign drawn in `area`, as the widget draws itself; and as a picture
    // `side` pixels square (device-independent) for labels.
    static void paintSign(QPainter &painter, const QRectF &area);
    static QPixmap picture(int side, qreal devicePixelRatio);

Q_SIGNALS:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};
