#include "KeyMonitor.h"

#include <QKeyEvent>

namespace runel::gui {

KeyMonitor::KeyMonitor(std::function<void(Action)> handler, QObject *parent)
    : QObject(parent)
    , m_handler(std::move(handler))
{ }

namespace {

// Ctrl+Shift+comma ahead of Ctrl+comma: the first whose modifiers are all down wins.
constexpr KeyMonitor::Key monitoredKeys[] = {
    { Qt::ControlModifier | Qt::ShiftModifier | Qt::Key_Comma,
        KeyMonitor::Action::openScriptsFolder, u"Open Scripts Folder" },
    { Qt::ControlModifier | Qt::Key_Comma, KeyMonitor::Action::openSettings, u"Settings" },
    { Qt::ControlModifier | Qt::Key_R, KeyMonitor::Action::reloadScripts, u"Reload Scripts" },
    { Qt::ControlModifier | Qt::Key_Q, KeyMonitor::Action::quit, u"Quit" },
};

} // namespace

std::span<const KeyMonitor::Key> KeyMonitor::keys()
{
    return monitoredKeys;
}

KeyMonitor::Action KeyMonitor::actionFor(const QKeyEvent &event)
{
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    // The key, not the character: Shift+comma gives "<" on many layouts.
    const int key = (modifiers & Qt::ShiftModifier) && event.key() == Qt::Key_Less
        ? int(Qt::Key_Comma)
        : event.key();
    for (const Key &monitored : monitoredKeys) {
        const Qt::KeyboardModifiers needed = monitored.combination.keyboardModifiers();
        if (int(monitored.combination.key()) == key && (modifiers & needed) == needed)
            return monitored.action;
    }
    return Action::none;
}

bool KeyMonitor::eventFilter(QObject *watched, QEvent *event)
{
    // A window sees the key before its focus widget; taking it there keeps it from both.
    if (m_paused || event->type() != QEvent::KeyPress || !watched->isWindowType())
        return QObject::eventFilter(watched, event);
    const Action action = actionFor(*static_cast<QKeyEvent *>(event));
    if (action == Action::none)
        return false;
    m_handler(action);
    return true;
}

} // namespace runel::gui
