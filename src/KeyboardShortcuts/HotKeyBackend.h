#pragma once

#include "Shortcut.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <vector>

namespace KeyboardShortcuts {

// One combination held for the names bound to it.
struct Binding {
    Shortcut shortcut;
    QStringList names;

    bool operator==(const Binding &) const = default;
};

// The system's global hot key facility: X11 key grabs, the desktop portal, or none. Chosen at
// run time (chooseHotKeyBackend); tests use a fake. Main thread.
class HotKeyBackend : public QObject {
    Q_OBJECT
public:
    enum class Kind { x11, portal, none };
    Q_ENUM(Kind)
    // Whether the desktop took the names it was asked to hold (portal): not asked yet or waiting
    // for its answer, bound, refused by the user in the desktop's dialog, or failed (the desktop
    // refused the app or its session, or the call went wrong; the log says which).
    enum class BindState { pending, bound, refusedByUser, failed };
    Q_ENUM(BindState)

    using QObject::QObject;

    virtual Kind kind() const = 0;

    // Makes what is held exactly bindings: grabs what is new, lets go of what is gone. Called
    // after every change, with every binding; an equal list changes nothing.
    virtual void setBindings(const std::vector<Binding> &bindings) = 0;

    // Whether another program holds the combination, so it cannot be ours. X11 knows this from
    // its checked grabs (and may try one for a combination not held yet); the portal never says.
    virtual bool isHeldElsewhere(const Shortcut &shortcut) = 0;
    // Whether a combination of the bindings is not held because another program holds it, as
    // the last attempt found (asks the system nothing). conflictsChanged follows a change.
    virtual bool isBindingHeldElsewhere(const Shortcut &shortcut) const
    {
        Q_UNUSED(shortcut)
        return false;
    }

    // What the desktop reports as a name's trigger ("Super+Shift+L"), when it decides that
    // itself (portal); empty when the stored combination is what is held.
    virtual QString triggerDescription(const QString &name) const
    {
        Q_UNUSED(name)
        return {};
    }

    // Names with handlers but no stored combination. Where the desktop records the triggers
    // (recordsItself), they are offered too, without a preferred trigger, so the user can give
    // them one in the desktop's dialog; elsewhere they hold nothing and this is ignored.
    virtual void setUnboundNames(const QStringList &names) { Q_UNUSED(names) }
    // Readable texts for names, where the desktop shows them (portal); the raw name otherwise.
    virtual void setDescriptions(const QHash<QString, QString> &descriptions)
    {
        Q_UNUSED(descriptions)
    }

    // Back ends that hold combinations themselves (X11) report bound: their failures are per
    // combination (isHeldElsewhere).
    virtual BindState bindState() const { return BindState::bound; }

    // Whether the desktop records combinations itself (portal): the recorder then hands over.
    virtual bool recordsItself() const { return false; }
    // Opens the desktop's own dialog for changing the triggers, where it has one.
    virtual void configureTriggers() { }

    // Keys typed right after a hot key must reach the window it opens, not the one that had the
    // focus. holdKeys keeps them back (X11: the keyboard waits in the server) until releaseKeys
    // or a short safety timeout; time is the X server time of the press, or 0 for now.
    virtual void holdKeys(quint32 time) { Q_UNUSED(time) }
    virtual void releaseKeys() { }
    // releaseKeys once window (a native window id) has the system's keyboard focus, or at the
    // hold's timeout: the toolkit may count a window as focused a moment before the system does
    // (on X11 the window manager can announce the new active window before it moves the
    // focus), and keys let go of then reach the window that had the focus. At once where the
    // back end cannot tell.
    virtual void releaseKeysOnceFocused(quintptr window)
    {
        Q_UNUSED(window)
        releaseKeys();
    }

Q_SIGNALS:
    // A held combination was pressed or released (X11). time is the X server time of the event.
    void pressed(const KeyboardShortcuts::Shortcut &shortcut, quint32 time);
    void released(const KeyboardShortcuts::Shortcut &shortcut);
    // The desktop activated a name (portal).
    void namePressed(const QString &name);
    void nameReleased(const QString &name);
    // What isHeldElsewhere, triggerDescription or bindState say has changed.
    void conflictsChanged();
    void triggersChanged();
    void bindStateChanged();
};

} // namespace KeyboardShortcuts
