#include "PortalHotKeyBackend.h"

#include "PortalShortcut.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QSet>
#include <algorithm>

Q_LOGGING_CATEGORY(lcPortalHotKeys, "runel.hotkeys.portal", QtInfoMsg)

namespace runel::KeyboardShortcuts {

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");
const QString registryInterface = QStringLiteral("org.freedesktop.host.portal.Registry");

// The Request::Response codes: 0 success, 1 cancelled by the user, 2 ended another way.
constexpr uint responseCancelled = 1;

QDBusMessage portalCall(const QString &interface, const QString &method)
{
    return QDBusMessage::createMethodCall(portalService, portalPath, interface, method);
}

QString errorText(const QDBusMessage &reply)
{
    return reply.errorName() + QStringLiteral(": ") + reply.errorMessage();
}

} // namespace

std::unique_ptr<PortalHotKeyBackend> PortalHotKeyBackend::create(const QString &appId)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCInfo(lcPortalHotKeys) << "No session bus, so no desktop portal for global hot keys";
        return nullptr;
    }
    const QDBusMessage introspect = portalCall(
        QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"));
    QDBusMessage introspection = bus.call(introspect, QDBus::Block, probeTimeoutMs);
    if (introspection.type() == QDBusMessage::ErrorMessage
        && introspection.errorName() == QStringLiteral("org.freedesktop.DBus.Error.NoReply")) {
        qCInfo(lcPortalHotKeys) << "The desktop portal is slow to answer (it may be starting);"
                                << "waiting for it a little longer";
        introspection = bus.call(introspect, QDBus::Block, startingPortalTimeoutMs);
    }
    if (introspection.type() != QDBusMessage::ReplyMessage) {
        qCInfo(lcPortalHotKeys).noquote()
            << "No desktop portal for global hot keys:" << errorText(introspection);
        return nullptr;
    }
    const QSet<QString> interfaces
        = introspectedInterfaces(introspection.arguments().value(0).toString());
    if (!interfaces.contains(shortcutsInterface)) {
        qCInfo(lcPortalHotKeys) << "The desktop portal has no GlobalShortcuts interface";
        return nullptr;
    }

    // The registry takes a connection only before its first portal call.
    const bool hasRegistry = interfaces.contains(registryInterface) && !appId.isEmpty();
    if (hasRegistry) {
        QDBusMessage registration = portalCall(registryInterface, QStringLiteral("Register"));
        registration << appId << QVariantMap();
        const QDBusMessage reply = bus.call(registration, QDBus::Block, probeTimeoutMs);
        // Some desktops bind for an unregistered app all the same: go on, and say why the
        // others may refuse it.
        if (reply.type() != QDBusMessage::ReplyMessage)
            qCWarning(lcPortalHotKeys).noquote()
                << "The desktop portal did not register the app id" << appId << "("
                << errorText(reply) << "); binding the global shortcuts without it. Desktops "
                << "that look the app up by its id need" << appId + QStringLiteral(".desktop")
                << "installed (install Runel's package, or run cmake --install).";
    }

    QDBusMessage versionCall
        = portalCall(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    versionCall << shortcutsInterface << QStringLiteral("version");
    const QDBusMessage versionReply = bus.call(versionCall, QDBus::Block, probeTimeoutMs);
    // A portal that lists the interface but will not say its version has version 1's methods.
    const uint version = versionReply.type() == QDBusMessage::ReplyMessage
        ? versionReply.arguments().value(0).value<QDBusVariant>().variant().toUInt()
        : 1;

    return std::unique_ptr<PortalHotKeyBackend>(
        new PortalHotKeyBackend(bus, std::max(version, 1U), hasRegistry, appId));
}

PortalHotKeyBackend::PortalHotKeyBackend(
    QDBusConnection bus, uint version, bool hasRegistry, QString appId)
    : m_bus(std::move(bus))
    , m_version(version)
    , m_hasRegistry(hasRegistry)
    , m_appId(std::move(appId))
    , m_bindDelay(new QTimer(this))
    , m_tokenSeed(QRandomGenerator::global()->generate())
{
    registerPortalShortcutTypes();
    m_bindDelay->setSingleShot(true);
    m_bindDelay->setInterval(100);
    connect(m_bindDelay, &QTimer::timeout, this, &PortalHotKeyBackend::advance);
    // Request and session handles are known before the calls that create them (the tokens are
    // ours), so one subscription for every path catches each Response without a race.
    m_bus.connect(portalService, QString(), requestInterface, QStringLiteral("Response"), this,
        SLOT(onResponse(QDBusMessage)));
    m_bus.connect(portalService, QString(), sessionInterface, QStringLiteral("Closed"), this,
        SLOT(onSessionClosed(QDBusMessage)));
    m_bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("Activated"), this,
        SLOT(onActivated(QDBusMessage)));
    m_bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("Deactivated"),
        this, SLOT(onDeactivated(QDBusMessage)));
    m_bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("ShortcutsChanged"),
        this, SLOT(onShortcutsChanged(QDBusMessage)));

    // A restarted portal has forgotten the registration and the session.
    auto *watcher = new QDBusServiceWatcher(
        portalService, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
        [this](const QString &, const QString &, const QString &newOwner) {
            if (!newOwner.isEmpty())
                portalRestarted();
        });
}

