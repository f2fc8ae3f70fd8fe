#include "Regex.h"

#include <unicode/utypes.h>

namespace runel::text {

Expected<std::unique_ptr<icu::RegexPattern>> compileRegex(const QString &expression)
{
    UParseError where {};
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString source(
        false, reinterpret_cast<const UChar *>(expression.utf16()), int32_t(expression.size()));
    std::unique_ptr<icu::RegexPattern> pattern(
        icu::RegexPattern::compile(source, 0, where, status));
    if (U_FAILURE(status) || !pattern) {
        QString message = QString::fromLatin1(u_errorName(status));
        // ICU counts lines and columns from 1 and leaves them at 0 or below when it cannot tell.
        if (where.line > 1)
            message += QStringLiteral(" at line %1, column %2").arg(where.line).arg(where.offset);
        else if (where.offset > 0)
            message += QStringLiteral(" at column %1").arg(where.offset);
        return Failure { message };
    }
    return pattern;
}

} // namespace runel::text
