#pragma once

#include "Shortcut.h"

#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QSet>
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

// A combination in the form portals take ("LOGO+SHIFT+l": modifiers LOGO, CTRL, ALT, SHIFT,
// then the key's keysym name), or empty for a key outside KeyTable.
QString portalTrigger(const Shortcut &shortcut);

// The interfaces an introspection document lists for its node itself.
QSet<QString> introspectedInterfaces(const QString &xml);

} // namespace runel::KeyboardShortcuts

Q_DECLARE_METATYPE(runel::KeyboardShortcuts::PortalShortcut)