PortalHotKeyBackend::~PortalHotKeyBackend()
{
    closeSession();
}

void PortalHotKeyBackend::setBindings(const std::vector<Binding> &bindings)
{
    QHash<QString, Shortcut> shortcutByName;
    for (const Binding &binding : bindings) {
        for (const QString &name : binding.names)
            shortcutByName.insert(name, binding.shortcut);
    }
    m_shortcutByName = std::move(shortcutByName);
    updateWanted();
}

void PortalHotKeyBackend::setDescriptions(const QHash<QString, QString> &descriptions)
{
    m_descriptions = descriptions;
    updateWanted();
}

void PortalHotKeyBackend::setUnboundNames(const QStringList &names)
{
    m_unboundNames = names;
    updateWanted();
}

bool PortalHotKeyBackend::isHeldElsewhere(const Shortcut &shortcut)
{
    Q_UNUSED(shortcut)
    return false;
}

QString PortalHotKeyBackend::triggerDescription(const QString &name) const
{
    return m_triggers.value(name);
}

void PortalHotKeyBackend::configureTriggers()
{
    if (m_version < 2 || m_session.isEmpty())
        return;
    QDBusMessage call = portalCall(shortcutsInterface, QStringLiteral("ConfigureShortcuts"));
    call << QVariant::fromValue(QDBusObjectPath(m_session)) << QString() << QVariantMap();
    m_bus.send(call);
}

void PortalHotKeyBackend::updateWanted()
{
    std::vector<Entry> wanted;
    wanted.reserve(m_shortcutByName.size());
    for (auto it = m_shortcutByName.cbegin(); it != m_shortcutByName.cend(); ++it) {
        const QString description = m_descriptions.value(it.key());
        wanted.push_back({ it.key(), description.isEmpty() ? it.key() : description,
            portalTrigger(it.value()) });
    }
    // Offered only beside bound names: an empty list mutes the session (see advance).
    for (const QString &name : std::as_const(m_unboundNames)) {
        if (m_shortcutByName.isEmpty())
            break;
        if (m_shortcutByName.contains(name))
            continue;
        const QString description = m_descriptions.value(name);
        wanted.push_back({ name, description.isEmpty() ? name : description, QString() });
    }
    std::sort(
        wanted.begin(), wanted.end(), [](const Entry &a, const Entry &b) { return a.id < b.id; });
    const bool changed = !sameBinding(wanted, m_wanted);
    m_wanted = std::move(wanted);
    if (!changed)
        return;
    m_dirty = true;
    m_bindDelay->start();
}

bool PortalHotKeyBackend::sameBinding(const std::vector<Entry> &a, const std::vector<Entry> &b)
{
    return std::equal(a.cbegin(), a.cend(), b.cbegin(), b.cend(),
        [](const Entry &x, const Entry &y) { return x.id == y.id && x.trigger == y.trigger; });
}

// Brings the session in line with m_wanted, one portal request at a time; each answer calls
// this again, so changes made while a request was out are applied after it. An empty list
// (a menu of the app is open, the service is disabled) keeps the session and only mutes the
// names: closing it and binding again would cost a portal round trip, and on some desktops a
// dialog, each time a menu opens.
void PortalHotKeyBackend::advance()
{
    if (m_step != Step::idle || !m_dirty || m_bindDelay->isActive())
        return;
    m_dirty = false;
    if (m_wanted.empty() || (!m_session.isEmpty() && sameBinding(m_wanted, m_held)))
        return;
    if (m_bindsInSession > 0 && m_oneBindPerSession)
        closeSession();
    if (m_session.isEmpty())
        createSession();
    else
        bind();
}

