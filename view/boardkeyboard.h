#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class CityGrid;
class FormLabel;
class QWidget;

// The board without a mouse. Tab goes right to left, in reading order,
// through the expand (or collapse) button, the strip's own controls (its
// warning sign, while it shows), and then, expanded, through the controls of
// the expanded board in the order given: the sort list, the
// grid, the map link and the maker's link. Enter or Space on the button or a
// link acts as a click; the grid moves by itself (CityGrid). Collapsed, the
// controls beyond the strip take no focus and the button takes it first;
// when the button gives way to the other one at its place, the focus goes
// with it.
//
// The focus shows as a yellow frame (a city's name in the grid) while the
// keyboard is in use: from a Tab or a key pressed on the board until the
// next mouse press. Focus given by the window's activation or by a click
// shows nothing, so the board looks as it always did to a mouse.
class BoardKeyboard : public QObject
{
    Q_OBJECT
public:
    BoardKeyboard(FormLabel *expand, FormLabel *collapse, const QList<QWidget *> &stripControls,
                  const QList<QWidget *> &expandedControls, QWidget *window);

    // Whether the focus frame is shown, and around what.
    bool showsFocus() const;
    QWidget *framedControl() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void settleFocus();
    void updateReach();
    void placeFrame();
    bool reachable(const QWidget *control) const;

    FormLabel *m_expand;
    FormLabel *m_collapse;
    QList<QWidget *> m_stripControls;
    QList<QWidget *> m_expandedControls;
    QList<Qt::FocusPolicy> m_policies; // of the expanded controls, while expanded
    QWidget *m_window;
    // Moves between the window and the grid, and goes with whichever is
    // deleted first when the board closes.
    QPointer<QWidget> m_frame;
    bool m_expanded = true;
    bool m_keyboardInUse = false;
    bool m_handOver = false; // the focused button was hidden: the other one takes the focus
};
