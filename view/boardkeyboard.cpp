#include "view/boardkeyboard.h"

#include "platform/formcontrols.h"
#include "view/citygrid.h"
#include "view/controlkit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>

#include <utility>

namespace {

// The frame around the focused control: a thin yellow line, the colour of
// the city names, on the black board. It takes no clicks.
class FocusFrame : public QWidget
{
public:
    FocusFrame()
    {
        setObjectName(QStringLiteral("FocusFrame"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setPen(QPen(ControlKit::Yellow, 1));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

bool activates(const QKeyEvent *key)
{
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Space;
}

} // namespace

BoardKeyboard::BoardKeyboard(FormLabel *expand, FormLabel *collapse, const QList<QWidget *> &stripControls,
                             const QList<QWidget *> &expandedControls, QWidget *window)
    : QObject(window)
    , m_expand(expand)
    , m_collapse(collapse)
    , m_stripControls(stripControls)
    , m_expandedControls(expandedControls)
    , m_window(window)
    , m_frame(new FocusFrame)
{
    m_frame->setParent(window);
    // Labels and the grid take focus from the keyboard only: a click acts
    // on them as it always did and moves no focus.
    const QList<QWidget *> chain = QList<QWidget *>{m_expand, m_collapse} + m_stripControls + m_expandedControls;
    for (QWidget *control : chain) {
        if (qobject_cast<FormLabel *>(control) || qobject_cast<CityGrid *>(control))
            control->setFocusPolicy(Qt::TabFocus);
        control->installEventFilter(this);
        if (auto *grid = qobject_cast<CityGrid *>(control))
            connect(grid, &CityGrid::currentRowChanged, this, &BoardKeyboard::placeFrame);
    }
    // Tab order: the button, then the expanded board from right to left.
    for (int i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
    for (QWidget *control : m_expandedControls)
        m_policies << control->focusPolicy();
    m_window->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this, &BoardKeyboard::placeFrame);
    updateReach();
}

bool BoardKeyboard::reachable(const QWidget *control) const
{
    return control && (m_expanded || control == m_expand || control == m_collapse || m_stripControls.contains(control));
}

void BoardKeyboard::updateReach()
{
    const bool expanded = !m_collapse->isHidden();
    if (expanded == m_expanded)
        return;
    m_expanded = expanded;
    for (int i = 0; i < m_expandedControls.size(); ++i)
        m_expandedControls[i]->setFocusPolicy(expanded ? m_policies[i] : Qt::NoFocus);
}

bool BoardKeyboard::showsFocus() const
{
    return m_keyboardInUse && framedControl();
}

QWidget *BoardKeyboard::framedControl() const
{
    QWidget *focused = QApplication::focusWidget();
    if (!focused || focused->window() != m_window || !reachable(focused))
        return nullptr;
    if (auto *grid = qobject_cast<CityGrid *>(focused))
        return grid->currentRow() >= 0 ? static_cast<QWidget *>(grid->lblCity(grid->currentRow())) : grid;
    return qobject_cast<FormLabel *>(focused);
}

void BoardKeyboard::placeFrame()
{
    if (!m_frame)
        return;
    QWidget *control = showsFocus() ? framedControl() : nullptr;
    if (!control || control->isHidden()) {
        m_frame->hide();
        return;
    }
    if (m_frame->parentWidget() != control->parentWidget())
        m_frame->setParent(control->parentWidget());
    m_frame->setGeometry(control->geometry());
    m_frame->raise();
    m_frame->show();
}

void BoardKeyboard::settleFocus()
{
    updateReach();
    // The button in view: the collapse button while expanded.
    FormLabel *button = !m_collapse->isHidden() ? m_collapse : !m_expand->isHidden() ? m_expand : nullptr;
    if (button) {
        // The button that took the place of the focused one takes the focus,
        // and so it does from a control that has gone out of view.
        QWidget *focused = QApplication::focusWidget();
        const bool lost = !focused || focused->window() != m_window || !reachable(focused) || focused->isHidden();
        if (std::exchange(m_handOver, false) || lost)
            button->setFocus(Qt::OtherFocusReason);
    }
    placeFrame();
}

bool BoardKeyboard::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
        m_keyboardInUse = true;
        auto *label = qobject_cast<FormLabel *>(watched);
        if (label && activates(key) && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            if (!key->isAutoRepeat())
                label->click();
            placeFrame();
            return true;
        }
        placeFrame();
        break;
    }
    case QEvent::FocusIn: {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason)
            m_keyboardInUse = true;
        break;
    }
    case QEvent::MouseButtonPress:
        m_keyboardInUse = false;
        placeFrame();
        break;
    case QEvent::Hide:
        // Sent while the hidden button still has the focus, before Qt moves it on.
        if ((watched == m_expand || watched == m_collapse) && static_cast<QWidget *>(watched)->hasFocus())
            m_handOver = true;
        break;
    case QEvent::Show:
        // Shown, the window shows the children that were not hidden.
        if (watched == m_window)
            updateReach();
        break;
    case QEvent::ShowToParent:
    case QEvent::HideToParent:
        if (watched == m_expand || watched == m_collapse)
            settleFocus();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
