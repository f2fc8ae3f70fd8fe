#include "PortalShortcut.h"

#include <QDBusMetaType>

namespace runel::KeyboardShortcuts {

QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

void registerPortalShortcutTypes()
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<PortalShortcutList>();
}

PortalShortcutList portalShortcutsFrom(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<PortalShortcutList>())
        return value.value<PortalShortcutList>();
    if (value.metaType() != QMetaType::fromType<QDBusArgument>())
        return {};
    const auto argument = value.value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("a(sa{sv})"))
        return {};
    PortalShortcutList shortcuts;
    argument >> shortcuts;
    return shortcuts;
}

} // namespace runel::KeyboardShortcuts
