#include "ModifierText.h"

#include <algorithm>

namespace runel {

const QStringList &modifierNames()
{
    static const QStringList names {
        QStringLiteral("alt"),
        QStringLiteral("ctrl"),
        QStringLiteral("shift"),
    };
    return names;
}

QString modifierText(Qt::KeyboardModifiers modifiers)
{
    static constexpr Qt::KeyboardModifier flags[]
        = { Qt::AltModifier, Qt::ControlModifier, Qt::ShiftModifier };
    QStringList held;
    for (qsizetype i = 0; i < modifierNames().size(); ++i) {
        if (modifiers.testFlag(flags[i]))
            held.append(modifierNames()[i]);
    }
    return held.join(QLatin1Char(','));
}

std::optional<QString> modifierText(const QString &given)
{
    QStringList parts = given.toLower().split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString &part : parts) {
        part = part.trimmed();
        if (!modifierNames().contains(part))
            return std::nullopt;
    }
    QStringList held;
    for (const QString &name : modifierNames()) {
        if (parts.contains(name))
            held.append(name);
    }
    return held.join(QLatin1Char(','));
}

} // namespace runel
