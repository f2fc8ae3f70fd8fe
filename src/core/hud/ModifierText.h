#pragma once

#include <QString>
#include <qnamespace.h>

namespace runel {

// The modifier text handed to every script as its first parameter: "alt", "ctrl" and "shift"
// for the held modifiers, in that order, joined by ","; "" when none is held. Super (and the
// keypad and group-switch flags) are not named.
QString modifierText(Qt::KeyboardModifiers modifiers);

} // namespace runel
