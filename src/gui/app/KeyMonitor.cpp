#include "KeyMonitor.h"

#include <QKeyEvent>

namespace runel::gui {

KeyMonitor::KeyMonitor(std::function<void(Action)> handler, QObject *parent)
    : QObject(parent)
    , m_handler(std::move(handler))
{ }

KeyMonitor::Action KeyMonitor::actionFor(const QKeyEvent &event)
{
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    if (!(modifiers & Qt::ControlModifier))
        return Action::none;
    // The key, not the character: Shift+comma gives "<" on many layouts.
    const bool comma = event.key() == Qt::Key_Comma
        || ((modifiers & Qt::ShiftModifier) && event.key() == Qt::Key_Less);
    if (comma)
        return (modifiers & Qt::ShiftModifier) ? Action::openScriptsFolder : Action::openSettings;
    if (event.key() == Qt::Key_R)
        return Action::reloadScripts;
    if (event.key() == Qt::Key_Q)
        return Action::quit;
    return Action::none;
}

bool KeyMonitor::eventFilter(QObject *watched, QEvent *event)
{
    // A window sees the key before its focus widget; taking it there keeps it from both.
    if (event->type() != QEvent::KeyPress || !watched->isWindowType())
        return QObject::eventFilter(watched, event);
    const Action action = actionFor(*static_cast<QKeyEvent *>(event));
    if (action == Action::none)
        return false;
    m_handler(action);
    return true;
}

} // namespace runel::gui
