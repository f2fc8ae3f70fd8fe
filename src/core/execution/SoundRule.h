#pragma once

#include <QString>
#include <optional>

namespace runel {

class SystemServices;

// The built-in sounds of run outcomes, as sound-theme event ids.
namespace BuiltInSound {
inline const QString failure = QStringLiteral("dialog-error");
inline const QString success = QStringLiteral("complete");
} // namespace BuiltInSound

// The sound a setting asks for: nothing for "None" (or an empty setting), builtIn for
// "Default", else the setting's own value as an event id.
std::optional<QString> soundForSetting(const QString &setting, const QString &builtIn);

// Plays what soundForSetting gives, without waiting. Main thread.
void playSoundForSetting(SystemServices &services, const QString &setting, const QString &builtIn);

} // namespace runel
