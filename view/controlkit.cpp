#include "view/controlkit.h"

#include "platform/boardlanguage.h"

#include <QFileInfo>
#include <QFontMetricsF>
#include <QImageReader>

#include <cmath>

namespace ControlKit {

QFont tahoma(double points, bool bold)
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QFont sansSerif(double points, bool bold)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

FormLabel *makeLabel(QWidget *parent, const QString &name, const QRect &twips, const QString &caption,
                     const QColor &color, const QFont &font, bool rightToLeft)
{
    auto *label = new FormLabel(parent);
    label->setObjectName(name);
    label->setTwipsGeometry(twips.x(), twips.y(), twips.width(), twips.height());
    label->setText(caption);
    label->setForeColor(color);
    label->setFont(font);
    label->setLayoutDirection(rightToLeft && !boardReadsLeftToRight() ? Qt::RightToLeft : Qt::LeftToRight);
    label->setAlignment((rightToLeft ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QFrame *makeShape(QWidget *parent, const QString &name, const QRect &twips, const QColor &border, const QColor &fill)
{
    auto *shape = new QFrame(parent);
    shape->setObjectName(name);
    shape->setGeometry(twipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
    shape->setStyleSheet(QStringLiteral("QFrame#%1 { border: 1px solid %2; background: %3; }")
                             .arg(name, border.name(), fill.alpha() ? fill.name() : QStringLiteral("transparent")));
    // An empty box is only its border: what moves inside it (the wind arrow
    // over the map) then does not make it draw again.
    if (!fill.alpha())
        shape->setMask(QRegion(shape->rect()) - QRegion(shape->rect().adjusted(1, 1, -1, -1)));
    return shape;
}

FormLine *makeLine(QWidget *parent, const QString &name, float x1, float y1, float x2, float y2, const QColor &color,
                   int width)
{
    auto *line = new FormLine(parent);
    line->setObjectName(name);
    line->setColor(color);
    line->setPenWidth(width);
    line->setPoints(x1, y1, x2, y2);
    return line;
}

void mirrorAcross(QWidget *control, int axisTwips)
{
    if (!boardReadsLeftToRight())
        return;
    if (auto *label = qobject_cast<FormLabel *>(control)) {
        label->setTwipsGeometry(axisTwips - label->leftTwips() - label->widthTwips(), label->topTwips(),
                                label->widthTwips(), label->heightTwips());
        const QMargins margins = label->contentsMargins();
        label->setContentsMargins(margins.right(), margins.top(), margins.left(), margins.bottom());
    } else if (auto *line = qobject_cast<FormLine *>(control)) {
        line->setPoints(float(axisTwips) - line->x1(), line->y1(), float(axisTwips) - line->x2(), line->y2());
    } else {
        const QRect place = control->geometry();
        control->move(twipsToPixels(axisTwips) - place.x() - place.width(), place.y());
    }
}

void mirrorControls(QWidget *part, int widthTwips)
{
    if (!boardReadsLeftToRight())
        return;
    for (QWidget *control : part->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (!control->isWindow())
            mirrorAcross(control, widthTwips);
    }
}

int captionWidthTwips(const FormLabel *label)
{
    const qreal advance = QFontMetricsF(label->font(), label).horizontalAdvance(label->text());
    return pixelsToTwips(int(std::ceil(advance)) + 2 * FormLabel::TextGap);
}

QImage readPicture(const QString &path, qreal devicePixelRatio)
{
    const auto read = [](const QString &file) {
        QImageReader reader(file);
        reader.setDecideFormatFromContent(true);
        return reader.read();
    };
    if (devicePixelRatio > 1) {
        const QFileInfo info(path);
        const QString sharp = info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral("@2x.")
            + info.suffix();
        QImage image = QFileInfo::exists(sharp) ? read(sharp) : QImage();
        if (!image.isNull()) {
            image.setDevicePixelRatio(2);
            return image;
        }
    }
    return read(path);
}

void makeBlack(QWidget *part)
{
    QPalette p = part->palette();
    p.setColor(QPalette::Window, Black);
    part->setPalette(p);
    part->setFont(tahoma(8.25));
}

} // namespace ControlKit
