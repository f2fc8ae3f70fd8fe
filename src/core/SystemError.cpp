#include "SystemError.h"

#include <cstring>

namespace runel {

QString systemErrorText(int error)
{
    char buffer[256];
    // The GNU strerror_r: returns either a static text or buffer, filled.
    return QString::fromLocal8Bit(::strerror_r(error, buffer, sizeof buffer));
}

} // namespace runel
