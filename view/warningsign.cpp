#include "view/warningsign.h"

#include "view/controlkit.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

const QColor WarningSign::Amber(255, 176, 0);

QColor WarningSign::alertColour(const QString &colour)
{
    // Deep enough to tell apart from the amber, and each other, on black.
    if (colour == QLatin1String("yellow"))
        return QColor(255, 230, 40);
    if (colour == QLatin1String("orange"))
        return QColor(255, 120, 0);
    if (colour == QLatin1String("red"))
        return QColor(235, 35, 35);
    return Amber;
}

void WarningSign::setColour(const QColor &colour)
{
    const QColor wanted = colour.isValid() ? colour : Amber;
    if (wanted == m_colour)
        return;
    m_colour = wanted;
    update();
}

WarningSign::WarningSign(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    setVisible(false);
}

void WarningSign::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    paintSign(p, QRectF(rect()), m_colour);
    if (hasFocus()) {
        p.setPen(QPen(ControlKit::Yellow, 1.0));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

QPixmap WarningSign::picture(int side, qreal devicePixelRatio, const QColor &colour)
{
    QPixmap pixmap(QSize(side, side) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    paintSign(p, QRectF(0, 0, side, side), colour);
    return pixmap;
}

void WarningSign::paintSign(QPainter &p, const QRectF &area, const QColor &colour)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(area.width(), area.height()) - 2.0;
    const QPointF centre = area.center();
    const qreal h = side * 0.87;
    QPainterPath triangle;
    triangle.moveTo(centre.x(), centre.y() - h / 2);
    triangle.lineTo(centre.x() + side / 2, centre.y() + h / 2);
    triangle.lineTo(centre.x() - side / 2, centre.y() + h / 2);
    triangle.closeSubpath();
    p.setPen(QPen(ControlKit::Black, 1.0));
    p.setBrush(colour);
    p.drawPath(triangle);
    // The mark: a bar and a dot.
    p.setPen(Qt::NoPen);
    p.setBrush(ControlKit::Black);
    const qreal w = qMax(1.5, side / 8);
    p.drawRect(QRectF(centre.x() - w / 2, centre.y() - h / 6, w, h * 0.36));
    p.drawEllipse(QPointF(centre.x(), centre.y() + h * 0.33), w * 0.6, w * 0.6);
    p.restore();
}

void WarningSign::mouseReleaseEvent(QMouseEvent *event)
{
    if (rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
}

void WarningSign::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (!event->isAutoRepeat())
            Q_EMIT clicked();
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}
