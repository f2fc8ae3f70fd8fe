#include "ModifierText.h"

#include <QStringList>

namespace runel {

QString modifierText(Qt::KeyboardModifiers modifiers)
{
    QStringList names;
    if (modifiers.testFlag(Qt::AltModifier))
        names.append(QStringLiteral("alt"));
    if (modifiers.testFlag(Qt::ControlModifier))
        names.append(QStringLiteral("ctrl"));
    if (modifiers.testFlag(Qt::ShiftModifier))
        names.append(QStringLiteral("shift"));
    return names.join(QLatin1Char(','));
}

} // namespace runel
