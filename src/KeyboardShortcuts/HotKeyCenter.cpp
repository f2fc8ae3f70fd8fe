#include "HotKeyCenter.h"

#include <QTimer>
#include <algorithm>

namespace KeyboardShortcuts {

HotKeyCenter::HotKeyCenter(std::unique_ptr<HotKeyBackend> backend, QObject *parent)
    : QObject(parent)
    , m_backend(std::move(backend))
{
    // Only normal mode acts on the system's events: disabled holds nothing, and in menuOpen the
    // menu's own key events are matched instead (a press seen both ways must run once).
    connect(m_backend.get(), &HotKeyBackend::pressed, this,
        [this](const Shortcut &shortcut, quint32 time) {
            if (m_mode == Mode::normal)
                Q_EMIT keyDown(shortcut, time);
        });
    connect(m_backend.get(), &HotKeyBackend::released, this, [this](const Shortcut &shortcut) {
        if (m_mode == Mode::normal)
            Q_EMIT keyUp(shortcut);
    });
    connect(m_backend.get(), &HotKeyBackend::namePressed, this, [this](const QString &name) {
        if (m_mode != Mode::disabled)
            Q_EMIT nameKeyDown(name);
    });
    connect(m_backend.get(), &HotKeyBackend::nameReleased, this, [this](const QString &name) {
        if (m_mode != Mode::disabled)
            Q_EMIT nameKeyUp(name);
    });
}

HotKeyCenter::~HotKeyCenter() = default;

void HotKeyCenter::setBindings(std::vector<Binding> bindings)
{
    m_bindings = std::move(bindings);
    if (m_flushPending)
        return;
    m_flushPending = true;
    QTimer::singleShot(0, this, &HotKeyCenter::flush);
}

void HotKeyCenter::flush()
{
    m_flushPending = false;
    // A desktop that delivers its shortcuts itself (portal) is not blocked by an open menu, and
    // re-binding there may ask the user again: only disabled lets go of its bindings.
    const bool holds = m_mode == Mode::normal
        || (m_mode == Mode::menuOpen && m_backend->kind() == HotKeyBackend::Kind::portal);
    std::vector<Binding> wanted = holds ? m_bindings : std::vector<Binding> {};
    if (m_applied && *m_applied == wanted)
        return;
    m_backend->setBindings(wanted);
    m_applied = std::move(wanted);
}

void HotKeyCenter::setEnabled(bool enabled)
{
    m_enabled = enabled;
    updateMode();
}

void HotKeyCenter::setMenuOpen(bool open)
{
    m_menuOpen = open;
    updateMode();
}

bool HotKeyCenter::matchKeyEvent(const Shortcut &shortcut, bool pressed)
{
    if (m_mode != Mode::menuOpen || m_backend->kind() == HotKeyBackend::Kind::portal)
        return false;
    const bool bound = std::any_of(m_bindings.begin(), m_bindings.end(),
        [&](const Binding &binding) { return binding.shortcut == shortcut; });
    if (!bound)
        return false;
    if (pressed)
        Q_EMIT keyDown(shortcut, 0);
    else
        Q_EMIT keyUp(shortcut);
    return true;
}

void HotKeyCenter::updateMode()
{
    const Mode mode = !m_enabled ? Mode::disabled : m_menuOpen ? Mode::menuOpen : Mode::normal;
    if (mode == m_mode)
        return;
    m_mode = mode;
    // At once, not at the end of the turn: a recorder that starts must see the keys the grabs
    // took a moment ago.
    flush();
    Q_EMIT modeChanged(mode);
}

} // namespace KeyboardShortcuts
