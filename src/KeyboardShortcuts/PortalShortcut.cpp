#include "PortalShortcut.h"

#include "KeyTable.h"

#include <QDBusMetaType>
#include <QXmlStreamReader>
#include <xkbcommon/xkbcommon.h>

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

QString portalTrigger(const Shortcut &shortcut)
{
    const KeyEntry *key = KeyTable::byCarbonKeyCode(shortcut.carbonKeyCode);
    if (!key)
        return {};
    char name[64];
    if (xkb_keysym_get_name(key->keysym, name, sizeof name) <= 0)
        return {};
    static constexpr std::pair<int, const char *> modifiers[] = {
        { CarbonModifier::command, "LOGO" },
        { CarbonModifier::control, "CTRL" },
        { CarbonModifier::option, "ALT" },
        { CarbonModifier::shift, "SHIFT" },
    };
    QString trigger;
    for (const auto &[bit, modifier] : modifiers) {
        if (shortcut.carbonModifiers & bit)
            trigger += QLatin1String(modifier) + QLatin1Char('+');
    }
    return trigger + QLatin1String(name);
}

QSet<QString> introspectedInterfaces(const QString &xml)
{
    QSet<QString> names;
    QXmlStreamReader reader(xml);
    int depth = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            ++depth;
            if (depth == 2 && reader.name() == QLatin1String("interface"))
                names.insert(reader.attributes().value(QLatin1String("name")).toString());
        } else if (reader.isEndElement()) {
            --depth;
        }
    }
    return names;
}

} // namespace runel::KeyboardShortcuts
