#include "MenuKeyWatcher.h"

#include "KeyboardShortcuts/HotKeyCenter.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <algorithm>

namespace runel::KeyboardShortcuts {

MenuKeyWatcher::MenuKeyWatcher(HotKeyCenter &center, QObject *parent)
    : QObject(parent)
    , m_center(center)
{
    qApp->installEventFilter(this);
}

MenuKeyWatcher::~MenuKeyWatcher()
{
    qApp->removeEventFilter(this);
    if (!m_openMenus.isEmpty())
        m_center.setMenuOpen(false);
}

bool MenuKeyWatcher::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::Show && type != QEvent::Hide && type != QEvent::KeyPress
        && type != QEvent::KeyRelease)
        return false;
    auto *menu = qobject_cast<QMenu *>(watched);
    if (!menu)
        return false;
    if (type == QEvent::Show || type == QEvent::Hide) {
        setOpen(menu, type == QEvent::Show);
        return false;
    }
    const auto *key = static_cast<QKeyEvent *>(event);
    const std::optional<Shortcut> shortcut = Shortcut::fromQt(key->key(), key->modifiers());
    if (!shortcut)
        return false;
    // A held key repeats its press; the handlers ran on the first one.
    if (key->isAutoRepeat())
        return m_center.mode() == HotKeyCenter::Mode::menuOpen
            && std::any_of(m_center.bindings().begin(), m_center.bindings().end(),
                [&](const Binding &binding) { return binding.shortcut == *shortcut; });
    return m_center.matchKeyEvent(*shortcut, type == QEvent::KeyPress);
}

void MenuKeyWatcher::setOpen(QObject *menu, bool open)
{
    const bool wasOpen = !m_openMenus.isEmpty();
    if (open && !m_openMenus.contains(menu)) {
        m_openMenus.insert(menu);
        // A menu deleted while open sends no Hide.
        connect(menu, &QObject::destroyed, this, [this, menu] { setOpen(menu, false); });
    } else if (!open && m_openMenus.remove(menu)) {
        disconnect(menu, &QObject::destroyed, this, nullptr);
    }
    if (wasOpen != !m_openMenus.isEmpty())
        m_center.setMenuOpen(!m_openMenus.isEmpty());
}

} // namespace runel::KeyboardShortcuts
