#include "DesktopBinding.h"

#include <QProcess>

using namespace Qt::StringLiterals;

namespace runel::gui {

QString DesktopBinding::explanation() const
{
    return u"Bind “"_s + m_command.command() + u"” to a key in your desktop's keyboard settings."_s;
}

QString DesktopBinding::recordFirst(const QString &then) const
{
    return u"Record a key for this shortcut above. "_s + then.arg(name(), m_command.shortCommand());
}

QString DesktopBinding::title() const
{
    return m_command.isToggle() ? u"Runel"_s : u"Runel: "_s + m_command.shortCommand();
}

Expected<QString> runDesktopTool(const QString &program, const QStringList &arguments)
{
    const int timeout = DesktopBinding::toolTimeoutMs;
    QProcess process;
    process.start(program, arguments, QIODevice::ReadOnly);
    const auto failed = [&](const QString &why) { return Failure { program + u' ' + why }; };
    if (!process.waitForStarted(timeout))
        return failed(u"could not be started; is it installed?"_s);
    if (!process.waitForFinished(timeout)) {
        process.kill();
        process.waitForFinished(timeout);
        return failed(u"did not answer within %1 seconds."_s.arg(timeout / 1000));
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        const QString said = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
        return failed(u"failed (exit status %1)%2"_s.arg(process.exitCode())
                          .arg(said.isEmpty() ? u"."_s : u": "_s + said));
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

} // namespace runel::gui
