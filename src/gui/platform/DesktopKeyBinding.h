#pragma once

#include "KeyboardShortcuts/Shortcut.h"

#include <QString>
#include <QStringList>
#include <QUuid>
#include <optional>

namespace runel::gui {

// A key that runs "runel toggle" (Ctrl+Alt+Space), or a user shortcut's "runel show --keys
// KEYS" (the combination recorded for it), written into the desktop's own shortcut settings for
// a user whose desktop gives Runel no global key of its own (GNOME before 48, Xfce, KDE without
// the portal). Each writes one entry of its own (a user shortcut's is named after its id),
// never changes or drops the user's other shortcuts, and removes exactly that entry again. For
// sway and Hyprland, whose bindings live in a config file the user keeps, it only gives the
// lines to add.
//
// The desktop's tools (gsettings, xfconf-query, kwriteconfig6) run with argument lists and a
// timeout; each call blocks the calling thread for at most that long. Main thread.
class DesktopKeyBinding {
public:
    enum class Desktop { gnome, kde, xfce, sway, hyprland, other };

    // Success, or what went wrong in words the user can act on.
    struct Result {
        bool ok = true;
        QString error;
    };

    // "runel toggle". runel: the full path of the runel executable the binding runs.
    // currentDesktop: the value of XDG_CURRENT_DESKTOP (a colon-separated list, most specific
    // first).
    DesktopKeyBinding(QString runel, const QString &currentDesktop);
    // The user shortcut id's "runel show --keys KEYS" ("runel show" without keys) at
    // combination; without one there is nothing to bind yet (hasCombination()).
    static DesktopKeyBinding forShortcut(QString runel, const QString &currentDesktop,
        const QUuid &id, const QString &keys,
        std::optional<KeyboardShortcuts::Shortcut> combination);

    static Desktop detect(const QString &currentDesktop);
    // The runel beside this program (the build tree), else the installed one, else on PATH.
    static QString runelExecutable();

    Desktop desktop() const { return m_desktop; }
    // "GNOME", "KDE Plasma", "Xfce", "sway", "Hyprland"; empty for other desktops.
    QString desktopName() const;
    // True where add() and remove() change the desktop's settings.
    bool canWrite() const;
    // The shell command the key runs, e.g. "/usr/bin/runel toggle".
    QString command() const;
    // The same with the bare name, for messages: "runel show --keys gd".
    QString shortCommand() const;
    // The combination as people write it: "Ctrl+Alt+Space"; empty without one.
    QString combination() const;
    bool hasCombination() const { return m_combination.has_value(); }
    // What add() will change, or for sway and Hyprland where the lines go, in a sentence or two.
    QString explanation() const;
    // sway and Hyprland: the config lines that bind the key; empty elsewhere.
    QStringList configLines() const;

    // Whether our entry is in the desktop's settings now. A tool that fails reads as false.
    bool isAdded() const;
    Result add();
    Result remove();

    // How long one tool call may take before it is given up as failed.
    static constexpr int toolTimeoutMs = 5000;

private:
    struct ToolRun {
        Result result;
        QString output;
    };
    DesktopKeyBinding(QString runel, const QString &currentDesktop, QStringList arguments,
        QString entryName, std::optional<KeyboardShortcuts::Shortcut> combination);
    ToolRun run(const QString &program, const QStringList &arguments) const;
    bool isToggle() const { return m_entryName == u"runel"; }
    // The combination in GTK's accelerator syntax ("<Primary><Alt>space"): GNOME's, Xfce's.
    QString accelerator() const;
    QString gnomePath() const;
    QString gnomeKeyPath() const;
    QString xfceProperty() const;
    Result change(bool adding);
    QStringList gnomeList(Result &result) const;
    QString gnomeEntry() const;
    Result addGnome();
    Result removeGnome();
    QString xfceValue(Result &result) const;
    Result addXfce();
    Result removeXfce();
    QString kdeDesktopFileName() const;
    QString kdeDesktopFile() const;
    Result addKde();
    Result removeKde();

    QString m_runel;
    Desktop m_desktop;
    int m_kdeVersion = 0;
    QStringList m_arguments; // after runel: "toggle", or "show" "--keys" KEYS
    // The entry's own name in the desktop's settings: "runel" for "runel toggle" (as it always
    // was), "runel-" and the shortcut's id for a user shortcut.
    QString m_entryName;
    std::optional<KeyboardShortcuts::Shortcut> m_combination;
};

} // namespace runel::gui
