#include "Service.h"

#include <QTimer>
#include <algorithm>

namespace runel::KeyboardShortcuts {

Service::Service(ShortcutStorage &storage, std::unique_ptr<HotKeyBackend> backend, QObject *parent)
    : QObject(parent)
    , m_storage(storage)
    , m_center(std::move(backend))
{
    connect(&m_center, &HotKeyCenter::keyDown, this,
        [this](const QString &name) { runHandlers(m_keyDownActions, name); });
    connect(&m_center, &HotKeyCenter::keyUp, this,
        [this](const QString &name) { runHandlers(m_keyUpActions, name); });
}

Service::~Service() = default;

void Service::addName(const Name &name)
{
    remember(name);
    if (name.initialShortcut && m_storage.value(name.storageKey()).is_null())
        m_storage.setValue(name.storageKey(), name.initialShortcut->toJson());
}

std::optional<Shortcut> Service::getShortcut(const Name &name) const
{
    const nlohmann::json stored = m_storage.value(name.storageKey());
    // Absent although addName stores the default: the settings file could not be written. The
    // default still holds for this session.
    if (stored.is_null())
        return initialShortcut(name);
    return Shortcut::fromJson(stored);
}

bool Service::setShortcut(const std::optional<Shortcut> &shortcut, const Name &name)
{
    remember(name);
    // Cleared: false keeps a default from coming back; without a default, absent is unbound.
    const nlohmann::json value = shortcut ? shortcut->toJson()
        : initialShortcut(name)           ? nlohmann::json(false)
                                          : nlohmann::json();
    if (!m_storage.setValue(name.storageKey(), value))
        return false;
    updateBindings();
    Q_EMIT shortcutByNameDidChange(name.rawValue);
    return true;
}

void Service::reset(const std::vector<Name> &names)
{
    for (const Name &name : names) {
        remember(name);
        const std::optional<Shortcut> initial = initialShortcut(name);
        m_storage.setValue(name.storageKey(), initial ? initial->toJson() : nlohmann::json());
    }
    updateBindings();
    for (const Name &name : names)
        Q_EMIT shortcutByNameDidChange(name.rawValue);
}

void Service::onKeyDown(const Name &name, QObject *context, std::function<void()> action, Hold hold)
{
    if (hold == Hold::untilFocused)
        m_holdingNames.insert(name.rawValue);
    addHandler(m_keyDownActions, name, context, std::move(action));
}

void Service::onKeyUp(const Name &name, QObject *context, std::function<void()> action)
{
    addHandler(m_keyUpActions, name, context, std::move(action));
}

void Service::addHandler(QHash<QString, std::vector<Handler>> &handlers, const Name &name,
    QObject *context, std::function<void()> action)
{
    remember(name);
    if (!m_keyDownActions.contains(name.rawValue) && !m_keyUpActions.contains(name.rawValue))
        m_handlerOrder.append(name.rawValue);
    handlers[name.rawValue].push_back({ context, std::move(action) });
    updateBindings();
}

void Service::removeAllHandlers()
{
    m_keyDownActions.clear();
    m_keyUpActions.clear();
    m_handlerOrder.clear();
    m_holdingNames.clear();
    updateBindings();
}

void Service::setEnabled(bool enabled)
{
    m_isEnabled = enabled;
    m_center.setEnabled(m_isEnabled && !m_isSuspended);
}

void Service::setSuspended(bool suspended)
{
    if (suspended == m_isSuspended)
        return;
    m_isSuspended = suspended;
    m_center.setEnabled(m_isEnabled && !m_isSuspended);
    Q_EMIT recorderActiveStatusDidChange(suspended);
}

QStringList Service::namesBoundTo(const Shortcut &shortcut) const
{
    QStringList names;
    for (const Name &name : m_names) {
        if (getShortcut(name) == shortcut)
            names.append(name.rawValue);
    }
    names.sort();
    return names;
}

QString Service::displayText(const Name &name) const
{
    if (const DesktopTriggers *triggers = m_center.backend().desktopTriggers()) {
        const QString trigger = triggers->triggerDescription(name.rawValue);
        if (!trigger.isEmpty())
            return trigger;
    }
    const std::optional<Shortcut> shortcut = getShortcut(name);
    return shortcut ? shortcut->description() : QString();
}

bool Service::isHeldElsewhere(const Name &name) const
{
    const std::optional<Shortcut> shortcut = getShortcut(name);
    return shortcut && m_center.backend().isBindingHeldElsewhere(*shortcut);
}

void Service::flush()
{
    m_bindingsPending = false;
    std::vector<Binding> bindings;
    QStringList unbound;
    for (const QString &rawValue : std::as_const(m_handlerOrder)) {
        const std::optional<Shortcut> shortcut = getShortcut(Name { rawValue, std::nullopt });
        if (!shortcut) {
            unbound.append(rawValue);
            continue;
        }
        const bool holds = m_holdingNames.contains(rawValue);
        const auto shared = std::find_if(bindings.begin(), bindings.end(),
            [&](const Binding &binding) { return binding.shortcut == *shortcut; });
        if (shared != bindings.end()) {
            shared->names.append(rawValue);
            shared->holdsKeys |= holds;
        } else {
            bindings.push_back({ *shortcut, { rawValue }, holds });
        }
    }
    if (DesktopTriggers *triggers = m_center.backend().desktopTriggers())
        triggers->setUnboundNames(unbound);
    m_center.setBindings(std::move(bindings));
    m_center.flush();
}

void Service::storageChanged()
{
    updateBindings();
    for (const Name &name : std::as_const(m_names))
        Q_EMIT shortcutByNameDidChange(name.rawValue);
}

void Service::remember(const Name &name)
{
    // A name seen without its default (a handler installed by raw value) keeps the default it
    // was first made known with.
    auto known = m_names.find(name.rawValue);
    if (known == m_names.end())
        m_names.insert(name.rawValue, name);
    else if (name.initialShortcut)
        known->initialShortcut = name.initialShortcut;
}

std::optional<Shortcut> Service::initialShortcut(const Name &name) const
{
    if (name.initialShortcut)
        return name.initialShortcut;
    const auto known = m_names.constFind(name.rawValue);
    return known != m_names.constEnd() ? known->initialShortcut : std::nullopt;
}

void Service::updateBindings()
{
    if (m_bindingsPending)
        return;
    m_bindingsPending = true;
    QTimer::singleShot(0, this, &Service::flush);
}

void Service::runHandlers(const QHash<QString, std::vector<Handler>> &handlers, const QString &name)
{
    if (m_isSuspended || !m_isEnabled)
        return;
    // A copy: a handler may install or remove handlers (re-registering after an edit).
    const std::vector<Handler> actions = handlers.value(name);
    for (const Handler &handler : actions) {
        if (handler.context)
            handler.action();
    }
}

} // namespace runel::KeyboardShortcuts