void PortalHotKeyBackend::createSession()
{
    const QString token = nextToken();
    QDBusMessage call = portalCall(shortcutsInterface, QStringLiteral("CreateSession"));
    call << QVariantMap { { QStringLiteral("handle_token"), token },
        { QStringLiteral("session_handle_token"), token } };
    sendRequest(call, token, Step::creatingSession, &PortalHotKeyBackend::sessionRefused);
}

void PortalHotKeyBackend::bind()
{
    PortalShortcutList shortcuts;
    for (const Entry &entry : m_wanted) {
        QVariantMap properties { { QStringLiteral("description"), entry.description } };
        if (!entry.trigger.isEmpty())
            properties.insert(QStringLiteral("preferred_trigger"), entry.trigger);
        shortcuts.append({ entry.id, properties });
    }
    const QString token = nextToken();
    QDBusMessage call = portalCall(shortcutsInterface, QStringLiteral("BindShortcuts"));
    call << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariant::fromValue(shortcuts)
         << QString() << QVariantMap { { QStringLiteral("handle_token"), token } };
    m_held = m_wanted;
    ++m_bindsInSession;
    sendRequest(call, token, Step::binding, &PortalHotKeyBackend::bindRefused);
}

// The answer comes as the Response of the Request object named by token; onError runs when
// the call itself fails.
void PortalHotKeyBackend::sendRequest(const QDBusMessage &call, const QString &token, Step step,
    void (PortalHotKeyBackend::*onError)(const QString &reason))
{
    m_step = step;
    m_pendingRequest = requestPath(token);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, onError, request = m_pendingRequest](QDBusPendingCallWatcher *finished) {
            finished->deleteLater();
            if (m_pendingRequest != request)
                return;
            const QDBusMessage reply = finished->reply();
            if (reply.type() == QDBusMessage::ReplyMessage)
                // Portals older than the handle convention answer with a path of their own.
                m_pendingRequest = reply.arguments().value(0).value<QDBusObjectPath>().path();
            else
                (this->*onError)(errorText(reply));
        });
}

// Tried again at the next change of the bindings.
void PortalHotKeyBackend::sessionRefused(const QString &reason)
{
    qCWarning(lcPortalHotKeys).noquote()
        << "The desktop portal refused a shortcuts session:" << reason;
    setBindState(BindState::failed);
    m_step = Step::idle;
    m_pendingRequest.clear();
    advance();
}

// A bind that failed in a session that already had one is taken as a portal that binds once
// per session: the list goes again in a new session. A first bind failing is given up until
// the bindings change, so a broken portal is not asked in a loop.
void PortalHotKeyBackend::bindRefused(const QString &reason)
{
    m_step = Step::idle;
    m_pendingRequest.clear();
    if (m_bindsInSession > 1 && !m_oneBindPerSession) {
        m_oneBindPerSession = true;
        m_held.clear();
        m_dirty = true;
    } else {
        qCWarning(lcPortalHotKeys).noquote()
            << "The desktop portal did not bind the global shortcuts:" << reason;
        setBindState(BindState::failed);
    }
    advance();
}

void PortalHotKeyBackend::closeSession()
{
    if (m_session.isEmpty())
        return;
    m_bus.send(QDBusMessage::createMethodCall(
        portalService, m_session, sessionInterface, QStringLiteral("Close")));
    m_session.clear();
    m_bindsInSession = 0;
    m_held.clear();
}

void PortalHotKeyBackend::portalRestarted()
{
    if (m_hasRegistry) {
        QDBusMessage registration = portalCall(registryInterface, QStringLiteral("Register"));
        registration << m_appId << QVariantMap();
        m_bus.send(registration);
    }
    m_session.clear();
    m_bindsInSession = 0;
    m_held.clear();
    m_step = Step::idle;
    m_pendingRequest.clear();
    m_dirty = true;
    setTriggers({});
    setBindState(BindState::pending);
    advance();
}

