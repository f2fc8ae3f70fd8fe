#include "Command.h"
#include "InstanceClient.h"

using namespace Qt::StringLiterals;

namespace runel::cli {

namespace {

// The commands that start the app when none runs; the others have nothing to act on then.
bool startsApp(InstanceCommand command)
{
    return command == InstanceCommand::show || command == InstanceCommand::toggle
        || command == InstanceCommand::toggleSearch || command == InstanceCommand::settings
        || command == InstanceCommand::reopen;
}

int perform(InstanceCommand command, Console &console)
{
    const InstanceReply reply
        = sendToInstance({ command, InstanceRequest::activationEnvironment() });
    switch (reply.status) {
    case InstanceReply::Status::delivered:
        return exitSuccess;
    case InstanceReply::Status::failed:
        console.printError(u"runel: %1\n"_s.arg(reply.error));
        return exitFailure;
    case InstanceReply::Status::notRunning:
        break;
    }
    if (!startsApp(command))
        return exitSuccess;
    return execApp(
        command == InstanceCommand::reopen ? std::nullopt : std::optional(command), console);
}

template<InstanceCommand command> int runInstanceCommand(const Arguments &, Console &console)
{
    return perform(command, console);
}

int runOpen(const Arguments &arguments, Console &console)
{
    const QString &url = arguments.positionals().constFirst();
    const std::optional<InstanceCommand> command = instanceCommandFromUrl(url);
    if (!command) {
        console.printError(
            u"runel open: '%1' is not a Runel URL; the app only takes "
            u"runel://show, runel://hide and runel://toggle.\n"_s.arg(printable(url)));
        return exitUsage;
    }
    return perform(*command, console);
}

template<InstanceCommand command>
Command instanceCommand(const QString &summary, const QString &description)
{
    return { instanceCommandName(command), summary, {}, description, {}, {}, {},
        &runInstanceCommand<command> };
}

} // namespace

std::vector<Command> appCommands()
{
    const QString starts = u" Starts the app first when it is not running."_s;
    const QString idle = u" Does nothing when the app is not running."_s;
    return {
        instanceCommand<InstanceCommand::show>(
            u"Show the HUD of the running app"_s, u"Shows the HUD."_s + starts),
        instanceCommand<InstanceCommand::hide>(
            u"Hide the HUD"_s, u"Hides the HUD; a running script goes on."_s + idle),
        instanceCommand<InstanceCommand::toggle>(u"Show the HUD, or hide it when it is open"_s,
            u"Shows the HUD, or hides it when it is open. Bind this to a key in your "
            u"desktop's keyboard settings."_s
                + starts),
        instanceCommand<InstanceCommand::toggleSearch>(u"Open the HUD in search mode"_s,
            u"Opens the HUD in search mode; when it is open, switches to search mode, and "
            u"closes it when it already is in search mode."_s
                + starts),
        instanceCommand<InstanceCommand::reload>(
            u"Reload the scripts folder in the running app"_s, u"Reloads the scripts."_s + idle),
        instanceCommand<InstanceCommand::settings>(
            u"Open the settings"_s, u"Opens the settings."_s + starts),
        instanceCommand<InstanceCommand::quit>(
            u"Quit the running app"_s, u"Quits the app."_s + idle),
        { u"open"_s, u"Perform a runel:// URL (show, hide or toggle)"_s, u"URL"_s,
            u"Performs runel://show, runel://hide or runel://toggle; the scheme and host are "
            u"compared exactly. Any other URL is refused with exit status 2."_s,
            {}, { u"URL"_s }, {}, &runOpen },
    };
}

int startOrReopen(Console &console)
{
    return perform(InstanceCommand::reopen, console);
}

} // namespace runel::cli
