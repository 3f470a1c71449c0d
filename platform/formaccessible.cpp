#include "platform/formaccessible.h"

#include "platform/formcontrols.h"

FormLabelAccessible::FormLabelAccessible(FormLabel *label)
    : QAccessibleWidget(label, label->accessibleRole())
{
}

QAccessible::Role FormLabelAccessible::role() const
{
    // A label may be given its role, or its picture, after it was first asked for.
    return label()->accessibleRole();
}

FormLabel *FormLabelAccessible::label() const
{
    return static_cast<FormLabel *>(widget());
}

QString FormLabelAccessible::text(QAccessible::Text t) const
{
    switch (t) {
    case QAccessible::Name:
        return widget()->accessibleName().isEmpty() ? label()->spokenText() : widget()->accessibleName();
    case QAccessible::Description:
        return widget()->accessibleDescription().isEmpty() ? widget()->toolTip() : widget()->accessibleDescription();
    default:
        return QAccessibleWidget::text(t);
    }
}

QAccessible::State FormLabelAccessible::state() const
{
    QAccessible::State s = QAccessibleWidget::state();
    if (role() == QAccessible::Link)
        s.linked = true;
    return s;
}

QList<QPair<QAccessibleInterface *, QAccessible::Relation>> FormLabelAccessible::relations(
    QAccessible::Relation match) const
{
    // The base finds the captions that label this one (their buddy is this
    // label); a caption names the value it labels.
    auto found = QAccessibleWidget::relations(match);
    if (match & QAccessible::Labelled) {
        if (QWidget *buddy = label()->buddy()) {
            if (QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(buddy))
                found.append({iface, QAccessible::Labelled});
        }
    }
    return found;
}

bool FormLabelAccessible::pressable() const
{
    return widget()->focusPolicy() != Qt::NoFocus;
}

QStringList FormLabelAccessible::actionNames() const
{
    return pressable() ? QStringList{pressAction()} : QStringList();
}

void FormLabelAccessible::doAction(const QString &actionName)
{
    if (actionName == pressAction() && pressable())
        label()->click();
}

QStringList FormLabelAccessible::keyBindingsForAction(const QString &actionName) const
{
    if (actionName == pressAction() && pressable())
        return {QStringLiteral("Return"), QStringLiteral("Space")};
    return {};
}
