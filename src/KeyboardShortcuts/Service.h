#pragma once

#include "HotKeyCenter.h"
#include "Name.h"
#include "ShortcutStorage.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace runel::KeyboardShortcuts {

enum class Hold { none, untilFocused };

// The hot key service: names, their stored combinations, the handlers installed for them, and
// the hot key center that holds the combinations with the system. Main thread only. A handler
// runs on key down (or up) of its name's current combination, in installation order, unless the
// service is suspended (a recorder is recording) or disabled; two names on one combination both
// run. A handler whose context object is gone is skipped.
class Service : public QObject {
    Q_OBJECT
public:
    Service(ShortcutStorage &storage, std::unique_ptr<HotKeyBackend> backend,
        QObject *parent = nullptr);
    ~Service() override;

    // Makes a name known. A name with a default stores it when its key is absent, so a user's
    // later change or clearing survives restarts.
    void addName(const Name &name);

    std::optional<Shortcut> getShortcut(const Name &name) const;
    // Stores shortcut; none stores false for a name with a default and removes the key
    // otherwise. Re-registers, then emits shortcutByNameDidChange. False when the storage could
    // not save it (nothing else changes then).
    bool setShortcut(const std::optional<Shortcut> &shortcut, const Name &name);
    // Each name back to its default (stored again), or unbound when it has none.
    void reset(const std::vector<Name> &names);

    // hold: whether the keys typed after the press wait for the window the action opens (see
    // HotKeyBackend::holdKeys); the back end then holds them from the press on, until
    // releaseKeysOnceFocused.
    void onKeyDown(
        const Name &name, QObject *context, std::function<void()> action, Hold hold = Hold::none);
    void onKeyUp(const Name &name, QObject *context, std::function<void()> action);
    // Drops every handler of every name and lets go of their combinations.
    void removeAllHandlers();

    bool isEnabled() const { return m_isEnabled; }
    void setEnabled(bool enabled);
    bool isSuspended() const { return m_isSuspended; }
    // A recorder suspends the service while it records; emits recorderActiveStatusDidChange.
    void setSuspended(bool suspended);

    // Bindings follow every change at the end of the event-loop turn, so re-registering many
    // names costs one pass; flush brings them (and the back end) up to date at once.
    void flush();
    // The storage was changed behind the service's back (settings.json edited by hand): the
    // bindings follow and every known name notifies.
    void storageChanged();

    HotKeyCenter &hotKeyCenter() { return m_center; }
    HotKeyBackend &backend() { return m_center.backend(); }

    // The names whose current combination is shortcut (for conflicts within the app).
    QStringList namesBoundTo(const Shortcut &shortcut) const;
    // What to show for a name: the trigger the desktop reports, else the stored combination's
    // description, else empty.
    QString displayText(const Name &name) const;
    // Whether the name's combination is one the service means to hold but another program
    // holds, so pressing it does not reach the app. The back end's stateChanged tells when
    // this may have changed.
    bool isHeldElsewhere(const Name &name) const;

Q_SIGNALS:
    void shortcutByNameDidChange(const QString &name);
    void recorderActiveStatusDidChange(bool active);

private:
    struct Handler {
        QPointer<QObject> context;
        std::function<void()> action;
    };
    void remember(const Name &name);
    std::optional<Shortcut> initialShortcut(const Name &name) const;
    void addHandler(QHash<QString, std::vector<Handler>> &handlers, const Name &name,
        QObject *context, std::function<void()> action);
    void updateBindings();
    void runHandlers(const QHash<QString, std::vector<Handler>> &handlers, const QString &name);

    ShortcutStorage &m_storage;
    HotKeyCenter m_center;
    QHash<QString, Name> m_names;
    QHash<QString, std::vector<Handler>> m_keyDownActions;
    QHash<QString, std::vector<Handler>> m_keyUpActions;
    // Names with handlers, in the order they got their first one: the order handlers run in.
    QStringList m_handlerOrder;
    QSet<QString> m_holdingNames; // names whose key down holds the keys typed after it
    bool m_bindingsPending = false;
    bool m_isEnabled = true;
    bool m_isSuspended = false;
};

} // namespace runel::KeyboardShortcuts
