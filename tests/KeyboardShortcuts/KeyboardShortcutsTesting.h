#pragma once

#include "KeyboardShortcuts/KeyTable.h"
#include "KeyboardShortcuts/Shortcut.h"

#include <QStringList>

// "Super+Shift+L" back to its combination, for tables written as people write keys.
inline runel::KeyboardShortcuts::Shortcut shortcutFrom(const QString &text)
{
    using namespace runel::KeyboardShortcuts;
    Shortcut shortcut;
    QStringList parts = text.split(u'+');
    // "Num+" ends in an empty part after its plus.
    QString key = parts.takeLast();
    if (key.isEmpty() && !parts.isEmpty())
        key = parts.takeLast() + u'+';
    const QList<std::pair<QString, int>> modifiers
        = { { QStringLiteral("Super"), CarbonModifier::command },
              { QStringLiteral("Ctrl"), CarbonModifier::control },
              { QStringLiteral("Alt"), CarbonModifier::option },
              { QStringLiteral("Shift"), CarbonModifier::shift } };
    for (const auto &[word, bit] : modifiers)
        shortcut.carbonModifiers |= parts.contains(word) ? bit : 0;
    for (const KeyEntry &entry : KeyTable::entries()) {
        if (QString::fromUtf16(entry.name) == key)
            shortcut.carbonKeyCode = entry.carbonKeyCode;
    }
    return shortcut;
}
