#include "SoundRule.h"

#include "core/SystemServices.h"

namespace runel {

std::optional<QString> soundForSetting(const QString &setting, const QString &builtIn)
{
    if (setting == QLatin1String("None") || setting.isEmpty())
        return std::nullopt;
    if (setting == QLatin1String("Default"))
        return builtIn;
    return setting;
}

void playSoundForSetting(SystemServices &services, const QString &setting, const QString &builtIn)
{
    if (const std::optional<QString> sound = soundForSetting(setting, builtIn))
        services.playSound(*sound);
}

} // namespace runel
