#pragma once

#include "KeyboardShortcuts/HotKeyBackend.h"
#include "KeyboardShortcuts/Service.h"
#include "KeyboardShortcuts/ShortcutStorage.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <map>

// A back end that holds in memory: it records every setBindings call, "presses" what it holds,
// and can say that another program holds a combination.
class FakeHotKeyBackend : public runel::KeyboardShortcuts::HotKeyBackend,
                          public runel::KeyboardShortcuts::DesktopTriggers {
public:
    using Shortcut = runel::KeyboardShortcuts::Shortcut;
    using Binding = runel::KeyboardShortcuts::Binding;

    explicit FakeHotKeyBackend(Kind kind = Kind::x11)
        : m_kind(kind)
    { }

    Kind kind() const override { return m_kind; }
    void setBindings(const std::vector<Binding> &bindings) override
    {
        calls.push_back(bindings);
        Q_EMIT stateChanged();
    }
    bool isHeldElsewhere(const Shortcut &shortcut) override
    {
        return heldElsewhere.contains(shortcut);
    }
    bool isBindingHeldElsewhere(const Shortcut &shortcut) const override
    {
        const auto &bindings = held();
        return heldElsewhere.contains(shortcut)
            && std::any_of(bindings.begin(), bindings.end(),
                [&](const Binding &binding) { return binding.shortcut == shortcut; });
    }
    void releaseKeysOnceFocused(quintptr window) override { releases.push_back(window); }
    // A portal-like fake decides the triggers as the desktop would.
    DesktopTriggers *desktopTriggers() override { return m_kind == Kind::portal ? this : nullptr; }
    QString triggerDescription(const QString &name) const override { return triggers.value(name); }
    void setUnboundNames(const QStringList &) override { }
    void setDescriptions(const QHash<QString, QString> &) override { }
    BindState bindState() const override { return m_bindState; }
    void setBindState(BindState state)
    {
        m_bindState = state;
        Q_EMIT stateChanged();
    }
    void configureTriggers() override { ++configureCalls; }

    const std::vector<Binding> &held() const
    {
        static const std::vector<Binding> none;
        return calls.empty() ? none : calls.back();
    }
    // Presses and releases a combination as the system would: only when it is held, for the
    // names it is held for.
    bool press(const Shortcut &shortcut)
    {
        const auto &bindings = held();
        const auto bound = std::find_if(bindings.begin(), bindings.end(),
            [&](const Binding &binding) { return binding.shortcut == shortcut; });
        if (bound == bindings.end())
            return false;
        const Binding binding = *bound;
        if (binding.holdsKeys)
            ++pressHolds;
        for (const QString &name : binding.names)
            Q_EMIT pressed(name, 0);
        for (const QString &name : binding.names)
            Q_EMIT released(name);
        return true;
    }
    // The desktop activating a name (portal).
    void pressName(const QString &name)
    {
        Q_EMIT pressed(name, 0);
        Q_EMIT released(name);
    }

    std::vector<std::vector<Binding>> calls;
    QSet<Shortcut> heldElsewhere;
    QHash<QString, QString> triggers;
    int configureCalls = 0;
    int pressHolds = 0; // presses of bindings that hold the keys
    std::vector<quintptr> releases; // releaseKeysOnceFocused calls

private:
    Kind m_kind;
    BindState m_bindState = BindState::bound;
};

// The settings file's part in memory.
class MapShortcutStorage : public runel::KeyboardShortcuts::ShortcutStorage {
public:
    nlohmann::json value(const QString &key) const override
    {
        const auto found = values.find(key);
        return found == values.end() ? nlohmann::json() : found->second;
    }
    bool setValue(const QString &key, const nlohmann::json &value) override
    {
        if (value.is_null())
            values.erase(key);
        else
            values[key] = value;
        return true;
    }

    std::map<QString, nlohmann::json> values;
};

// The app's own name, with a default of Super+Shift+L.
inline const runel::KeyboardShortcuts::Name toggle { QStringLiteral("toggle"),
    runel::KeyboardShortcuts::Shortcut { 37,
        runel::KeyboardShortcuts::CarbonModifier::command
            | runel::KeyboardShortcuts::CarbonModifier::shift } };

// A service on the given storage with a fake back end, as one launch of the app makes it.
struct Launch {
    explicit Launch(runel::KeyboardShortcuts::ShortcutStorage &storage,
        runel::KeyboardShortcuts::HotKeyBackend::Kind kind
        = runel::KeyboardShortcuts::HotKeyBackend::Kind::x11)
    {
        auto owned = std::make_unique<FakeHotKeyBackend>(kind);
        backend = owned.get();
        service = std::make_unique<runel::KeyboardShortcuts::Service>(storage, std::move(owned));
        service->addName(toggle);
    }
    FakeHotKeyBackend *backend;
    std::unique_ptr<runel::KeyboardShortcuts::Service> service;
};
