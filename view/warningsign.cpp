#include "view/warningsign.h"

#include "view/controlkit.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

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
    paintSign(p, QRectF(rect()));
    if (hasFocus()) {
        p.setPen(QPen(ControlKit::Yellow, 1.0));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

QPixmap WarningSign::picture(int side, qreal devicePixelRatio)
{
    QPixmap pixmap(QSize(side, side) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    paintSign(p, QRectF(0, 0, side, side));
    return pixmap;
}

void WarningSign::paintSign(QPainter &p, const QRectF &area)
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
    p.setBrush(QColor(255, 176, 0));
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
