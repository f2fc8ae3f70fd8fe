#pragma once

#include <QLoggingCategory>

// One category per module of the core; enable with QT_LOGGING_RULES="runel.*.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcIndex)
Q_DECLARE_LOGGING_CATEGORY(lcSettings)
