#pragma once

#include <QAccessibleWidget>

class FormLabel;

// What a screen reader is told of a FormLabel: the role the label was given,
// its spoken caption (or the accessible name set on it), a press action for
// a label that takes focus, and the caption that labels it (its buddy).
class FormLabelAccessible : public QAccessibleWidget
{
public:
    explicit FormLabelAccessible(FormLabel *label);

    FormLabel *label() const;

    QAccessible::Role role() const override;
    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    QList<QPair<QAccessibleInterface *, QAccessible::Relation>> relations(
        QAccessible::Relation match = QAccessible::AllRelations) const override;

    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;
    QStringList keyBindingsForAction(const QString &actionName) const override;

private:
    bool pressable() const;
};
