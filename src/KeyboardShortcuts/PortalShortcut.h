#pragma once

#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

namespace runel::KeyboardShortcuts {

// One element of the GlobalShortcuts portal's shortcut lists (D-Bus a(sa{sv})): the id the
// application chose and a dictionary of properties. Going to the portal the dictionary holds
// "description" and "preferred_trigger"; coming back, "description" and "trigger_description".
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};
using PortalShortcutList = QList<PortalShortcut>;

QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcut &shortcut);
const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcut &shortcut);

// Makes the list sendable in a D-Bus message; safe to call more than once.
void registerPortalShortcutTypes();

// The list held by a message argument or a results value; empty when it holds something else.
PortalShortcutList portalShortcutsFrom(const QVariant &value);

} // namespace runel::KeyboardShortcuts

Q_DECLARE_METATYPE(runel::KeyboardShortcuts::PortalShortcut)
