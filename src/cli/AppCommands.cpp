#include "AppExecutable.h"
#include "Command.h"
#include "core/index/Keys.h"
#include "core/instance/InstanceClient.h"
#include "core/text/Text.h"

using namespace Qt::StringLiterals;

namespace runel::cli {

namespace {

// The commands that start the app when none runs; the others have nothing to act on then.
bool startsApp(InstanceCommand command)
{
    return command == InstanceCommand::show || command == InstanceCommand::showKeys
        || command == InstanceCommand::toggle || command == InstanceCommand::toggleSearch
        || command == InstanceCommand::settings || command == InstanceCommand::reopen;
}

int perform(InstanceRequest request, Console &console)
{
    const InstanceCommand command = request.command;
    request.environment = InstanceRequest::activationEnvironment();
    const InstanceReply reply = sendToInstance(request);
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
    return execApp(command == InstanceCommand::reopen ? std::nullopt : std::optional(command),
        request.keys, console);
}

template<InstanceCommand command> int runInstanceCommand(const Arguments &, Console &console)
{
    return perform({ command, {}, {} }, console);
}

// Why keys cannot be played as a script's keys, for the user; empty when they can. Keys come
// from lower-cased names and only typable characters are keys, so anything else names nothing.
QString keysProblem(const QString &keys)
{
    if (keys.isEmpty())
        return u"no keys given; to open the HUD without keys, run 'runel show'"_s;
    for (const QString &character : text::characters(keys)) {
        if (canBeScriptKey(character))
            continue;
        if (isTypableKey(character)) {
            // A capital: the hint only where lower case is all it takes.
            const QString lower = keys.toLower();
            const QString hint
                = keysProblem(lower).isEmpty() ? u" (try '%1')"_s.arg(lower) : QString();
            return u"'%1' is no key of any script: keys are lower case%2"_s.arg(character, hint);
        }
        return u"'%1' is no key of any script: keys are ASCII letters, digits, punctuation and "
               u"the space ('runel list' shows each script's keys)"_s.arg(printable(character));
    }
    return {};
}

int runShow(const Arguments &arguments, Console &console)
{
    const std::optional<QString> keys = arguments.value(u"--keys"_s);
    if (!keys)
        return perform({ InstanceCommand::show, {}, {} }, console);
    if (const QString problem = keysProblem(*keys); !problem.isEmpty()) {
        console.printError(u"runel show: %1.\nTry 'runel show --help'.\n"_s.arg(problem));
        return exitUsage;
    }
    return perform({ InstanceCommand::showKeys, {}, *keys }, console);
}

int runOpen(const Arguments &arguments, Console &console)
{
    const QString &url = arguments.positionals().constFirst();
    const std::optional<InstanceRequest> request = instanceRequestFromUrl(url);
    if (!request) {
        console.printError(
            u"runel open: '%1' is not a Runel URL; the app only takes "
            u"runel://show, runel://hide and runel://toggle.\n"_s.arg(printable(url)));
        return exitUsage;
    }
    if (request->command == InstanceCommand::showKeys) {
        if (const QString problem = keysProblem(request->keys); !problem.isEmpty()) {
            console.printError(
                u"runel open: the keys of '%1': %2.\n"_s.arg(printable(url), problem));
            return exitUsage;
        }
    }
    return perform(*request, console);
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
        { u"show"_s, u"Show the HUD, or play keys into it as a user shortcut does"_s,
            u"[--keys KEYS]"_s,
            u"Shows the HUD. With --keys, plays KEYS into it as a user shortcut does: an "
            u"argument prompt, a list or the running script shows in the HUD, and a key that "
            u"names no script beeps and stops. Bind 'runel show --keys KEYS' to a key in your "
            u"desktop's keyboard settings where Runel has no hot keys of its own. KEYS that no "
            u"script's keys can hold (none, capitals, characters no key can be) are refused "
            u"with exit status 2."_s
                + starts,
            { { u"--keys"_s, u"KEYS"_s, u"The keys to play, as typed into the HUD"_s } }, {}, {},
            &runShow },
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
            u"compared exactly. runel://show?keys=KEYS (KEYS percent-encoded) plays KEYS as "
            u"'runel show --keys KEYS' does. Any other URL, or keys it refuses, is refused with "
            u"exit status 2."_s,
            {}, { u"URL"_s }, {}, &runOpen },
    };
}

int startOrReopen(Console &console)
{
    return perform({ InstanceCommand::reopen, {}, {} }, console);
}

} // namespace runel::cli
