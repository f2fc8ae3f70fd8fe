#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>
#include <optional>

namespace runel {

// What a second process asks of the running app, and how it travels over the instance socket.
enum class InstanceCommand { show, hide, toggle, toggleSearch, reload, settings, quit, reopen };

// The word on the wire, which is also the command-line name ("toggle-search").
QString instanceCommandName(InstanceCommand command);
std::optional<InstanceCommand> instanceCommandFromName(QStringView name);

// A runel:// URL's command: the scheme exactly "runel" and the host exactly "show", "hide" or
// "toggle"; user info, port, path, query and fragment are not read. Anything else: nothing.
std::optional<InstanceCommand> instanceCommandFromUrl(QStringView url);

// One request: the command and the activation tokens the desktop gave the client
// (NAME=VALUE), which the app takes on so that its window may take the focus.
struct InstanceRequest {
    InstanceCommand command = InstanceCommand::reopen;
    QStringList environment;

    // Lines of UTF-8 ending in an empty line.
    QByteArray encoded() const;
    // Null when text is not a whole, known request.
    static std::optional<InstanceRequest> decode(const QByteArray &text);
    // The activation variables of the current process, as NAME=VALUE.
    static QStringList activationEnvironment();
};

// The variables that carry a desktop's activation token.
inline const QStringList activationVariables { QStringLiteral("XDG_ACTIVATION_TOKEN"),
    QStringLiteral("DESKTOP_STARTUP_ID") };

} // namespace runel

Q_DECLARE_METATYPE(runel::InstanceRequest)
