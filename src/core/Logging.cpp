#include "Logging.h"

// Debug lines are for whoever is chasing a problem, not for every command a user types: they
// stay off until QT_LOGGING_RULES asks for them.
Q_LOGGING_CATEGORY(lcIndex, "runel.index", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSettings, "runel.settings", QtInfoMsg)
