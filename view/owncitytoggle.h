#pragma once

#include <QCheckBox>

// "مدينتي": the person marks the city the panel shows as their own. A check
// box to the keyboard (Tab reaches it, Space switches it) and to screen
// readers (a check box of that name with its state), drawn in the board's
// colours at the screen's density: a box, ticked in yellow, beside its word.
// It shows the focus as the board's yellow frame.
class OwnCityToggle : public QCheckBox
{
    Q_OBJECT
public:
    static constexpr char Caption[] = QT_TRANSLATE_NOOP("OwnCityToggle", "مدينتي");

    explicit OwnCityToggle(QWidget *parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &pos) const override { return rect().contains(pos); }
};
