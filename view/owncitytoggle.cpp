#include "view/owncitytoggle.h"

#include "platform/boardlanguage.h"
#include "view/controlkit.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPainterPath>

OwnCityToggle::OwnCityToggle(QWidget *parent)
    : QCheckBox(QCoreApplication::translate("OwnCityToggle", Caption), parent)
{
    setObjectName(QStringLiteral("OwnCity"));
    setFont(ControlKit::tahoma(8.25, true));
    setLayoutDirection(boardReadsLeftToRight() ? Qt::LeftToRight : Qt::RightToLeft);
    setFocusPolicy(Qt::TabFocus);
}

QSize OwnCityToggle::sizeHint() const
{
    const QFontMetrics metrics(font());
    return QSize(metrics.height() + 4 + metrics.horizontalAdvance(text()) + 8, metrics.height() + 6);
}

void OwnCityToggle::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink = isChecked() ? ControlKit::Yellow : ControlKit::Cyan;
    // The box where a line begins (the right in Arabic), its word after it.
    const bool leftToRight = layoutDirection() == Qt::LeftToRight;
    const qreal side = qMin<qreal>(height() - 6, fontMetrics().height() - 2);
    const QRectF box(leftToRight ? 3 : width() - 3 - side, (height() - side) / 2, side, side);
    p.setPen(QPen(ink, 1.0));
    p.setBrush(isChecked() ? QBrush(ink) : QBrush(Qt::NoBrush));
    p.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
    if (isChecked()) {
        QPainterPath tick;
        tick.moveTo(box.left() + side * 0.22, box.top() + side * 0.52);
        tick.lineTo(box.left() + side * 0.42, box.top() + side * 0.74);
        tick.lineTo(box.left() + side * 0.80, box.top() + side * 0.28);
        p.setPen(QPen(ControlKit::Black, qMax(1.5, side / 7), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    }
    p.setPen(ink);
    if (leftToRight)
        p.drawText(QRectF(box.right() + 4, 0, width() - box.right() - 4, height()), Qt::AlignLeft | Qt::AlignVCenter,
                   text());
    else
        p.drawText(QRectF(0, 0, box.left() - 4, height()), Qt::AlignRight | Qt::AlignVCenter, text());
    if (hasFocus()) {
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(ControlKit::Yellow, 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}
