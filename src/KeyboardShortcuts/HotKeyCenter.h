#pragma once

#include "HotKeyBackend.h"

#include <QObject>
#include <memory>
#include <optional>
#include <vector>

namespace runel::KeyboardShortcuts {

// Owns what is held with the system. Modes: disabled (the service is disabled or suspended:
// nothing held), menuOpen (one of the app's menus has the keyboard, so system grabs cannot
// fire: nothing held, and the key events the menu sees are matched instead through
// matchKeyEvent) and normal (every binding held). Bindings are applied to the back end once per
// event-loop turn, so a burst of changes costs one back-end call; flush applies them at once.
class HotKeyCenter : public QObject {
    Q_OBJECT
public:
    enum class Mode { disabled, normal, menuOpen };
    Q_ENUM(Mode)

    explicit HotKeyCenter(std::unique_ptr<HotKeyBackend> backend, QObject *parent = nullptr);
    ~HotKeyCenter() override;

    HotKeyBackend &backend() { return *m_backend; }
    const HotKeyBackend &backend() const { return *m_backend; }
    Mode mode() const { return m_mode; }

    // What should be held in normal mode; applied at the end of this event-loop turn.
    void setBindings(std::vector<Binding> bindings);
    const std::vector<Binding> &bindings() const { return m_bindings; }
    void flush();

    void setEnabled(bool enabled); // false while the service is disabled or suspended
    void setMenuOpen(bool open); // the GUI tells when one of the app's menus opens and closes
    // In menuOpen mode, a key event a menu received: emits keyDown or keyUp for the names of a
    // held combination and returns true (the menu should not act on it), else false.
    bool matchKeyEvent(const Shortcut &shortcut, bool pressed);

Q_SIGNALS:
    // A bound name's combination went down or up. time: X server time, or 0.
    void keyDown(const QString &name, quint32 time);
    void keyUp(const QString &name);
    void modeChanged(runel::KeyboardShortcuts::HotKeyCenter::Mode mode);

private:
    void updateMode();
    bool acceptsBackendEvents() const;

    std::unique_ptr<HotKeyBackend> m_backend;
    std::vector<Binding> m_bindings;
    Mode m_mode = Mode::normal;
    bool m_enabled = true;
    bool m_menuOpen = false;
    bool m_flushPending = false;
    // What the back end was last given; none before the first flush.
    std::optional<std::vector<Binding>> m_applied;
};

} // namespace runel::KeyboardShortcuts
