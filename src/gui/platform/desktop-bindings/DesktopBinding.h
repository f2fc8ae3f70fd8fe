#pragma once

#include "KeyBindingCommand.h"
#include "core/Expected.h"

#include <QString>
#include <QStringList>

namespace runel::gui {

// How one desktop keeps a key binding: what it is called, what adding one changes, and the
// changes themselves. This base is a desktop Runel does not know: it only tells the command to
// bind. add, remove and isAdded run the desktop's tools and block until they answer (each call
// at most toolTimeoutMs): DesktopKeyBinding runs them on a worker thread, one at a time. They
// only read the object, so one may be shared with that thread.
class DesktopBinding {
public:
    explicit DesktopBinding(KeyBindingCommand command)
        : m_command(std::move(command))
    { }
    virtual ~DesktopBinding() = default;

    const KeyBindingCommand &command() const { return m_command; }

    // "GNOME", "KDE Plasma", "Xfce", "sway", "Hyprland"; empty for other desktops.
    virtual QString name() const { return {}; }
    // True where add() and remove() change the desktop's settings.
    virtual bool canWrite() const { return false; }
    // What add() will change, or where the lines go, in a sentence or two.
    virtual QString explanation() const;
    // sway and Hyprland: the config lines that bind the key; empty elsewhere.
    virtual QStringList configLines() const { return {}; }

    // Whether our entry is in the desktop's settings now. A tool that fails reads as false.
    virtual bool isAdded() const { return false; }
    virtual Expected<void> add() const { return Failure { explanation() }; }
    virtual Expected<void> remove() const { return Failure { explanation() }; }

    // How long one tool call may take before it is given up as failed.
    static constexpr int toolTimeoutMs = 5000;

protected:
    // Where Runel writes the binding or gives its line, it needs the combination first: what to
    // say until then. then: the rest of the sentence, with %1 the desktop and %2 the command.
    QString recordFirst(const QString &then) const;
    // The title of the entry in desktops that show one: "Runel", "Runel: runel show --keys gd".
    QString title() const;

    KeyBindingCommand m_command;
};

// Runs a desktop tool with an argument list and gives back what it printed (trimmed), or why
// it failed in words the user can act on. Blocks for at most toolTimeoutMs per step.
Expected<QString> runDesktopTool(const QString &program, const QStringList &arguments);

} // namespace runel::gui
