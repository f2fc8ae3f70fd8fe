#include "InstanceCommand.h"

#include <QUrl>
#include <array>

using namespace Qt::StringLiterals;

namespace runel {

namespace {

const std::array<std::pair<InstanceCommand, QStringView>, 9> names { {
    { InstanceCommand::show, u"show" },
    { InstanceCommand::hide, u"hide" },
    { InstanceCommand::toggle, u"toggle" },
    { InstanceCommand::toggleSearch, u"toggle-search" },
    { InstanceCommand::reload, u"reload" },
    { InstanceCommand::settings, u"settings" },
    { InstanceCommand::quit, u"quit" },
    { InstanceCommand::reopen, u"reopen" },
    { InstanceCommand::showKeys, u"show-keys" },
} };

constexpr QStringView keysPrefix = u"keys=";

QString percentDecoded(QStringView text)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text.toUtf8()));
}

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

std::optional<InstanceRequest> instanceRequestFromUrl(QStringView url)
{
    // Read by hand: QUrl lower-cases scheme and host, and the comparison must be exact.
    constexpr QStringView prefix = u"runel://";
    if (!url.startsWith(prefix))
        return std::nullopt;
    QStringView rest = url.mid(prefix.size());
    if (const qsizetype hash = rest.indexOf(u'#'); hash >= 0)
        rest.truncate(hash);
    QStringView authority = rest;
    QStringView query;
    for (qsizetype i = 0; i < authority.size(); ++i) {
        if (authority[i] == u'/' || authority[i] == u'?') {
            if (const qsizetype mark = rest.indexOf(u'?', i); mark >= 0)
                query = rest.mid(mark + 1);
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
        if (authority != instanceCommandName(command))
            continue;
        InstanceRequest request { command, {}, {} };
        if (command != InstanceCommand::show)
            return request;
        for (const QStringView item : query.split(u'&')) {
            if (item.startsWith(keysPrefix)) {
                request.command = InstanceCommand::showKeys;
                request.keys = percentDecoded(item.mid(keysPrefix.size()));
                break;
            }
        }
        return request;
    }
    return std::nullopt;
}

QByteArray InstanceRequest::encoded() const
{
    QString text = instanceCommandName(command) + u'\n';
    if (command == InstanceCommand::showKeys)
        text += keysPrefix.toString() + QString::fromLatin1(keys.toUtf8().toPercentEncoding())
            + u'\n';
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
    InstanceRequest request { *command, {}, {} };
    bool hasKeys = false;
    for (const QString &line : lines) {
        if (*command == InstanceCommand::showKeys && !hasKeys && line.startsWith(keysPrefix)) {
            request.keys = percentDecoded(QStringView(line).mid(keysPrefix.size()));
            hasKeys = true;
            continue;
        }
        const QString name = line.section(u'=', 0, 0);
        if (activationVariables.contains(name) && line.contains(u'='))
            request.environment.append(line);
    }
    if (*command == InstanceCommand::showKeys && (!hasKeys || request.keys.isEmpty()))
        return std::nullopt;
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
