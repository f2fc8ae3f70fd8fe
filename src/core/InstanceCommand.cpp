#include "InstanceCommand.h"

#include <array>

using namespace Qt::StringLiterals;

namespace runel {

namespace {

const std::array<std::pair<InstanceCommand, QStringView>, 8> names { {
    { InstanceCommand::show, u"show" },
    { InstanceCommand::hide, u"hide" },
    { InstanceCommand::toggle, u"toggle" },
    { InstanceCommand::toggleSearch, u"toggle-search" },
    { InstanceCommand::reload, u"reload" },
    { InstanceCommand::settings, u"settings" },
    { InstanceCommand::quit, u"quit" },
    { InstanceCommand::reopen, u"reopen" },
} };

} // namespace

QString instanceCommandName(InstanceCommand command)
{
    for (const auto &[value, name] : names) {
        if (value == command)
            return name.toString();
    }
    return {};
}

std::optional<InstanceCommand> instanceCommandFromName(QStringView name)
{
    for (const auto &[value, known] : names) {
        if (known == name)
            return value;
    }
    return std::nullopt;
}

std::optional<InstanceCommand> instanceCommandFromUrl(QStringView url)
{
    // Read by hand: QUrl lower-cases scheme and host, and the comparison must be exact.
    constexpr QStringView prefix = u"runel://";
    if (!url.startsWith(prefix))
        return std::nullopt;
    QStringView authority = url.mid(prefix.size());
    for (qsizetype i = 0; i < authority.size(); ++i) {
        if (authority[i] == u'/' || authority[i] == u'?' || authority[i] == u'#') {
            authority.truncate(i);
            break;
        }
    }
    if (const qsizetype at = authority.lastIndexOf(u'@'); at >= 0)
        authority = authority.mid(at + 1);
    if (const qsizetype colon = authority.indexOf(u':'); colon >= 0)
        authority.truncate(colon);
    for (const InstanceCommand command :
        { InstanceCommand::show, InstanceCommand::hide, InstanceCommand::toggle }) {
        if (authority == instanceCommandName(command))
            return command;
    }
    return std::nullopt;
}

QByteArray InstanceRequest::encoded() const
{
    QString text = instanceCommandName(command) + u'\n';
    for (const QString &line : environment) {
        if (!line.contains(u'\n'))
            text += line + u'\n';
    }
    return (text + u'\n').toUtf8();
}

std::optional<InstanceRequest> InstanceRequest::decode(const QByteArray &text)
{
    if (!text.endsWith("\n\n"))
        return std::nullopt;
    QStringList lines = QString::fromUtf8(text.chopped(2)).split(u'\n');
    const std::optional<InstanceCommand> command = instanceCommandFromName(lines.takeFirst());
    if (!command)
        return std::nullopt;
    InstanceRequest request { *command, {} };
    for (const QString &line : lines) {
        const QString name = line.section(u'=', 0, 0);
        if (activationVariables.contains(name) && line.contains(u'='))
            request.environment.append(line);
    }
    return request;
}

QStringList InstanceRequest::activationEnvironment()
{
    QStringList result;
    for (const QString &name : activationVariables) {
        const QString value = qEnvironmentVariable(name.toLatin1().constData());
        if (!value.isEmpty())
            result.append(name + u'=' + value);
    }
    return result;
}

} // namespace runel