void PortalHotKeyBackend::onResponse(const QDBusMessage &message)
{
    if (m_pendingRequest.isEmpty() || message.path() != m_pendingRequest)
        return;
    const QVariantList arguments = message.arguments();
    const uint response = arguments.value(0).toUInt();
    const auto results = qdbus_cast<QVariantMap>(arguments.value(1));
    const Step step = m_step;
    m_step = Step::idle;
    m_pendingRequest.clear();

    if (step == Step::creatingSession) {
        const QVariant handle = results.value(QStringLiteral("session_handle"));
        // Documented as a string; some portals send an object path.
        m_session = handle.canConvert<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path()
                                                         : handle.toString();
        m_bindsInSession = 0;
        if (response != 0 || m_session.isEmpty()) {
            qCWarning(lcPortalHotKeys) << "The desktop portal gave no shortcuts session"
                                       << "(response" << response << ")";
            m_session.clear();
            setBindState(BindState::failed);
            return;
        }
        m_dirty = true;
    } else if (step == Step::binding) {
        if (!bindAnswered(response, results))
            return;
    }
    advance();
}

// What the answer carries decides, not its code: GNOME answers a bind its user accepted with 2
// ("ended another way") and the bound shortcuts. False when bindRefused took the answer over.
bool PortalHotKeyBackend::bindAnswered(uint response, const QVariantMap &results)
{
    const PortalShortcutList bound
        = portalShortcutsFrom(results.value(QStringLiteral("shortcuts")));
    if (!bound.isEmpty() || response == 0) {
        QHash<QString, QString> triggers;
        for (const PortalShortcut &shortcut : bound)
            triggers.insert(shortcut.id,
                shortcut.properties.value(QStringLiteral("trigger_description")).toString());
        setTriggers(std::move(triggers));
        setBindState(BindState::bound);
        return true;
    }
    setTriggers({});
    if (response == responseCancelled) {
        // Asked again only when the names or their triggers change: each ask is a dialog.
        qCInfo(lcPortalHotKeys) << "The user did not allow the global shortcuts";
        setBindState(BindState::refusedByUser);
        return true;
    }
    bindRefused(QStringLiteral("response %1 without shortcuts").arg(response));
    return false;
}

// Activated and Deactivated carry (session, shortcut id, timestamp, options). Only this
// session's names that are in the list count: a muted name stays bound with the desktop.
bool PortalHotKeyBackend::isListedName(const QVariantList &arguments) const
{
    return !m_session.isEmpty() && arguments.value(0).value<QDBusObjectPath>().path() == m_session
        && m_shortcutByName.contains(arguments.value(1).toString());
}

void PortalHotKeyBackend::onActivated(const QDBusMessage &message)
{
    if (isListedName(message.arguments()))
        Q_EMIT pressed(message.arguments().value(1).toString(), 0);
}

void PortalHotKeyBackend::onDeactivated(const QDBusMessage &message)
{
    if (isListedName(message.arguments()))
        Q_EMIT released(message.arguments().value(1).toString());
}

void PortalHotKeyBackend::onShortcutsChanged(const QDBusMessage &message)
{
    const QVariantList arguments = message.arguments();
    if (m_session.isEmpty() || arguments.value(0).value<QDBusObjectPath>().path() != m_session)
        return;
    QHash<QString, QString> triggers = m_triggers;
    for (const PortalShortcut &shortcut : portalShortcutsFrom(arguments.value(1)))
        triggers.insert(shortcut.id,
            shortcut.properties.value(QStringLiteral("trigger_description")).toString());
    setTriggers(std::move(triggers));
}

// The desktop ended the session (a portal shutting down, the user revoking it): what it held
// is gone. A new session is made at the next change of the bindings, or when the portal
// comes back.
void PortalHotKeyBackend::onSessionClosed(const QDBusMessage &message)
{
    if (m_session.isEmpty() || message.path() != m_session)
        return;
    m_session.clear();
    m_bindsInSession = 0;
    m_held.clear();
    setTriggers({});
}

QString PortalHotKeyBackend::nextToken()
{
    return QStringLiteral("runel_%1_%2").arg(m_tokenSeed).arg(++m_tokenCount);
}

QString PortalHotKeyBackend::requestPath(const QString &token) const
{
    QString sender = m_bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return portalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
}

void PortalHotKeyBackend::setBindState(BindState state)
{
    if (state == m_bindState)
        return;
    m_bindState = state;
    Q_EMIT stateChanged();
}

void PortalHotKeyBackend::setTriggers(QHash<QString, QString> triggers)
{
    if (triggers == m_triggers)
        return;
    m_triggers = std::move(triggers);
    Q_EMIT stateChanged();
}

} // namespace runel::KeyboardShortcuts
