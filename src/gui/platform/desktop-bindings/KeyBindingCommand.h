#pragma once

#include "KeyboardShortcuts/Shortcut.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace runel::gui {

// What a desktop key binding runs and at which combination: the runel executable with its
// arguments ("toggle", or "show" "--keys" KEYS), the entry's own name in the desktop's settings
// ("runel" for "runel toggle", "runel-" and the id for a user shortcut), and the combination
// (none before one is recorded). A plain value, safe to copy to a worker thread.
struct KeyBindingCommand {
    QString runel;
    QStringList arguments;
    QString entryName;
    std::optional<KeyboardShortcuts::Shortcut> combination;

    bool isToggle() const { return entryName == u"runel"; }
    // "/usr/bin/runel toggle", quoted for a shell.
    QString command() const;
    // The same with the bare name, for messages: "runel show --keys gd".
    QString shortCommand() const;
    // "Ctrl+Alt+Space"; empty without a combination.
    QString combinationText() const;
    // The combination in GTK's accelerator syntax ("<Primary><Alt>space"): GNOME's, Xfce's.
    QString accelerator() const;
    // The key's name as X and GTK spell it ("space", "l", "F5"), which sway and Hyprland take.
    static QString keyName(int carbonKeyCode);
};

} // namespace runel::gui
