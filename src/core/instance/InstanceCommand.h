#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>
#include <optional>

namespace runel {

// What a second process asks of the running app, and how it travels over the instance socket.
// showKeys shows the HUD and plays the request's keys into it, as a user shortcut does.
enum class InstanceCommand {
    show,
    hide,
    toggle,
    toggleSearch,
    reload,
    settings,
    quit,
    reopen,
    showKeys
};

// The word on the wire, which is also the command-line name ("toggle-search") except for
// "show-keys", which the command line spells "show --keys KEYS". A command of its own rather
// than "show" with keys: an app too old to know it refuses it instead of showing the HUD and
// dropping the keys.
QString instanceCommandName(InstanceCommand command);
std::optional<InstanceCommand> instanceCommandFromName(QStringView name);

// One request: the command, the keys of showKeys, and the activation tokens the desktop gave
// the client (NAME=VALUE), which the app takes on so that its window may take the focus.
struct InstanceRequest {
    InstanceCommand command = InstanceCommand::reopen;
    QStringList environment;
    QString keys; // showKeys only; any text: it travels percent-encoded

    // Lines of UTF-8 ending in an empty line: the command's word, then for showKeys a line
    // "keys=" and the keys percent-encoded, then the activation variables.
    QByteArray encoded() const;
    // Null when text is not a whole, known request (showKeys without keys is not).
    static std::optional<InstanceRequest> decode(const QByteArray &text);
    // The activation variables of the current process, as NAME=VALUE.
    static QStringList activationEnvironment();
};

// A runel:// URL's request: the scheme exactly "runel" and the host exactly "show", "hide" or
// "toggle"; user info, port, path and fragment are not read. Of the query only a "keys" item
// of a show URL is read (percent-decoded, the first one if several): it makes the request
// showKeys, with those keys, which may be empty or anything: the caller judges them. Anything
// else: nothing.
std::optional<InstanceRequest> instanceRequestFromUrl(QStringView url);

// The variables that carry a desktop's activation token.
inline const QStringList activationVariables { QStringLiteral("XDG_ACTIVATION_TOKEN"),
    QStringLiteral("DESKTOP_STARTUP_ID") };

} // namespace runel

Q_DECLARE_METATYPE(runel::InstanceRequest)
