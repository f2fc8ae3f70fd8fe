#pragma once

#include "DesktopTriggers.h"
#include "Shortcut.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <vector>

namespace runel::KeyboardShortcuts {

// One combination held for the names bound to it. holdsKeys: a press keeps back the keys typed
// after it (see HotKeyBackend::holdKeys) before the names are reported, because one of them
// opens a window that should get those keys.
struct Binding {
    Shortcut shortcut;
    QStringList names;
    bool holdsKeys = false;

    bool operator==(const Binding &) const = default;
};

// The system's global hot key facility: X11 key grabs, the desktop portal, or none. Chosen at
// run time (chooseHotKeyBackend); tests use a fake. Main thread.
class HotKeyBackend : public QObject {
    Q_OBJECT
public:
    enum class Kind { x11, portal, none };
    Q_ENUM(Kind)

    using QObject::QObject;

    virtual Kind kind() const = 0;

    // Makes what is held exactly bindings: grabs what is new, lets go of what is gone. Called
    // after every change, with every binding; an equal list changes nothing.
    virtual void setBindings(const std::vector<Binding> &bindings) = 0;

    // Whether another program holds the combination, so it cannot be ours. X11 knows this from
    // its checked grabs (and may try one for a combination not held yet); the portal never says.
    virtual bool isHeldElsewhere(const Shortcut &shortcut) = 0;
    // Whether a combination of the bindings is not held because another program holds it, as
    // the last attempt found (asks the system nothing). stateChanged follows a change.
    virtual bool isBindingHeldElsewhere(const Shortcut &shortcut) const
    {
        Q_UNUSED(shortcut)
        return false;
    }

    // Keys typed right after a hot key must reach the window it opens, not the one that had the
    // focus. A binding that holdsKeys keeps them back from its press on; holdKeys does the same
    // outside a press (a command from another process), time being the X server time or 0 for
    // now. They wait (X11: in the server) until releaseKeysOnceFocused or a short safety
    // timeout. Nothing happens where the back end cannot hold keys.
    virtual void holdKeys(quint32 time) { Q_UNUSED(time) }
    // Lets the held keys go once window (a native window id; 0: at once) has the system's
    // keyboard focus, or at the hold's timeout: the toolkit may count a window as focused a
    // moment before the system does (on X11 the window manager can announce the new active
    // window before it moves the focus), and keys let go of then reach the window that had the
    // focus. At once where the back end cannot tell.
    virtual void releaseKeysOnceFocused(quintptr window) { Q_UNUSED(window) }

    // Where the desktop decides the triggers itself (portal); null elsewhere.
    virtual DesktopTriggers *desktopTriggers() { return nullptr; }
    const DesktopTriggers *desktopTriggers() const
    {
        return const_cast<HotKeyBackend *>(this)->desktopTriggers();
    }

Q_SIGNALS:
    // A name's combination went down (time: the X server time of the press, or 0) or up.
    void pressed(const QString &name, quint32 time);
    void released(const QString &name);
    // What isBindingHeldElsewhere or the desktop triggers say may have changed.
    void stateChanged();
};

} // namespace runel::KeyboardShortcuts
