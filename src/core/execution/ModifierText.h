#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <qnamespace.h>

namespace runel {

// The modifier text handed to every script as its first parameter names the held modifiers
// with these words, in this order, joined by ","; "" when none is held. The HUD and the
// command line must agree on it, so both build it here.
const QStringList &modifierNames();

// The modifier text of held keys. Super (and the keypad and group-switch flags) are not named.
QString modifierText(Qt::KeyboardModifiers modifiers);

// The modifier text of names given by a user ("Shift,alt"): in the order above, whatever order
// or case they were given in; nothing when a name is not one of the three.
std::optional<QString> modifierText(const QString &given);

} // namespace runel
