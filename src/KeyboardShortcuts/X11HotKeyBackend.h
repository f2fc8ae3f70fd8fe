#pragma once

#include "HotKeyBackend.h"
#include "X11Keymap.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QTimer>
#include <chrono>
#include <memory>
#include <vector>

class QSocketNotifier;
struct xcb_connection_t;

namespace runel::KeyboardShortcuts {

// Global hot keys on an X server, through a connection of the back end's own (the module runs
// without Qt GUI, so it cannot borrow the application's). Main thread.
//
// Grabs. Each combination is a passive key grab on the root window, made once for every
// combination of the lock modifiers (Caps Lock, and Num Lock and Scroll Lock where the modifier
// map puts them), since the server matches modifiers exactly. Super is Mod4, Alt is Mod1. The
// key code is the one that gives the key's keysym in the current mapping; when the mapping
// changes (core MappingNotify, XKB new keyboard or map notify) every grab is made again. Grabs
// are checked requests sent in one batch and checked after a single round trip, so binding 100
// combinations costs one round trip. BadAccess means another client holds the combination: it
// is then held elsewhere (isHeldElsewhere, conflictsChanged), none of its variants is kept, and
// it is tried again when the bindings or the mapping change, or when isHeldElsewhere asks.
//
// Press and release. The connection asks XKB for detectable auto-repeat, so holding a key gives
// repeated presses without releases; a press of a combination that is already down is ignored,
// so it is one pressed signal. The release is found by reading the key state (QueryKeymap) every
// few milliseconds while a combination is down, not from the release event: the grab is given up
// right after the press (see below), so the release goes to the focused window, not to us. Every
// pressed signal is followed by exactly one released signal.
//
// No lost keystrokes. The grabs are made with the keyboard in synchronous mode: at the hot key's
// press the server freezes the keyboard, and everything typed after it waits, in order, in the
// server. The pressed signals are emitted while it is frozen. If the binding holdsKeys, the
// keyboard stays frozen until releaseKeysOnceFocused (the app calls it once its window has the
// focus), or at the latest until the hold timeout (1 s) runs out, so the keyboard can never stay
// frozen for long. If not, the keyboard is let go as soon as the handlers return. Letting go
// ungrabs the keyboard: the server then delivers the waiting keys as if there had been no grab, to
// the window that has the focus by then. An ungrab is used rather than AllowEvents(AsyncKeyboard),
// which would keep the grab until the hot key's own key is released and so take for us any key
// pressed while it is still down (a fast typist's rollover). holdKeys outside a press (`runel
// toggle` from a desktop binding) takes an active grab of the keyboard in synchronous mode at the
// given time, which freezes it the same way; it fails quietly when another client has the keyboard.
// releaseKeys must come after the new focus is set: the focus request and our ungrab travel on
// different connections, so the caller waits for its window's focus-in before releasing, and
// releaseKeysOnceFocused goes on to ask the server itself until the focus is really there.
// The timeout guards against a missing releaseKeys, not against a hung main thread; if the
// process dies, the server drops its grabs with the connection.
class X11HotKeyBackend : public HotKeyBackend {
    Q_OBJECT
public:
    // A back end on the display named (the environment's DISPLAY when empty); null when no X
    // display can be opened.
    static std::unique_ptr<X11HotKeyBackend> connect(const QByteArray &display = {});
    ~X11HotKeyBackend() override;

    Kind kind() const override { return Kind::x11; }
    void setBindings(const std::vector<Binding> &bindings) override;
    bool isHeldElsewhere(const Shortcut &shortcut) override;
    bool isBindingHeldElsewhere(const Shortcut &shortcut) const override
    {
        return m_heldElsewhere.contains(shortcut);
    }
    void holdKeys(quint32 time) override;
    void releaseKeysOnceFocused(quintptr window) override;
    // Lets the held keys go at once.
    void releaseKeys();

    bool isHoldingKeys() const { return m_holding; }
    void setHoldTimeout(std::chrono::milliseconds timeout) { m_holdTimer.setInterval(timeout); }

private:
    struct Grab {
        uint8_t keycode = 0;
        uint16_t modifiers = 0;
    };
    enum class GrabResult { held, heldElsewhere, unavailable };
    struct Down {
        uint8_t keycode;
        QStringList names; // as bound at the press, so that each press has its release
    };

    X11HotKeyBackend(xcb_connection_t *connection, int screen, uint8_t xkbFirstEvent);

    Grab grabFor(const Shortcut &shortcut) const;
    // Grabs every shortcut in one batch of checked requests; one round trip.
    std::vector<GrabResult> grab(const std::vector<Shortcut> &shortcuts);
    void ungrab(const Grab &grab);
    // Grabs what is wanted and not held; emits conflictsChanged when the conflicts changed.
    void grabWanted(const QSet<Shortcut> &previousConflicts);
    void remap();

    void readEvents();
    void scheduleRead();
    void handlePress(uint8_t keycode, uint16_t state, quint32 time);
    void handleRelease(uint8_t keycode);
    void pollReleases();
    void letGo();
    void emitReleased(const QStringList &names);
    void letGoOnceFocused();

    xcb_connection_t *m_connection;
    uint32_t m_root = 0;
    uint8_t m_xkbFirstEvent = 0; // 0 without XKB
    std::unique_ptr<QSocketNotifier> m_notifier;
    X11Keymap m_keymap;

    QHash<Shortcut, Binding> m_wanted;
    QHash<Shortcut, Grab> m_held;
    QSet<Shortcut> m_heldElsewhere;
    std::vector<Down> m_down;

    bool m_inPressHandler = false; // a hold or release asked for now waits for the handlers
    bool m_holding = false; // the keyboard is frozen for a hold
    bool m_mappingChanged = false;
    bool m_readScheduled = false;
    QTimer m_holdTimer;
    QTimer m_releasePoll;
    QTimer m_focusPoll; // while a hold waits for m_focusTarget to have the focus
    uint32_t m_focusTarget = 0;
};

} // namespace runel::KeyboardShortcuts
