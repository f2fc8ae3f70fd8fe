#pragma once

#include "HotKeyBackend.h"

#include <QDBusConnection>
#include <QHash>
#include <QString>
#include <QTimer>
#include <memory>
#include <vector>

class QDBusMessage;

namespace runel::KeyboardShortcuts {

// Global hot keys through the desktop's GlobalShortcuts portal (Wayland desktops that offer it).
// The desktop owns the triggers: each name is proposed with its stored combination, and the
// desktop may keep, change or drop it and reports what it chose (triggerDescription). Every
// name is bound in one session with one BindShortcuts call; a later change of the names or of
// their preferred triggers binds the whole list again (in a new session where the portal takes
// only one bind per session), once for a burst of changes: some desktops show a dialog for every
// bind. A change of descriptions alone waits for the next bind. An empty list mutes the names
// rather than unbinding them (see advance). Calls to the portal never block once the back end
// exists. Main thread.
class PortalHotKeyBackend : public HotKeyBackend, public DesktopTriggers {
    Q_OBJECT
public:
    // The back end on the session bus, or null when there is no session bus, no portal, or a
    // portal without GlobalShortcuts; waits at most probeTimeoutMs for the portal to answer.
    // appId is the desktop file id without ".desktop"; where the portal has the host registry,
    // the connection is registered with it first (newer portals refuse sessions otherwise).
    static std::unique_ptr<PortalHotKeyBackend> create(const QString &appId);
    static constexpr int probeTimeoutMs = 1000;
    // A portal that was not running is started by the bus when first called, which can take
    // longer at login: a probe that ran out of time is repeated once with this much time, rather
    // than leaving the app without hot keys until it is restarted.
    static constexpr int startingPortalTimeoutMs = 5000;

    ~PortalHotKeyBackend() override;

    Kind kind() const override { return Kind::portal; }
    void setBindings(const std::vector<Binding> &bindings) override;
    // The portal never says whether another program has a combination: the desktop decides.
    bool isHeldElsewhere(const Shortcut &shortcut) override;
    QString triggerDescription(const QString &name) const override;
    // Opens the desktop's dialog for this session's shortcuts (ConfigureShortcuts). Portals
    // older than version 2 have no such dialog, and nothing happens there; neither does it
    // before the first bind, since there is no session to configure yet.
    void configureTriggers() override;

    // The texts the desktop shows for names (name -> text); a name without one shows its raw
    // value. They go with the next bind; a change of them alone does not bind.
    void setDescriptions(const QHash<QString, QString> &descriptions) override;
    void setUnboundNames(const QStringList &names) override;

    BindState bindState() const override { return m_bindState; }
    DesktopTriggers *desktopTriggers() override { return this; }

    uint version() const { return m_version; }
    // Changes are bound this long after the last of a burst (100 ms unless set).
    void setBindDelay(int milliseconds) { m_bindDelay->setInterval(milliseconds); }

private Q_SLOTS:
    // QtDBus delivers bus signals only to slots named by signature strings.
    void onResponse(const QDBusMessage &message);
    void onActivated(const QDBusMessage &message);
    void onDeactivated(const QDBusMessage &message);
    void onShortcutsChanged(const QDBusMessage &message);
    void onSessionClosed(const QDBusMessage &message);

private:
    struct Entry {
        QString id;
        QString description;
        QString trigger;
    };
    // Whether binding a would ask the desktop for what binding b did: the same names with the
    // same preferred triggers, whatever their descriptions.
    static bool sameBinding(const std::vector<Entry> &a, const std::vector<Entry> &b);
    enum class Step { idle, creatingSession, binding };

    PortalHotKeyBackend(QDBusConnection bus, uint version, bool hasRegistry, QString appId);

    void updateWanted();
    void advance();
    void createSession();
    void bind();
    void sendRequest(const QDBusMessage &call, const QString &token, Step step,
        void (PortalHotKeyBackend::*onError)(const QString &reason));
    void closeSession();
    void sessionRefused(const QString &reason);
    void bindRefused(const QString &reason);
    void portalRestarted();
    QString nextToken();
    QString requestPath(const QString &token) const;
    void setTriggers(QHash<QString, QString> triggers);
    void setBindState(BindState state);
    bool bindAnswered(uint response, const QVariantMap &results);
    bool isListedName(const QVariantList &arguments) const;

    QDBusConnection m_bus;
    uint m_version;
    bool m_hasRegistry;
    QString m_appId;

    QHash<QString, Shortcut> m_shortcutByName;
    QStringList m_unboundNames; // offered without a preferred trigger
    QHash<QString, QString> m_descriptions;
    std::vector<Entry> m_wanted; // sorted by id
    std::vector<Entry> m_held; // what the session was last asked to bind
    bool m_dirty = false; // m_wanted changed since advance last looked
    QTimer *m_bindDelay; // child; runs advance once a burst of changes is over
    BindState m_bindState = BindState::pending;

    Step m_step = Step::idle;
    QString m_pendingRequest; // the Request object whose Response is awaited
    QString m_session;
    int m_bindsInSession = 0;
    bool m_oneBindPerSession = false; // learnt from a refused second bind
    quint32 m_tokenSeed;
    quint32 m_tokenCount = 0;

    QHash<QString, QString> m_triggers; // name -> what the desktop says triggers it
};

} // namespace runel::KeyboardShortcuts
