#include "Logging.h"

Q_LOGGING_CATEGORY(lcIndex, "runel.index")
Q_LOGGING_CATEGORY(lcSettings, "runel.settings")
