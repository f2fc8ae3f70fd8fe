#include "HotKeyCenter.h"

#include <QTimer>
#include <algorithm>

namespace runel::KeyboardShortcuts {

HotKeyCenter::HotKeyCenter(std::unique_ptr<HotKeyBackend> backend, QObject *parent)
    : QObject(parent)
    , m_backend(std::move(backend))
{
    connect(
        m_backend.get(), &HotKeyBackend::pressed, this, [this](const QString &name, quint32 time) {
            if (acceptsBackendEvents())
                Q_EMIT keyDown(name, time);
        });
    connect(m_backend.get(), &HotKeyBackend::released, this, [this](const QString &name) {
        if (acceptsBackendEvents())
            Q_EMIT keyUp(name);
    });
}

bool HotKeyCenter::acceptsBackendEvents() const
{
    // Only normal mode acts on grabbed keys: disabled holds nothing, and in menuOpen the menu's
    // own key events are matched instead (a press seen both ways must run once). A desktop that
    // delivers its shortcuts itself (portal) is not blocked by a menu.
    return m_mode == Mode::normal
        || (m_mode == Mode::menuOpen && m_backend->kind() == HotKeyBackend::Kind::portal);
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
    // Re-binding on a desktop that delivers its shortcuts itself may ask the user again: only
    // disabled lets go of its bindings.
    const bool holds = acceptsBackendEvents();
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
    const auto bound = std::find_if(m_bindings.begin(), m_bindings.end(),
        [&](const Binding &binding) { return binding.shortcut == shortcut; });
    if (bound == m_bindings.end())
        return false;
    // A copy: a handler may change the bindings.
    const QStringList names = bound->names;
    for (const QString &name : names) {
        if (pressed)
            Q_EMIT keyDown(name, 0);
        else
            Q_EMIT keyUp(name);
    }
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

} // namespace runel::KeyboardShortcuts
