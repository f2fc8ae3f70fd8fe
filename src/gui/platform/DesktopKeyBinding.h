#pragma once

#include <QString>
#include <QStringList>

namespace runel::gui {

// A key that runs "runel toggle", written into the desktop's own shortcut settings for a user
// whose desktop gives Runel no global key of its own (GNOME before 48, Xfce, KDE without the
// portal). It writes one entry of its own, never changes or drops the user's other shortcuts,
// and removes exactly that entry again. For sway and Hyprland, whose bindings live in a config
// file the user keeps, it only gives the lines to add.
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

    // runel: the full path of the runel executable the binding runs. currentDesktop: the value
    // of XDG_CURRENT_DESKTOP (a colon-separated list, most specific first).
    DesktopKeyBinding(QString runel, const QString &currentDesktop);

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
    // The combination as people write it: "Ctrl+Alt+Space".
    static QString combination();
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
    ToolRun run(const QString &program, const QStringList &arguments) const;
    Result change(bool adding);
    QStringList gnomeList(Result &result) const;
    QString gnomeEntry() const;
    Result addGnome();
    Result removeGnome();
    QString xfceValue(Result &result) const;
    Result addXfce();
    Result removeXfce();
    QString kdeDesktopFile() const;
    Result addKde();
    Result removeKde();

    QString m_runel;
    Desktop m_desktop;
    int m_kdeVersion = 0;
};

} // namespace runel::gui
