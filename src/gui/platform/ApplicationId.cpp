#include "ApplicationId.h"

#include <QStandardPaths>

namespace runel::gui {

QString applicationId()
{
    return QStringLiteral("io.github.runel.Runel");
}

bool isDesktopFileInstalled()
{
    return !QStandardPaths::locate(
        QStandardPaths::ApplicationsLocation, applicationId() + QStringLiteral(".desktop"))
                .isEmpty();
}

} // namespace runel::gui
