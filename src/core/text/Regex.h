#pragma once

#include "core/Expected.h"

#include <QString>
#include <memory>
#include <unicode/regex.h>

namespace runel::text {

// A regular expression a script gives (a fallback pattern), compiled by ICU with default
// flags; or, when it is not valid, ICU's name for the error and where it stands in the
// expression. The HUD compiles with it and `runel check` reports with it, so the two agree.
Expected<std::unique_ptr<icu::RegexPattern>> compileRegex(const QString &expression);

} // namespace runel::text
