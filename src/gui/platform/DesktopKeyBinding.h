#pragma once

#include "KeyboardShortcuts/Shortcut.h"
#include "core/Expected.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

namespace runel::gui {

class DesktopBinding;

// A key that runs "runel toggle" (Ctrl+Alt+Space), or a user shortcut's "runel show --keys
// KEYS" (the combination recorded for it), written into the desktop's own shortcut settings for
// a user whose desktop gives Runel no global key of its own (GNOME before 48, Xfce, KDE without
// the portal). Each writes one entry of its own (a user shortcut's is named after its id),
// never changes or drops the user's other shortcuts, and removes exactly that entry again. For
// sway and Hyprland, whose bindings live in a config file the user keeps, it only gives the
// lines to add. What each desktop does is its own class (desktop-bindings/).
//
// The desktop's tools (gsettings, xfconf-query, kwriteconfig6) run on a worker thread, one
// operation at a time across the app, so the GUI never waits for them; the answer comes back
// on the main thread. A copyable value; main thread.
class DesktopKeyBinding {
public:
    // "runel toggle". runel: the full path of the runel executable the binding runs.
    // currentDesktop: the value of XDG_CURRENT_DESKTOP (a colon-separated list, most specific
    // first).
    DesktopKeyBinding(QString runel, const QString &currentDesktop);
    // The user shortcut id's "runel show --keys KEYS" ("runel show" without keys) at
    // combination; without one there is nothing to bind yet (hasCombination()).
    static DesktopKeyBinding forShortcut(QString runel, const QString &currentDesktop,
        const QUuid &id, const QString &keys,
        std::optional<KeyboardShortcuts::Shortcut> combination);

    // The runel beside this program (the build tree), else the installed one, else on PATH.
    static QString runelExecutable();

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
    bool hasCombination() const;
    // What add() will change, or for sway and Hyprland where the lines go, in a sentence or two.
    QString explanation() const;
    // sway and Hyprland: the config lines that bind the key; empty elsewhere.
    QStringList configLines() const;

    // Whether our entry is in the desktop's settings now (a tool that fails reads as false);
    // adding it; removing it. done runs on the main thread once the tools have answered,
    // unless context is gone by then.
    void isAdded(QObject *context, std::function<void(bool)> done) const;
    void add(QObject *context, std::function<void(Expected<void>)> done) const;
    void remove(QObject *context, std::function<void(Expected<void>)> done) const;

private:
    DesktopKeyBinding(QString runel, const QString &currentDesktop, QStringList arguments,
        QString entryName, std::optional<KeyboardShortcuts::Shortcut> combination);
    template<typename T>
    void runOnWorker(QObject *context, std::function<T(const DesktopBinding &)> work,
        std::function<void(T)> done, T whenNoThread) const;

    // Shared with the worker thread running an operation: it is only read.
    std::shared_ptr<const DesktopBinding> m_binding;
};

} // namespace runel::gui
